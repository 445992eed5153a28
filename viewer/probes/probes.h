// File and version probes of the control library.
#pragma once

#include <string>
#include <string_view>

namespace vistrel {

// The eight standard texts of a file's version block, in this order. Each is the block's
// string of that name, "?" when the block lacks it, "" when the file has no usable block.
struct FileVersionStrings {
    std::u16string CompanyName, FileDescription, FileVersion, InternalName, LegalCopyright,
        OriginalFileName, ProductName, ProductVersion;
    bool operator==(const FileVersionStrings&) const = default;
};

// Does the path name an existing file or folder? A "*" or "?" in the last part is a wildcard
// pattern, which counts as existing when anything matches (hidden files included). "\" and
// "/" both separate folders. As on the platform, case does not matter: without an exact match,
// a last part that matches an entry of its folder when case is ignored counts as existing.
// An empty path gives False.
bool FileExist(std::u16string_view path);

// The version texts of a file, from the version blocks of the described machine. An empty
// path gives the empty record.
FileVersionStrings GetFileVersionText(std::u16string_view path);

}  // namespace vistrel
