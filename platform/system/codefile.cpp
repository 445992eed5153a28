#include "platform/system/codefile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform::system {

namespace fs = std::filesystem;

namespace {

std::string octal(mode_t mode) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04o", unsigned(mode & 07777));
    return buf;
}

// Why others could change what `st` describes, or nullopt.
std::optional<std::string> writableByOthers(const struct stat& st, const std::string& what) {
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return what + " can be written by other users (mode " + octal(st.st_mode) + ")";
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return what + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    return std::nullopt;
}

std::optional<std::string> checkFolder(const fs::path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return "its folder " + folder.string() + " cannot be examined: " + std::strerror(errno);
    return writableByOthers(st, "its folder " + folder.string());
}

}  // namespace

std::optional<std::string> unsafeCodePath(const fs::path& path) {
    if (path.empty()) return "no library is named";
    if (!path.is_absolute())
        return path.string() + " is not an absolute path; libraries are not searched for";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return path.string() + " cannot be examined: " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return path.string() + " is not a regular file";
    if (auto why = writableByOthers(st, path.string())) return why;
    // The folder that names the file and, through links, the folder that holds it.
    if (auto why = checkFolder(path.parent_path())) return path.string() + ": " + *why;
    std::error_code ec;
    fs::path real = fs::canonical(path, ec);
    if (ec) return path.string() + " cannot be resolved: " + ec.message();
    if (real.parent_path() != path.parent_path())
        if (auto why = checkFolder(real.parent_path())) return path.string() + ": " + *why;
    return std::nullopt;
}

}  // namespace platform::system
