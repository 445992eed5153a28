#include "platform/system/storefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform::system {

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileLock::acquire(const std::filesystem::path& lockFile, bool exclusive) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0 && !exclusive) fd_ = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    int rc;
    do {
        rc = ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

FileState readWholeFile(const std::filesystem::path& file, std::string& out, struct stat* st) {
    out.clear();
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? FileState::Missing : FileState::Unreadable;
    if (st && ::fstat(fd, st) != 0) {
        ::close(fd);
        return FileState::Unreadable;
    }
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return FileState::Unreadable;
        }
        if (n == 0) break;
        out.append(buf, std::size_t(n));
    }
    ::close(fd);
    return FileState::Read;
}

bool replaceFileAtomically(const std::filesystem::path& file, std::string_view text) {
    std::string tmpl = file.string() + ".XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, 0644) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += std::size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmpl.c_str(), file.c_str()) == 0;
    if (!ok) {
        ::unlink(tmpl.c_str());
        return false;
    }
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace platform::system
