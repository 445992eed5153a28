// Driver and file-printer probes: what stands behind a printer's driver (its files and their
// version texts) and port, to recognise printers that would not put a document on paper.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/state/selection_lists.h"

namespace vistrel {

// What the spooler reports for a printer's driver; all empty when the printer cannot be opened
// or its driver cannot be read.
struct DriverInfo {
    std::uint32_t cVersion = 0;
    std::u16string pName, pEnvironment, pDriverPath, pDataFile, pConfigFile;
    bool operator==(const DriverInfo&) const = default;
};

DriverInfo GetDriverInfo(std::u16string_view printerName);

// A known virtual driver by its data file (nedip.gpd): company and product then come from the
// version texts of NEDIPDRV.DLL beside it (left untouched otherwise).
bool IsVirtualPrinterDriver(std::u16string_view printerName, std::u16string& company,
                            std::u16string& product);

// One of the driver files that are never taken for a PostScript driver.
bool IsExemptDriverFile(std::u16string_view fileName);

// A PostScript driver by the version texts of its driver file; company and description come
// from that file when it is read.
bool IsPostscriptPrinter(std::u16string_view printerName, std::u16string& company,
                         std::u16string& description);

// A printer that writes to a file or a capture port: no driver name, the known virtual driver,
// a driver or port of the virtual-printer list (empty fields of a record match nothing), a
// port keyword of a capture port, or a port without a mark of an ordinary port.
bool IsFilePrinter(std::u16string_view driverName, std::u16string_view portName,
                   const std::vector<VirtualPrinterRecord>& virtualPrinters, std::int16_t count);
// Over this thread's virtual-printer list.
bool IsFilePrinter(std::u16string_view driverName, std::u16string_view portName);

}  // namespace vistrel
