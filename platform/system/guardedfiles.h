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
// Replaces the file whole (creating it): written beside it, synced and renamed over it, with
// the old file's owner, group and permission bits; a failure leaves the old bytes. Writers of
// one file take turns (an advisory lock on it).
int replaceGuardedFile(const std::filesystem::path& path, const std::string& bytes);
// Appends to the file (creating it); a failed append is cut back to the file's old length (a
// file it made is removed again).
int appendGuardedFile(const std::filesystem::path& path, const std::string& bytes);
// One of the two.
int writeGuardedFile(const std::filesystem::path& path, const std::string& bytes, bool append);
int removeGuardedFile(const std::filesystem::path& path);

// Moves a regular file onto `target`, replacing a regular file there in one step: the target
// holds either its old or its new contents, never nothing. Source and target that are one file
// (the same device and inode, by whatever names) are left alone, and the move succeeds. Across
// file systems the data is copied in bounded pieces into a new file ".move-XXXXXX" beside the
// target that takes the source's mode, owner (where the caller may give it) and times, synced,
// renamed over it, and only then is the source removed; a failed copy leaves the source as it
// was and no part of a copy behind. A source that changes while it is copied (its size,
// modification or change time) is kept and the move fails with EBUSY. The partial copies of a
// killed move are removed by the next move into that folder. `why` (when given) receives the
// cause of a failure that its errno does not tell.
int moveGuardedFile(const std::filesystem::path& source, const std::filesystem::path& target,
                    std::string* why = nullptr);

}  // namespace platform::system
