// Where code may be loaded or run from: an absolute path (never searched for, never relative
// to the working folder) to a regular file that only its owner or root can change, in a folder
// that only its owner or root can write, below folders of which none lets another user rename
// or replace what it holds (written by no other user, or sticky as /tmp is). Anyone else who
// could write there could swap the code between the check and its loading.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform::system {

// nullopt when code may be loaded from `path`; otherwise why not, for people.
std::optional<std::string> unsafeCodePath(const std::filesystem::path& path);

// unsafeCodePath for a program to start: the file must also be executable by this process.
std::optional<std::string> unsafeProgramPath(const std::filesystem::path& path);

}  // namespace platform::system
