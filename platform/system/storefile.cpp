#include "platform/system/storefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace platform::system {

namespace fs = std::filesystem;

namespace {

std::atomic<long long> lockWaitMs{10000};

std::mutex& faultMutex() {
    static std::mutex m;
    return m;
}
std::function<int(const fs::path&)>& fault() {
    static std::function<int(const fs::path&)> f;
    return f;
}

int injectedFault(const fs::path& file) {
    std::lock_guard guard(faultMutex());
    return fault() ? fault()(file) : 0;
}

// The file a store path stands for: the path itself (present or not), or the final target of
// a symbolic link. A link to nothing (or a loop of links) is refused: writing there would
// start a second copy of the data apart from the one the link was meant to name.
bool resolveTarget(const fs::path& file, fs::path& target, bool& missing, std::string& why,
                   int& error) {
    missing = false;
    struct stat ls {};
    if (::lstat(file.c_str(), &ls) != 0) {
        if (errno == ENOENT) {
            missing = true;
            target = file;
            return true;
        }
        error = errno;
        why = "cannot look at " + file.string() + ": " + describeError(error);
        return false;
    }
    if (!S_ISLNK(ls.st_mode)) {
        target = file;
        return true;
    }
    std::error_code ec;
    fs::path real = fs::canonical(file, ec);
    if (ec) {
        error = ec.value() == ELOOP ? ELOOP : ENOENT;
        fs::path to = fs::read_symlink(file, ec);
        why = file.string() + " is a symbolic link to " + to.string() +
              (error == ELOOP ? ", a loop of links" : ", which does not exist");
        return false;
    }
    target = real;
    return true;
}

std::string notRegular(const fs::path& file, const struct stat& st) {
    const char* what = S_ISDIR(st.st_mode)    ? "a folder"
                       : S_ISFIFO(st.st_mode) ? "a named pipe"
                       : S_ISCHR(st.st_mode)  ? "a character device"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                                              : "not a regular file";
    return file.string() + " is " + what + ", not a regular file; it is not read";
}

std::string tooLarge(const fs::path& file, std::size_t limit) {
    return file.string() + " is larger than " + std::to_string(limit) + " bytes; it is not read";
}

std::string tempPrefix(const fs::path& target) {
    return target.filename().string() + ".tmp.";
}

// True when `name` in `dir` is still the file open as `fd`.
bool stillNamed(int dir, const char* name, int fd) {
    struct stat named {};
    struct stat open {};
    return ::fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// Where the file system keeps no flocks, a temporary file counts as a killed writer's only
// once it has not changed for this long.
constexpr auto kUnlockedTempAge = std::chrono::minutes(10);

bool locksUnsupported(int error) {
    return error != EWOULDBLOCK && error != EAGAIN && error != EINTR;
}

fs::path folderOf(const fs::path& target) {
    fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

void removeStaleTempFiles(const fs::path& folder, std::string_view prefix) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const auto now = std::chrono::system_clock::now();
    while (dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) continue;
        const int fd = ::openat(::dirfd(dir), entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        bool stale = false;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                stale = true;
            } else if (locksUnsupported(errno)) {
                const auto changed = std::chrono::system_clock::from_time_t(st.st_mtim.tv_sec);
                stale = now - changed > kUnlockedTempAge;
            }
        }
        // Still under that name once locked: not renamed into place meanwhile.
        if (stale && stillNamed(::dirfd(dir), entry->d_name, fd))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

int makeLockedTempFile(const fs::path& folder, std::string_view prefix, std::string& name) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = (folder / (std::string(prefix) + "XXXXXX")).string();
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        // A writer clearing stale files may have taken it between its making and the lock;
        // it removes the file then, and this writer makes another.
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0 || locksUnsupported(errno);
        if (locked && stillNamed(AT_FDCWD, name.c_str(), fd)) return fd;
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

void keepOwner(int fd, const struct stat& st) {
    if (::fchown(fd, st.st_uid, st.st_gid) != 0 && errno == EPERM) [[maybe_unused]]
        int ignored = ::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
}

FileLock::~FileLock() {
    release();
}

void FileLock::release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int FileLock::acquire(const fs::path& file, int flags, Kind kind, std::chrono::milliseconds wait,
                      mode_t createMode, bool* created) {
    release();
    if (created) *created = false;
    const bool noFollow = (flags & O_NOFOLLOW) != 0;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        // Made only where nothing is, so that the caller knows the file is its own.
        bool made = false;
        int fd = ::open(file.c_str(), (flags & ~(O_CREAT | O_EXCL)) | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && (flags & O_CREAT)) {
            fd = ::open(file.c_str(), flags | O_EXCL | O_CLOEXEC, createMode);
            // Another made it meanwhile (or put a link there): opened as it is now.
            if (fd < 0 && errno == EEXIST && std::chrono::steady_clock::now() < deadline) continue;
            made = fd >= 0;
        }
        if (fd < 0) return errno;
        auto pause = std::chrono::milliseconds(1);
        for (;;) {
            if (::flock(fd, (kind == Kind::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0) break;
            if (errno == EINTR) continue;
            if (locksUnsupported(errno)) {  // used unlocked
                fd_ = fd;
                if (created) *created = made;
                return 0;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                ::close(fd);
                return ETIMEDOUT;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(25));
        }
        // The name may have been given another file while this one was waited for.
        struct stat named {};
        struct stat open {};
        const int looked = noFollow ? ::lstat(file.c_str(), &named) : ::stat(file.c_str(), &named);
        if (::fstat(fd, &open) == 0 && looked == 0 && named.st_dev == open.st_dev &&
            named.st_ino == open.st_ino) {
            fd_ = fd;
            if (created) *created = made;
            return 0;
        }
        ::close(fd);
        if (looked != 0 && errno == ENOENT && !(flags & O_CREAT)) return ENOENT;
        if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
    }
}

namespace {

// Temporary files of a writer that was killed between creating and renaming them.
void removeStaleTemps(const fs::path& target) {
    removeStaleTempFiles(folderOf(target), tempPrefix(target));
}

// A new temporary file beside `target`, locked (see removeStaleTempFiles) and still under its
// name once locked; -1 with errno set when none can be made.
int makeLockedTemp(const fs::path& target, std::string& name) {
    return makeLockedTempFile(folderOf(target), tempPrefix(target), name);
}

}  // namespace

std::string describeError(int error) {
    switch (error) {
        case ENOSPC:
            return "the disk is full";
        case EDQUOT:
            return "the disk quota is used up";
        case EROFS:
            return "the file system is read-only";
        case EACCES:
        case EPERM:
            return "permission denied";
        case ETIMEDOUT:
            return "another writer holds the lock";
        default:
            return std::strerror(error);
    }
}

std::chrono::milliseconds storeLockWait() {
    return std::chrono::milliseconds(lockWaitMs.load());
}

void setStoreLockWait(std::chrono::milliseconds wait) {
    lockWaitMs.store(wait.count());
}

void setStoreWriteFault(std::function<int(const fs::path&)> f) {
    std::lock_guard guard(faultMutex());
    fault() = std::move(f);
}

StoreLock::~StoreLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool StoreLock::acquire(const fs::path& folder, std::string& why, int& error) {
    // Each lock opens the folder afresh, so two threads of one process exclude each other as
    // two processes do (flock belongs to the open file description).
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        error = errno;
        why = "cannot open the machine folder " + folder.string() + ": " + describeError(error);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + storeLockWait();
    auto pause = std::chrono::milliseconds(1);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            error = errno;
            why = "cannot lock the machine folder " + folder.string() + ": " + describeError(error);
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = ETIMEDOUT;
            why = "another program has been changing the machine folder " + folder.string() +
                  " for longer than " + std::to_string(storeLockWait().count()) +
                  " ms (is it stopped?); nothing was written";
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(25));
    }
    return true;
}

FileState openBoundedFile(const fs::path& file, std::size_t limit, int& fd, std::string& why,
                          int& error, struct stat* st) {
    fd = -1;
    fs::path target;
    bool missing = false;
    if (!resolveTarget(file, target, missing, why, error)) return FileState::Unreadable;
    if (missing) return FileState::Missing;
    // Not blocking: opening a named pipe must not wait for a writer; it is refused below.
    int opened = ::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (opened < 0) {
        if (errno == ENOENT) return FileState::Missing;
        error = errno;
        why = "cannot read " + target.string() + ": " + describeError(error);
        return FileState::Unreadable;
    }
    struct stat own {};
    struct stat& s = st ? *st : own;
    auto fail = [&](int e, std::string text) {
        ::close(opened);
        error = e;
        why = std::move(text);
        return FileState::Unreadable;
    };
    if (::fstat(opened, &s) != 0) return fail(errno, "cannot read " + target.string());
    if (!S_ISREG(s.st_mode)) return fail(EINVAL, notRegular(target, s));
    if (std::uint64_t(s.st_size) > limit) return fail(EFBIG, tooLarge(target, limit));
    fd = opened;
    return FileState::Read;
}

FileState readWholeFile(const fs::path& file, std::string& out, std::size_t limit, std::string& why,
                        int& error, struct stat* st) {
    out.clear();
    int fd = -1;
    struct stat own {};
    struct stat& s = st ? *st : own;
    FileState state = openBoundedFile(file, limit, fd, why, error, &s);
    if (state != FileState::Read) return state;
    auto fail = [&](int e, std::string text) {
        ::close(fd);
        out.clear();
        error = e;
        why = std::move(text);
        return FileState::Unreadable;
    };
    out.reserve(std::size_t(s.st_size));
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(errno, "cannot read " + file.string() + ": " + describeError(errno));
        if (n == 0) break;
        // It grew meanwhile.
        if (out.size() + std::size_t(n) > limit) return fail(EFBIG, tooLarge(file, limit));
        out.append(buf, std::size_t(n));
    }
    ::close(fd);
    return FileState::Read;
}

