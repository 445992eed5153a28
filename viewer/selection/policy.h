// The printer admissibility policy: may the selected printer receive a document? It refuses
// printers that could capture the document instead of putting it on paper (virtual and file
// printers, redirected and blocked ports, PostScript and TCP/IP printers unless the settings
// allow them, shared printers the user may not administer), admits those the exception lists
// name, and records what kind of printer it found. A function of the printer, the settings,
// the admission tables and the probes, which are injected.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "printers/printers.h"
#include "viewer/selection/pravo.h"
#include "viewer/state/print_settings.h"
#include "viewer/state/selection_lists.h"

namespace vistrel {

// What the policy asks of the machine.
struct AdmissionProbes {
    std::function<PortRecord(std::u16string_view portName)> findPort;
    // "Redirected" or ""; trims the port name in place.
    std::function<std::u16string(std::u16string& portName)> realPort;
    std::function<bool(std::u16string_view driverName, std::u16string_view portName)> filePrinter;
    std::function<bool(std::u16string_view printerName)> virtualPrinterDriver;
    std::function<bool(std::u16string_view printerName)> postscriptPrinter;
    std::function<std::int16_t(std::u16string_view deviceName)> printerDpi;

    // The probes of the machine over this thread's port table and virtual-printer list.
    static AdmissionProbes machine();
};

inline constexpr std::uint32_t kColourBlack = 0x000000;
inline constexpr std::uint32_t kColourRed = 0x0000FF;   // RGB(255, 0, 0)
inline constexpr std::uint32_t kColourBlue = 0xFF0000;  // RGB(0, 0, 255)

// The information panel of the printer dialog as the policy fills it.
struct PrinterPanel {
    std::u16string lblJob;
    std::uint32_t lblJobColour = kColourBlack;
    std::u16string lblPortName, lblDriverName, lblDPIVal, lblMonitor, lblPortType, lblDescription;
    std::optional<std::uint32_t> lblKindColour;  // blue when an exception list admitted it
};

// The dialog values a run writes besides the verdict.
struct PrintableFindings {
    bool isTcpIP = false;
    bool isVirtual = false;
    std::int16_t QueuedJobCount = 0;
    std::int16_t PrinterDpi = 0;
    PrinterPanel panel;
};

class PrintablePolicy {
  public:
    PrintablePolicy(const PrintSettings& settings, const PravoPrinter& tables,
                    AdmissionProbes probes)
        : settings_(settings), tables_(tables), probes_(std::move(probes)) {}

    // The verdict for a printer; writes the admission record's PrinterKind (from 0 at the
    // start of every run) and the findings. A step that fails is passed over with the values
    // gathered so far; nothing is raised.
    bool GetPrintable(printers::CPrinterInfo& printer, AdmissionRecord& admission,
                      std::u16string_view currentPrinterName, PrintableFindings& found) const;

  private:
    const PrintSettings& settings_;
    const PravoPrinter& tables_;
    AdmissionProbes probes_;
};

}  // namespace vistrel
