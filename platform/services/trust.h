// Whether a file may steer a privileged process. A process running as root that takes command
// lines from a file would run whatever anyone able to change that file writes into it; such a
// file is trusted only when root owns it and neither it nor its folder can be written by group
// or others.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace platform::services {

// The effective user of this process.
uid_t effectiveUser();

// Empty when `file` may steer a process running as `user`; otherwise why not. Every file may
// steer an unprivileged process (one that is not root).
std::string distrustReason(const std::filesystem::path& file, uid_t user);

}  // namespace platform::services
