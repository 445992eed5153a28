// Version blocks of files, as the machine description declares them (Linux files carry none).
// Paths compare without regard to case and with "\" and "/" alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/system/description.h"

namespace platform::system {

// The file's version block; nullopt when the file has none or is not described.
std::optional<VersionBlock> fileVersionBlock(std::u16string_view path);

// The value of "\StringFileInfo\<key>\<name>": key is the language and code page as eight
// upper-case hexadecimal digits (for example "041204B0"). The block's strings stand under
// its first translation; nullopt for any other key or a name the block lacks.
std::optional<std::u16string> versionString(const VersionBlock& block, std::u16string_view key,
                                            std::u16string_view name);

}  // namespace platform::system
