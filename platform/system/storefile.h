// Files of the machine folder that several processes share: an advisory lock on a separate
// lock file, whole-file reads, and atomic replacement.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace platform::system {

// A flock on a lock file, shared while reading and exclusive while changing. Each lock opens
// the lock file afresh, so two threads of one process exclude each other as two processes do
// (flock belongs to the open file description). Closing releases it.
class FileLock {
  public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();
    bool acquire(const std::filesystem::path& lockFile, bool exclusive);

  private:
    int fd_ = -1;
};

enum class FileState { Missing, Read, Unreadable };

// Reads the whole file into `out`; `st` (when given) receives its status.
FileState readWholeFile(const std::filesystem::path& file, std::string& out,
                        struct stat* st = nullptr);

// Replaces `file` with `text`: a temporary file in the same folder, written and synced, renamed
// over it, then the folder synced so the rename itself is durable. Nothing is left behind on
// failure.
bool replaceFileAtomically(const std::filesystem::path& file, std::string_view text);

}  // namespace platform::system
