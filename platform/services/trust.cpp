#include "platform/services/trust.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform::services {

uid_t effectiveUser() {
    return ::geteuid();
}

std::string distrustReason(const std::filesystem::path& file, uid_t user) {
    if (user != 0) return {};
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return "it cannot be examined";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    if (st.st_uid != 0) return "it is not owned by root";
    if (st.st_mode & (S_IWGRP | S_IWOTH)) return "group or others may write it";
    const auto folder =
        file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0) return "its folder cannot be examined";
    if (dir.st_uid != 0) return "its folder is not owned by root";
    if (dir.st_mode & (S_IWGRP | S_IWOTH)) return "group or others may write its folder";
    return {};
}

}  // namespace platform::services
