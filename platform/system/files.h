// The program's own files and the machine's random source: the running program, the library
// that holds a piece of code, files matching a name pattern, and random bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::system {

// The running program's file (empty when the system cannot tell).
std::filesystem::path programFile();

// The file of the shared library (or the program) that contains `address`, made canonical
// when possible; empty when the address lies in no loaded file.
std::filesystem::path moduleFile(const void* address);

enum class NameCase { Exact, Ignore };

// The files matching a pattern whose last component may hold "*" and "?" (hidden files
// included); a pattern without wildcards names one file. Folders in the pattern are taken as
// they are. With NameCase::Ignore the last component matches without regard to case, as the
// platform's file search does; a name that exists exactly is then the only match. Never raises:
// an unreadable folder matches nothing.
std::vector<std::filesystem::path> findFiles(const std::filesystem::path& pattern,
                                             NameCase nameCase = NameCase::Exact);

// A path as the platform writes it ("C:\\dir\\name", "\\dir\\name", "dir\\name"): every "\\"
// becomes
// "/", and a drive letter with its colon stands for the root of the file system.
std::filesystem::path fromPlatformPath(std::u16string_view path);

// A directory lookup of one file name, as the platform's Dir does with its attribute filter.
// There are no file attributes here: a name beginning with "." counts as hidden (and system).
enum class Lookup {
    Ordinary,    // regular files that are neither hidden nor system
    WithHidden,  // hidden and read-only regular files too
};
// Whether the lookup finds `path` as a regular file.
bool lookupFile(const std::filesystem::path& path, Lookup kind);

// Fills `out` from the kernel's cryptographic random source; false when it cannot.
bool randomBytes(std::span<std::uint8_t> out);

}  // namespace platform::system
