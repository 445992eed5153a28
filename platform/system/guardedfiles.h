// File operations for callers that act with more rights than whoever names the files: every
// path must be absolute, hold no ".." component and lie under one of the allowed roots (when
// any are set), judged on the folders themselves with every link on the way resolved, not on
// the path's text; the file itself must be a regular file, never reached through a symbolic link
// in its last component. Answers are 0 or an errno value; a refused path answers EINVAL, a
// symbolic link ELOOP.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform::system {

// The roots guarded paths must lie under; empty (the default) allows any absolute path.
void setGuardedRoots(std::vector<std::filesystem::path> roots);

// 0 when the path itself is acceptable (see above), else EINVAL.
int checkGuardedPath(const std::filesystem::path& path);

// True when the path names a regular file (not through a final symbolic link).
bool guardedFileExists(const std::filesystem::path& path);

// Opens a regular file for reading (never a named pipe, a device or a folder, and never
// blocking on one); the caller closes `fd`.
int openGuardedFile(const std::filesystem::path& path, int& fd);
int readGuardedFile(const std::filesystem::path& path, std::string& bytes);
// Replaces the file's contents (creating it), or appends to it.
int writeGuardedFile(const std::filesystem::path& path, const std::string& bytes, bool append);
int removeGuardedFile(const std::filesystem::path& path);

// Moves a regular file onto `target`, replacing a regular file there in one step: the target
// holds either its old or its new contents, never nothing. Across file systems the data is
// copied in bounded pieces into a new file beside the target that takes the source's mode,
// owner (where the caller may give it) and times, synced, renamed over it, and only then is
// the source removed; a failed copy leaves the source as it was and no part of a copy behind.
int moveGuardedFile(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace platform::system
