#include "viewer/log/log.h"

#include <strings.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/system/files.h"
#include "platform/text/codepage.h"

namespace vistrel {

namespace {

struct LogState {
    std::optional<bool> enabled;
    std::filesystem::path fileName;
    std::function<std::tm()> clock;
    std::optional<std::filesystem::path> folder;
    std::optional<std::string> name;
};

thread_local LogState state;

bool switchFromEnvironment() {
    const char* v = std::getenv("TESSEL_VISTREL_LOG");
    if (!v) return false;
    for (const char* on : {"1", "on", "yes", "true"})
        if (strcasecmp(v, on) == 0) return true;
    return false;
}

std::tm now() {
    if (state.clock) return state.clock();
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

// The file that holds this code: the control library in a deployment.
std::filesystem::path ownFile() {
    auto file = platform::system::moduleFile(reinterpret_cast<const void*>(&WriteLog));
    return file.empty() ? platform::system::programFile() : file;
}

std::string libraryName() {
    if (state.name) return *state.name;
    std::string stem = ownFile().filename().string();
    if (auto dot = stem.find('.'); dot != std::string::npos) stem.resize(dot);
    if (stem.rfind("lib", 0) == 0 && stem.size() > 3) stem.erase(0, 3);
    return stem;
}

std::filesystem::path libraryFolder() {
    if (state.folder) return *state.folder;
    return ownFile().parent_path();
}

std::string two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

void AppendLogLine(const std::u16string& line) {
    if (state.fileName.empty()) {
        std::tm t = now();
        state.fileName = libraryFolder() / "logs" /
                         (libraryName() + "_" + std::to_string(t.tm_year + 1900) +
                          two(t.tm_mon + 1) + two(t.tm_mday) + ".log");
    }
    std::ofstream out(state.fileName, std::ios::binary | std::ios::app);
    if (!out) return;
    out << platform::text::toUtf8(line) << "\r\n";
}

}  // namespace

bool logEnabled() {
    if (!state.enabled) state.enabled = switchFromEnvironment();
    return *state.enabled;
}

void setLogEnabled(bool on) {
    state.enabled = on;
}

std::u16string ViewerLogLine(const std::tm& t, std::u16string_view text, std::int16_t level) {
    char head[80];
    std::snprintf(head, sizeof head, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    // A level below -1 would ask for a negative indentation: none is written instead.
    int indent = 2 * (int(level) + 1);
    if (indent < 0) indent = 0;
    std::u16string line = platform::text::fromUtf8(head);
    line.append(std::size_t(indent), u' ');
    line += text;
    return line;
}

void WriteLog(std::u16string_view text, std::int16_t level, std::int32_t) {
    if (!logEnabled()) return;
    try {
        // The indentation is counted in 16 bits; a level whose indentation overflows loses
        // its line, as any other failure of the writer does.
        if (2 * (int(level) + 1) > 32767) return;
        AppendLogLine(ViewerLogLine(now(), text, level));
    } catch (...) {
    }
}

std::filesystem::path logFileName() {
    return state.fileName;
}

void setLogClock(std::function<std::tm()> clock) {
    state.clock = std::move(clock);
}

void setLogLocation(std::filesystem::path folder, std::string name) {
    state.folder = std::move(folder);
    state.name = std::move(name);
    state.fileName.clear();
}

void resetLog() {
    state = LogState{};
}

}  // namespace vistrel
