// Test support for the control library's step log: the log switched on into a temporary
// folder with the clock standing still, and what it wrote.
#pragma once

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "viewer/log/log.h"

namespace selection_test {

// The date and time every captured line begins with.
inline constexpr const char* kLogHead = "2026-12-08 12:00:00";

// Switches the step log on into <folder>/logs, with the clock at kLogHead.
inline void captureLog(const std::filesystem::path& folder) {
    vistrel::resetLog();
    std::filesystem::create_directories(folder / "logs");
    vistrel::setLogLocation(folder, "Vistrel");
    std::tm noon{};
    noon.tm_year = 126;
    noon.tm_mon = 11;
    noon.tm_mday = 8;
    noon.tm_hour = 12;
    vistrel::setLogClock([noon] { return noon; });
    vistrel::setLogEnabled(true);
}

// Everything the log file holds now.
inline std::string capturedLog() {
    std::ifstream in(vistrel::logFileName(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace selection_test
