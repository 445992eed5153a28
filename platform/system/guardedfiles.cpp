#include "platform/system/guardedfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

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

// A move between file systems: the data is copied into a new file beside the target with the
// source's permission bits, owner (where this process may give it) and times, synced and
// renamed over the target; only then is the source removed. On a failure the source stays as it
// was and no part of a copy is left.
int copyAcross(const std::filesystem::path& source, const std::filesystem::path& target) {
    int from = -1;
    if (int e = openGuardedFile(source, from)) return e;
    struct stat st {};
    if (::fstat(from, &st) != 0) {
        const int e = errno;
        ::close(from);
        return e;
    }
    std::string temp = (target.parent_path() / ".move-XXXXXX").string();
    const int to = ::mkstemp(temp.data());
    if (to < 0) {
        const int e = errno;
        ::close(from);
        return e;
    }
    int e = copyFileContents(from, to);
    // The owner first: changing it may clear the set-user and set-group bits.
    if (!e && ::fchown(to, st.st_uid, st.st_gid) != 0) {
        if (errno != EPERM)
            e = errno;
        else
            ::fchown(to, static_cast<uid_t>(-1), st.st_gid);  // a group of the caller's, at least
    }
    if (!e && ::fchmod(to, st.st_mode & 07777) != 0) e = errno;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!e) ::futimens(to, times);
    if (!e && ::fsync(to) != 0) e = errno;
    if (::close(to) != 0 && !e) e = errno;
    ::close(from);
    if (!e && ::rename(temp.c_str(), target.c_str()) != 0) e = errno;
    if (e) {
        ::unlink(temp.c_str());
        return e;
    }
    syncFolderOf(target);
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
    std::filesystem::path file;
    if (int e = resolveGuardedPath(path, file)) return e;
    const int mode =
        O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (append ? O_APPEND : 0);
    int fd = ::open(file.c_str(), mode, 0644);
    if (fd < 0) return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return EINVAL;
    }
    int e = (!append && ::ftruncate(fd, 0) != 0) ? errno : 0;
    if (!e) e = writeAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0 && !e) e = errno;
    return e;
}

int removeGuardedFile(const std::filesystem::path& path) {
    std::filesystem::path file;
    if (int e = resolveGuardedPath(path, file)) return e;
    if (int e = kindOf(file)) return e;
    return ::unlink(file.c_str()) == 0 ? 0 : errno;
}

int moveGuardedFile(const std::filesystem::path& source, const std::filesystem::path& target) {
    std::filesystem::path from, to;
    if (int e = resolveGuardedPath(source, from)) return e;
    if (int e = resolveGuardedPath(target, to)) return e;
    if (int e = kindOf(from)) return e;
    if (int e = kindOf(to); e != 0 && e != ENOENT) return e;
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    if (errno != EXDEV) return errno;
    return copyAcross(from, to);
}

}  // namespace platform::system
