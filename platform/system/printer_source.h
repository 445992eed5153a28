// A source of the machine's printers other than the machine description: the spooler's
// real-queue backend installs one, and the profile entries ("Windows" "device", "PrinterPorts",
// "Devices") and the version blocks of files then follow its printers. Without one, or while it
// answers nullopt, everything follows the description.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/system/description.h"

namespace platform::system {

struct SourcePrinters {
    std::vector<std::pair<std::u16string, std::u16string>> printers;  // device name, port name
    std::u16string defaultPrinter;                                    // "" when none
};

struct PrinterSource {
    // The installed printers in order; nullopt: the description's.
    std::function<std::optional<SourcePrinters>()> printers;
    // The version block of a file the description does not declare (nullopt: none).
    std::function<std::optional<VersionBlock>(std::u16string_view path)> versionBlock;
};

// Installs the source (an empty one restores the description).
void setPrinterSource(PrinterSource source);

}  // namespace platform::system
