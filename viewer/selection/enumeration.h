// The installed printers as the printer selection lists them, a printer's resolution for the
// information panel, and the fax-driver test.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vistrel {

// Rebuilds this thread's PrinterNameList from the installed printers with a device name (in the
// system's order). True when at least one was listed (the message is then empty); otherwise
// the list is empty and the message is string 3062, or 3063 and the cause for a failure.
bool GetAllPrinters(std::u16string& message);

// The resolution of an installed printer (named without regard to case), from its pixel size
// in twips; 0 for a printer that is not installed or has no resolution. Nothing else changes:
// the runtime's current printer stays as it was.
std::int16_t GetPrinterDpi(std::u16string_view deviceName);

// A fax driver ("Black Ice TIFF Driver..." or "GmS FAX Driver...") on the port "IcePortMRTS:"
// or "IcePortMR:", while this thread's FaxMode is on.
bool IsFaxPrinter(std::u16string_view driverName, std::u16string_view portName);

}  // namespace vistrel
