// Where code may be loaded from: an absolute path (never searched for, never relative to the
// working folder) to a regular file that only its owner or root can change, in a folder that
// only its owner or root can write. Anyone else who could write there could swap the code
// between registration and loading.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform::system {

// nullopt when code may be loaded from `path`; otherwise why not, for people.
std::optional<std::string> unsafeCodePath(const std::filesystem::path& path);

}  // namespace platform::system
