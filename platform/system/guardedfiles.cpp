#include "platform/system/guardedfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/system/filelimit.h"
#include "platform/system/storefile.h"

namespace platform::system {

namespace {

std::mutex rootsMutex;
std::vector<std::filesystem::path> allowedRoots;

bool under(const std::filesystem::path& path, const std::filesystem::path& root) {
    auto p = path.begin();
    for (const auto& part : root) {
        if (part.empty()) continue;  // a trailing separator
        if (p == path.end() || *p != part) return false;
        ++p;
    }
    return true;
}

// 0 for a regular file, ENOENT when missing, ELOOP for a link, EINVAL for anything else.
int kindOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno;
    if (S_ISLNK(st.st_mode)) return ELOOP;
    return S_ISREG(st.st_mode) ? 0 : EINVAL;
}

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

void syncFolderOf(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
    if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// Temporary files of the writes below, beside the file they become; a killed writer's are
// removed by the next write or move into that folder.
constexpr char kMovePrefix[] = ".move-";

std::string savePrefix(const std::filesystem::path& target) {
    return target.filename().string() + ".tmp.";
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool unchanged(const struct stat& a, const struct stat& b) {
    return sameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// How long a write waits for another writer of the same file.
constexpr auto kLockWait = std::chrono::seconds(10);

// A move between file systems: the data is copied into a new file beside the target with the
// source's permission bits, owner (where this process may give it) and times, synced and
// renamed over the target; only then is the source removed. The copy takes the size the source
// had when it was opened; a source that changed meanwhile (still being written) is not removed:
// before the rename the copy is dropped and the move fails, after it both are kept. On a
// failure the source stays as it was and no part of a copy is left.
int copyAcross(const std::filesystem::path& source, const std::filesystem::path& target,
               std::string& why) {
    int from = -1;
    if (int e = openGuardedFile(source, from)) return e;
    struct stat st {};
    if (::fstat(from, &st) != 0) {
        const int e = errno;
        ::close(from);
        return e;
    }
    if (int e = fileSizeLimitError(std::uint64_t(st.st_size))) {
        ::close(from);
        why = "the file (" + std::to_string(st.st_size) +
              " bytes) is larger than this program may write";
        return e;
    }
    std::string temp;
    const int to = makeLockedTempFile(folderOf(target), kMovePrefix, temp);
    if (to < 0) {
        const int e = errno;
        ::close(from);
        return e;
    }
    int e = copyFileContents(from, to, std::uint64_t(st.st_size));
    // The owner first: changing it may clear the set-user and set-group bits.
    if (!e && ::fchown(to, st.st_uid, st.st_gid) != 0) {
        if (errno != EPERM)
            e = errno;
        else
            keepOwner(to, st);  // a group of the caller's, at least
    }
    if (!e && ::fchmod(to, st.st_mode & 07777) != 0) e = errno;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!e) ::futimens(to, times);
    if (!e && ::fsync(to) != 0) e = errno;
    // Still the file that was copied, as it was: nothing written to it, not replaced.
    auto stillAsCopied = [&] {
        struct stat now {};
        struct stat named {};
        return ::fstat(from, &now) == 0 && unchanged(st, now) &&
               ::lstat(source.c_str(), &named) == 0 && sameFile(st, named);
    };
    if (!e && !stillAsCopied()) {
        e = EBUSY;
        why = source.string() +
              " changed while it was copied (is it still being written?); it is kept as it is "
              "and the copy is removed";
    }
    // Renamed while still open, so that its lock keeps the next mover from taking it for a
    // killed one's.
    if (!e && ::rename(temp.c_str(), target.c_str()) != 0) e = errno;
    if (e) ::unlink(temp.c_str());
    ::close(to);
    if (e) {
        ::close(from);
        return e;
    }
    syncFolderOf(target);
    if (!stillAsCopied()) {
        ::close(from);
        why = source.string() + " changed after it was copied to " + target.string() +
              " (is it still being written?); both are kept";
        return EBUSY;
    }
    ::close(from);
    ::unlink(source.c_str());
    syncFolderOf(source);
    return 0;
}

// checkGuardedPath, answering in `resolved` the path to act on: with roots set, the file's name
// in its folder with every link on the way resolved, so that what was judged is what is used.
int resolveGuardedPath(const std::filesystem::path& path, std::filesystem::path& resolved) {
    resolved = path;
    if (!path.is_absolute() || !path.has_filename()) return EINVAL;
    for (const auto& part : path)
        if (part == "..") return EINVAL;
    std::lock_guard lock(rootsMutex);
    if (allowedRoots.empty()) return 0;
    // Decided on the folders as they are, not on the text: a link inside a root may lead out
    // of it. The last component is never followed by the operations themselves.
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::canonical(path.parent_path(), ec);
    if (ec) {
        // A missing folder holds nothing to act on: said as such when the text is under a root.
        for (const auto& root : allowedRoots)
            if (under(path, root)) return ec.value();
        return EINVAL;
    }
    for (const auto& root : allowedRoots) {
        const std::filesystem::path real = std::filesystem::weakly_canonical(root, ec);
        if (!ec && under(folder, real)) {
            resolved = folder / path.filename();
            return 0;
        }
    }
    return EINVAL;
}

}  // namespace

void setGuardedRoots(std::vector<std::filesystem::path> roots) {
    std::lock_guard lock(rootsMutex);
    allowedRoots = std::move(roots);
}

int checkGuardedPath(const std::filesystem::path& path) {
    std::filesystem::path resolved;
    return resolveGuardedPath(path, resolved);
}

bool guardedFileExists(const std::filesystem::path& path) {
    std::filesystem::path file;
    return resolveGuardedPath(path, file) == 0 && kindOf(file) == 0;
}

int openGuardedFile(const std::filesystem::path& path, int& fd) {
    fd = -1;
    std::filesystem::path file;
    if (int e = resolveGuardedPath(path, file)) return e;
    // Not blocking: a named pipe is refused below instead of waiting for a writer.
    int opened = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (opened < 0) return errno;
    struct stat st {};
    if (::fstat(opened, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(opened);
        return EINVAL;
    }
    fd = opened;
    return 0;
}

int readGuardedFile(const std::filesystem::path& path, std::string& bytes) {
    int fd = -1;
    if (int e = openGuardedFile(path, fd)) return e;
    bytes.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int e = errno;
            ::close(fd);
            return e;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return 0;
}

int writeGuardedFile(const std::filesystem::path& path, const std::string& bytes, bool append) {
    return append ? appendGuardedFile(path, bytes) : replaceGuardedFile(path, bytes);
}

int replaceGuardedFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::path file;
    if (int e = resolveGuardedPath(path, file)) return e;
    if (int e = kindOf(file); e != 0 && e != ENOENT) return e;
    if (int e = fileSizeLimitError(bytes.size())) return e;
    // Writers of the file take turns: an append under way ends before the file is replaced.
    FileLock lock;
    int e = lock.acquire(file, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                         FileLock::Kind::Exclusive, kLockWait);
    if (e != 0 && e != ENOENT) return e == ELOOP ? ELOOP : e;
    const std::filesystem::path folder = folderOf(file);
    removeStaleTempFiles(folder, savePrefix(file));
    std::string temp;
    const int fd = makeLockedTempFile(folder, savePrefix(file), temp);
    if (fd < 0) return errno;
    // The replaced file's owner, group and permission bits stay (set-user and set-group bits
    // do not: these are new contents); a new file gets 0644.
    mode_t mode = 0644;
    if (struct stat old{}; lock.fd() >= 0 && ::fstat(lock.fd(), &old) == 0) {
        keepOwner(fd, old);
        mode = old.st_mode & 01777;
    }
    e = ::fchmod(fd, mode) == 0 ? 0 : errno;
    if (!e) e = writeAll(fd, bytes.data(), bytes.size());
    if (!e && ::fsync(fd) != 0) e = errno;
    // Whatever is under the name now, a link put there meanwhile included, is replaced, never
    // followed.
    if (!e && ::rename(temp.c_str(), file.c_str()) != 0) e = errno;
    if (e) ::unlink(temp.c_str());
    ::close(fd);
    if (!e) syncFolderOf(file);
    return e;
}

int appendGuardedFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::path file;
    if (int e = resolveGuardedPath(path, file)) return e;
    FileLock lock;
    bool created = false;
    int e = lock.acquire(file, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                         FileLock::Kind::Exclusive, kLockWait, 0644, &created);
    if (e) return e;
    const int fd = lock.fd();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return EINVAL;
    e = fileSizeLimitError(std::uint64_t(st.st_size) + bytes.size());
    if (!e) e = writeAll(fd, bytes.data(), bytes.size());
    if (!e) return 0;
    // Nothing of a failed append stays: the file is cut back to its old length, and a file
    // this append made goes again.
    struct stat named {};
    if (created && ::lstat(file.c_str(), &named) == 0 && sameFile(st, named))
        ::unlink(file.c_str());
    else if (::ftruncate(fd, st.st_size) == 0)
        ::fsync(fd);
    return e;
}

int removeGuardedFile(const std::filesystem::path& path) {
    std::filesystem::path file;
    if (int e = resolveGuardedPath(path, file)) return e;
    if (int e = kindOf(file)) return e;
    return ::unlink(file.c_str()) == 0 ? 0 : errno;
}

int moveGuardedFile(const std::filesystem::path& source, const std::filesystem::path& target,
                    std::string* why) {
    std::string reason;
    std::filesystem::path from, to;
    if (int e = resolveGuardedPath(source, from)) return e;
    if (int e = resolveGuardedPath(target, to)) return e;
    if (int e = kindOf(from)) return e;
    if (int e = kindOf(to); e != 0 && e != ENOENT) return e;
    // One file under two names (a hard link, a linked or bind-mounted folder): there is nothing
    // to move, and replacing the one by the other would remove it.
    struct stat a {};
    struct stat b {};
    if (::lstat(from.c_str(), &a) == 0 && ::lstat(to.c_str(), &b) == 0 && sameFile(a, b)) return 0;
    removeStaleTempFiles(folderOf(to), kMovePrefix);
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    if (errno != EXDEV) return errno;
    const int e = copyAcross(from, to, reason);
    if (why) *why = std::move(reason);
    return e;
}

}  // namespace platform::system
