// Files of the machine folder that several processes share.
//
// - Writers exclude each other with a flock on the machine folder itself: the folder cannot be
//   removed or replaced apart from the files it guards, so no one can take the lock away from
//   a writer or hand a second writer a lock of its own. A writer waits a bounded time for it.
// - Readers take no lock: writers only ever rename complete files into place.
// - What is read is bounded: only regular files, up to a size limit; pipes, devices and
//   folders are refused with a reason.
// - A store file that is a symbolic link stands for its target: reads follow it and writes
//   replace the target (atomically, beside it); a link to nothing is refused.
// - Writes go to a temporary file beside the target, synced and renamed over it. The writer
//   holds a flock on its temporary file until it is renamed; temporary files no writer holds
//   (a killed writer's) are removed by the next writer.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace platform::system {

// The machine folder's writer lock. Closing releases it.
class StoreLock {
  public:
    StoreLock() = default;
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    ~StoreLock();
    // Takes the lock of `folder`, waiting at most storeLockWait(). On failure returns false,
    // with the cause in `why` and the errno in `error` (ETIMEDOUT when another writer kept it).
    bool acquire(const std::filesystem::path& folder, std::string& why, int& error);

  private:
    int fd_ = -1;
};

// How long a writer waits for the lock (default 10 seconds).
std::chrono::milliseconds storeLockWait();
void setStoreLockWait(std::chrono::milliseconds wait);

enum class FileState { Missing, Read, Unreadable };

// Reads the whole of a regular file of at most `limit` bytes into `out`, following a symbolic
// link to its target. Unreadable comes with the cause in `why` and the errno in `error`
// (EFBIG for a file over the limit, EINVAL for something that is not a regular file, ENOENT for
// a link to nothing). `st` (when given) receives the status of the file read.
FileState readWholeFile(const std::filesystem::path& file, std::string& out, std::size_t limit,
                        std::string& why, int& error, struct stat* st = nullptr);

// Opens what readWholeFile reads, for reading step by step: never blocking, a regular file of
// at most `limit` bytes when opened. Read comes with the open descriptor in `fd` (the caller
// closes it); Missing and Unreadable leave `fd` at -1, with the same causes as readWholeFile.
FileState openBoundedFile(const std::filesystem::path& file, std::size_t limit, int& fd,
                          std::string& why, int& error, struct stat* st = nullptr);

// Replaces `file` (or the target of the link `file`) with `text`: a temporary file beside it,
// written and synced, renamed over it, then the folder synced so the rename itself is durable.
// The new file keeps the permission bits, owner and group of the file it replaces (0644 and the
// writer's for a new file; a writer that may not give files away keeps what it may).
// Stale temporary files of the same name that no writer holds are removed first. Nothing is left
// behind on failure; the cause goes to `why` and the errno to `error`.
bool replaceFileAtomically(const std::filesystem::path& file, std::string_view text,
                           std::string& why, int& error);

// Copies the regular file `source` (a link followed) onto `file` (or the target of the link
// `file`) as replaceFileAtomically writes it: into a temporary file beside it, in bounded
// pieces, with the permission bits of the source, synced and renamed over it. A failure leaves
// `file` as it was and nothing beside it; the cause goes to `why` and the errno to `error`.
bool copyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& file,
                        std::string& why, int& error);

// Copies the rest of the open file `from` into `to`, at most `length` bytes, in pieces the
// kernel moves (or through a fixed buffer where it cannot), never holding the file in memory.
// Answers 0 or the errno.
int copyFileContents(int from, int to, std::uint64_t length = UINT64_MAX);

// An advisory lock (flock) on a file by its name, held for a whole read, change and write.
// Each lock opens the file afresh, so two threads of one process exclude each other as two
// processes do. A writer that replaces the file by renaming a new one over it puts another
// file under the name: once locked, the name is checked to still be the locked file, and the
// lock is taken again on what the name holds now when it is not. Where the file system keeps
// no flocks the file is opened all the same, unlocked.
class FileLock {
  public:
    enum class Kind { Shared, Exclusive };
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();
    // Opens `file` with `flags` (open(2) flags; O_NOFOLLOW refuses a final link, O_CREAT
    // makes a missing file with `createMode`) and locks it, waiting at most `wait`. Answers 0,
    // the errno of the open (ENOENT when nothing is there), or ETIMEDOUT when another holder
    // kept the lock that long. `created` (when given) tells whether this call made the file.
    int acquire(const std::filesystem::path& file, int flags, Kind kind,
                std::chrono::milliseconds wait, mode_t createMode = 0644, bool* created = nullptr);
    // The open file, -1 when none.
    int fd() const { return fd_; }
    void release();

  private:
    int fd_ = -1;
};

// Temporary files of one kind beside the file they become: `prefix` followed by six
// characters, in `folder`. A live writer holds a flock on its temporary file from making it
// until it is renamed into place; a file of the pattern whose lock can be taken belongs to no
// writer (one killed half-way) and is removed. Where the file system keeps no flocks, such a
// file counts as a killed writer's once it has not changed for ten minutes.
// makeLockedTempFile answers the new file's descriptor (locked) and its name, or -1 with errno.
int makeLockedTempFile(const std::filesystem::path& folder, std::string_view prefix,
                       std::string& name);
void removeStaleTempFiles(const std::filesystem::path& folder, std::string_view prefix);

// Gives the open file `fd` the owner and group of `st` where this process may (the group
// alone where it may not give the owner); failures are ignored.
void keepOwner(int fd, const struct stat& st);

// What a failed system call meant, for people: "the disk is full", "permission denied"...
std::string describeError(int error);

// Tests: called before every write with the file about to be replaced; a nonzero errno it
// returns makes that write fail as the system would. An empty function removes the hook.
void setStoreWriteFault(std::function<int(const std::filesystem::path&)> fault);

}  // namespace platform::system
