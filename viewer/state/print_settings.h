// The control library's module values that cross from the viewer's parameter parser to the
// printer selection and back: one set per thread, shared by every viewer of that thread and
// kept until the parser writes them again. Start values are False, empty texts and lists.
#pragma once

#include <string>
#include <vector>

namespace vistrel {

struct PrintSettings {
    // Written by the parameter parser, read by the admissibility checks and the dialog.
    bool UseIntranet = false;
    bool AccessAll = false;
    bool UseSpooler = false;
    bool UseNetworkPrinter = false;
    bool UsePostscriptPrinter = false;
    bool UseTcpIpPrinter = false;
    bool IsPrintOnly = false;
    bool EmulateLocal = false;
    bool TestEnable = false;
    bool InternalRedirect = false;
    bool PrinterErrorCheck = false;
    bool TownerLowEnable = false;
    std::u16string PrintNotice;
    std::u16string RunType;
    std::vector<std::u16string> ExceptDriverList;
    std::vector<std::u16string> ExceptPortList;
    std::vector<std::u16string> DenyDriverList;
    std::vector<std::u16string> DenyPortList;

    // Written by the parameter parser, read by the print road.
    bool UseDefaultPrinter = false;

    // The printer the selection dialog admitted and the user chose; empty when cancelled.
    std::u16string SelectedPrinterName;
};

// This thread's values.
PrintSettings& printSettings();
// Puts this thread's values back to their start values (for tests).
void resetPrintSettings();

}  // namespace vistrel
