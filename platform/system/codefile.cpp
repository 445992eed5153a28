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

// Why others could change what `st` describes, or nullopt. A sticky folder lets others add
// entries but not rename or remove those of root or this user, so it may stand above the code.
std::optional<std::string> writableByOthers(const struct stat& st, const std::string& what,
                                            bool stickyAllowed) {
    const bool sticky = stickyAllowed && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !sticky)
        return what + " can be written by other users (mode " + octal(st.st_mode) + ")";
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return what + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    return std::nullopt;
}

std::optional<std::string> checkFolder(const fs::path& folder, bool holdsTheFile) {
    struct stat st {};
    const std::string what =
        (holdsTheFile ? "its folder " : "the folder above it ") + folder.string();
    if (::stat(folder.c_str(), &st) != 0)
        return what + " cannot be examined: " + std::strerror(errno);
    return writableByOthers(st, what, !holdsTheFile);
}

// The folder that holds the file and every folder above it, up to the root.
std::optional<std::string> checkFolders(const fs::path& file) {
    fs::path folder = file.parent_path();
    if (auto why = checkFolder(folder, true)) return why;
    while (folder.has_relative_path()) {
        folder = folder.parent_path();
        if (auto why = checkFolder(folder, false)) return why;
    }
    return std::nullopt;
}

// `one` and `many` name what the file holds ("library", "libraries").
std::optional<std::string> unsafeFile(const fs::path& path, const char* one, const char* many) {
    if (path.empty()) return std::string("no ") + one + " is named";
    if (!path.is_absolute())
        return path.string() + " is not an absolute path; " + many + " are not searched for";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return path.string() + " cannot be examined: " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return path.string() + " is not a regular file";
    if (auto why = writableByOthers(st, path.string(), false)) return why;
    // The folders that name the file and, through links, the folders that hold it.
    const fs::path named = path.lexically_normal();
    if (auto why = checkFolders(named)) return path.string() + ": " + *why;
    std::error_code ec;
    fs::path real = fs::canonical(path, ec);
    if (ec) return path.string() + " cannot be resolved: " + ec.message();
    if (real != named)
        if (auto why = checkFolders(real)) return path.string() + ": " + *why;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> unsafeCodePath(const fs::path& path) {
    return unsafeFile(path, "library", "libraries");
}

std::optional<std::string> unsafeProgramPath(const fs::path& path) {
    if (auto why = unsafeFile(path, "program", "programs")) return why;
    if (::access(path.c_str(), X_OK) != 0) return path.string() + " is not executable";
    return std::nullopt;
}

}  // namespace platform::system