namespace {

// The common road of the atomic writes: `fill` writes the new contents into the locked
// temporary file and answers 0 or an errno; `mode` is the new file's permission bits (nullopt:
// those of the file replaced, 0644 for a new file).
bool replaceWith(const fs::path& file, const std::function<int(int)>& fill,
                 std::optional<mode_t> newMode, std::string& why, int& error) {
    fs::path target;
    bool missing = false;
    if (!resolveTarget(file, target, missing, why, error)) {
        why += "; nothing was written";
        return false;
    }
    removeStaleTemps(target);
    auto failed = [&](int e) {
        error = e;
        why = "cannot write " + target.string() + ": " + describeError(e);
        return false;
    };
    if (int injected = injectedFault(target)) return failed(injected);
    std::string tmpl;
    int fd = makeLockedTemp(target, tmpl);
    if (fd < 0) return failed(errno);
    // The new file keeps the permissions, owner and group of the one it replaces (a file others
    // may not read stays so, a file of another user stays theirs); a new file gets 0644. The
    // owner first: giving the file away may clear its set-user and set-group bits.
    mode_t mode = 0644;
    struct stat old {};
    if (!missing && ::stat(target.c_str(), &old) == 0) {
        keepOwner(fd, old);
        mode = old.st_mode & 07777;
    }
    if (newMode) mode = *newMode;
    int err = ::fchmod(fd, mode) == 0 ? 0 : errno;
    if (err == 0) err = fill(fd);
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    // Renamed while still open, so the lock keeps other writers from taking it for stale.
    if (err == 0 && ::rename(tmpl.c_str(), target.c_str()) != 0) err = errno;
    if (err != 0) ::unlink(tmpl.c_str());
    ::close(fd);
    if (err != 0) return failed(err);
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace

bool replaceFileAtomically(const fs::path& file, std::string_view text, std::string& why,
                           int& error) {
    auto fill = [text](int fd) {
        for (std::size_t done = 0; done < text.size();) {
            ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return n < 0 ? errno : EIO;
            done += std::size_t(n);
        }
        return 0;
    };
    return replaceWith(file, fill, std::nullopt, why, error);
}

int copyFileContents(int from, int to, std::uint64_t length) {
    bool inKernel = true;
    std::vector<char> buffer;
    for (std::uint64_t left = length; left > 0;) {
        const std::size_t piece = std::size_t(std::min<std::uint64_t>(left, 1 << 30));
        if (inKernel) {
            const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, piece, 0);
            if (n > 0) {
                left -= std::uint64_t(n);
                continue;
            }
            if (n == 0) return 0;
            if (errno == EINTR) continue;
            // Not between these two files: through a buffer from where it stopped.
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                return errno;
            inKernel = false;
        }
        buffer.resize(1 << 20);
        const ssize_t n = ::read(from, buffer.data(), std::min(buffer.size(), piece));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        left -= std::uint64_t(n);
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer.data() + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return w < 0 ? errno : EIO;
            done += w;
        }
    }
    return 0;
}

bool copyFileAtomically(const fs::path& source, const fs::path& file, std::string& why,
                        int& error) {
    int from = -1;
    struct stat st {};
    const FileState state =
        openBoundedFile(source, std::numeric_limits<std::size_t>::max(), from, why, error, &st);
    if (state == FileState::Missing) {
        error = ENOENT;
        why = "cannot copy " + source.string() + ": it does not exist";
    }
    if (state != FileState::Read) return false;
    const bool done = replaceWith(
        file, [from](int to) { return copyFileContents(from, to); }, mode_t(st.st_mode & 07777),
        why, error);
    ::close(from);
    return done;
}

}  // namespace platform::system
