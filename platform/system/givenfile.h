// Files a caller names by path, read as the machine folder's own files are read: only a
// regular file (a link stands for its target), opened without blocking, so a named pipe, a
// device or a folder is refused at once with a reason, and only up to a size limit the
// caller chooses for what the file holds. A missing file is a failure like any other here.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <string>

namespace platform::system {

// Why a given file was not read: the errno (ENOENT missing, EINVAL not a regular file,
// EFBIG over the limit, or what the system answered) and the cause for people.
struct GivenFileError {
    int error = 0;
    std::string why;
};

// The whole of the regular file `file` of at most `limit` bytes into `out`. False (with `out`
// empty) when it is missing, not a regular file, larger than `limit` or unreadable.
bool readGivenFile(const std::filesystem::path& file, std::size_t limit, std::string& out,
                   GivenFileError& failure);

// Opens the regular file `file` of at most `limit` bytes (when opened) for reading step by
// step, for callers that need only part of it. Answers the descriptor, which the caller
// closes, or -1 with the cause in `failure`. `st` (when given) receives the file's status.
int openGivenFile(const std::filesystem::path& file, std::size_t limit, GivenFileError& failure,
                  struct stat* st = nullptr);

}  // namespace platform::system
