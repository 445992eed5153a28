// The operating system version that the system's code asks for (the platform's version query).
// It comes from the "os" entry of the machine description (machine.json in the machine folder):
//     "os": {"major": 10, "minor": 0, "build": 19045, "platformId": 2, "servicePack": ""}
// and defaults to Windows 10 (10.0.19045, platform 2, VER_PLATFORM_WIN32_NT) when the
// description has none.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::system {

struct OsVersion {
    std::uint32_t major = 10;
    std::uint32_t minor = 0;
    std::uint32_t build = 19045;
    std::uint32_t platformId = 2;  // VER_PLATFORM_WIN32_NT
    std::u16string servicePack;
};

constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;

// nullopt when the version query fails (the description names an unreadable "os" entry).
std::optional<OsVersion> osVersion();

// Replaces the answer of osVersion() in this process (nullopt in `version` makes the query
// fail); reset() goes back to the machine description.
void overrideOsVersion(std::optional<OsVersion> version);
void resetOsVersion();

}  // namespace platform::system
