#include "platform/system/machine.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace platform::system {

namespace {

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    // No HOME (daemons, some service managers): fall back to the password database.
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr)
        return pw->pw_dir;
    return "/tmp";
}

// Creates the folder when missing. A failure is left for the caller's first file operation
// to report, since that is where the caller can say what it was trying to do.
std::filesystem::path ensured(std::filesystem::path folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

}  // namespace

std::filesystem::path machineFolder() {
    // Read at every call, so a test (or a tool) can point one process at another machine.
    std::filesystem::path folder;
    if (const char* env = std::getenv("TESSEL_MACHINE"); env != nullptr && *env != '\0') {
        folder = env;
    } else {
        folder = homeFolder() / ".local" / "share" / "tessel" / "machine";
    }
    std::error_code ec;
    if (auto absolute = std::filesystem::absolute(folder, ec); !ec) folder = absolute;
    folder = folder.lexically_normal();
    // "/some/where/" and "/some/where" name the same folder; keep one spelling.
    if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
    return ensured(folder);
}

std::filesystem::path systemFolder() {
    return ensured(machineFolder() / "system");
}

std::filesystem::path appDataFolder() {
    return ensured(machineFolder() / "AppData");
}

}  // namespace platform::system
