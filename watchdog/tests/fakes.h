// Test doubles for the watchdog: a clock that moves only when told, programs that are a set of
// names, and helpers for INI files and log files in a temporary folder.
#pragma once

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "watchdog/watchdog.h"

namespace vigilo::testing {

class FakeClock : public Clock {
  public:
    FakeClock() {
        tm_.tm_year = 2026 - 1900;
        tm_.tm_mon = 2;
        tm_.tm_mday = 7;
        tm_.tm_hour = 9;
        tm_.tm_min = 5;
        tm_.tm_sec = 3;
    }
    std::tm localTime() const override { return tm_; }
    std::chrono::steady_clock::time_point steady() const override { return now_; }
    void advance(std::chrono::seconds s) { now_ += s; }

  private:
    std::tm tm_{};
    std::chrono::steady_clock::time_point now_{};
};

class FakePrograms : public Programs {
  public:
    std::set<std::u16string> running;
    std::map<std::u16string, int> failures;  // command line -> errno
    std::vector<std::u16string> started;
    std::vector<std::u16string> asked;

    bool isRunning(std::u16string_view name) override {
        asked.emplace_back(name);
        return running.count(std::u16string(name)) > 0;
    }
    int start(std::u16string_view line) override {
        auto f = failures.find(std::u16string(line));
        if (f != failures.end()) return f->second;
        started.emplace_back(line);
        return 0;
    }
};

inline void writeFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The messages of a log file, without date, time and line ends.
inline std::vector<std::string> logMessages(const std::filesystem::path& file) {
    std::vector<std::string> out;
    std::string text = readFile(file);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        out.push_back(line.size() >= 20 ? line.substr(20) : line);
        pos = end + 2;
    }
    return out;
}

}  // namespace vigilo::testing
