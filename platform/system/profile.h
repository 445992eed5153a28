// The profile entries of the user's WIN.INI mapping that the printer code reads and writes:
//   section "Windows", key "device": "<default printer>,winspool,<its port>";
//   section "PrinterPorts": one key per installed printer, value "winspool,<port>,15,45";
//   section "Devices": one key per installed printer, value "winspool,<port>".
// These follow the described machine's printers and default printer. Writing "device" makes
// the printer named before its first comma the default (when it is installed); other writes
// are kept in the description's "profile" entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::system {

std::optional<std::u16string> profileString(std::u16string_view section, std::u16string_view key);
// The key names of a section, in order (the installed device names for "PrinterPorts").
std::vector<std::u16string> profileKeys(std::u16string_view section);
// False when the value cannot be stored (or names a printer that is not installed).
bool writeProfileString(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value);

}  // namespace platform::system
