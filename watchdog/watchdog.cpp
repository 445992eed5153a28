#include "watchdog/watchdog.h"

#include <cerrno>

#include "lib/initool/initool.h"
#include "platform/process/control.h"
#include "platform/process/process.h"
#include "platform/services/trust.h"
#include "platform/text/codepage.h"
#include "platform/text/common.h"
#include "platform/text/strings.h"

namespace vigilo {

using platform::text::fromUtf8;

// ---------------------------------------------------------------------------------------------
// Clock and programs

std::tm SystemClock::localTime() const {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

std::chrono::steady_clock::time_point SystemClock::steady() const {
    return std::chrono::steady_clock::now();
}

bool SystemPrograms::isRunning(std::u16string_view exeName) {
    for (const auto& p : platform::process::snapshot()) {
        if (p.zombie) continue;
        std::u16string_view name = p.exeFile;
        if (auto nul = name.find(u'\0'); nul != name.npos) name = name.substr(0, nul);
        if (platform::text::equalsNoCase(platform::text::Trim(name), exeName)) return true;
    }
    return false;
}

int SystemPrograms::start(std::u16string_view commandLine) {
    return platform::process::startCommandLine(commandLine);
}

// ---------------------------------------------------------------------------------------------
// The watchdog

namespace {

// The runtime error a failed program start raises.
platform::text::Error startError(int error) {
    switch (error) {
        case ENOENT:
            return platform::text::runtimeError(53);
        case EACCES:
        case EPERM:
            return platform::text::runtimeError(70);
        case EINVAL:
            return platform::text::runtimeError(5);
        default:
            return platform::text::runtimeError(75);
    }
}

std::u16string decimal(long n) {
    return fromUtf8(std::to_string(n));
}

}  // namespace

Watchdog::Watchdog(std::filesystem::path iniFile, ServiceLog& log, Clock& clock, Programs& programs,
                   uid_t user)
    : iniFile_(std::move(iniFile)), log_(log), clock_(clock), programs_(programs), user_(user) {}

std::int16_t Watchdog::readNumber(const tessel::IniSnapshot& ini, const std::u16string& section,
                                  const std::u16string& key, const std::u16string& fallback) {
    const std::u16string text = ini.GetValue(section, key, fallback);
    if (auto n = iniNumber(text)) return *n;
    log_.write(u"[" + section + u"] " + key + u" \"" + text + u"\" is out of range; using " +
               fallback);
    return iniNumber(fallback).value_or(0);
}

void Watchdog::startSequence() {
    log_.write(u"start");

    tessel::iniTool ini(tessel::iniTool::Trim::Both);
    ini.Filename(platform::text::fromUtf8(iniFile_.string()));
    // A privileged watchdog starts the command lines of this file: a file that others could
    // change is not read at all.
    const std::string distrust = platform::services::distrustReason(iniFile_, user_);
    const bool trusted = distrust.empty();
    // Read once: every value below is a lookup, so thousands of entries take no longer to read
    // than the file itself.
    const tessel::IniSnapshot snapshot(ini);
    if (!trusted)
        log_.write(u"vigilo.ini refused: " + fromUtf8(distrust) + u"; no program is watched");

    auto value = [&](const std::u16string& section, const std::u16string& key,
                     const std::u16string& fallback) {
        return trusted ? snapshot.GetValue(section, key, fallback) : fallback;
    };
    auto number = [&](const std::u16string& section, const std::u16string& key,
                      const std::u16string& fallback) -> std::int16_t {
        return trusted ? readNumber(snapshot, section, key, fallback) : *iniNumber(fallback);
    };

    log_.setLevel(number(u"Vigilo", u"Debug", u"0"));
    if (!trusted) log_.setLevel(std::max<std::int16_t>(log_.level(), 1));

    intervalText_ = value(u"Vigilo", u"TimeInterval", u"60");
    if (auto parsed = parseInterval(intervalText_)) {
        interval_ = *parsed;
    } else {
        interval_ = kFallbackInterval;
        log_.write(u"TimeInterval \"" + intervalText_ +
                   u"\" gives no period; checking every 60 seconds");
    }

    entries_.clear();
    const std::int16_t count = number(u"Vigilo", u"ProcessCount", u"0");
    for (std::int16_t n = 1; n <= count && n > 0; ++n) {
        const std::u16string section = u"Process_" + decimal(n);
        if (number(section, u"RealTime", u"0") != 1) continue;
        entries_.push_back({platform::text::Trim(value(section, u"ProcessName", u"")),
                            platform::text::Trim(value(section, u"PCommand", u""))});
        if (n == 32767) break;
    }

    armTimer();
    log_.write(u"NTService1_Start  - " + intervalText_);
}

void Watchdog::armTimer() {
    running_ = true;
    due_ = clock_.steady() + interval_.period();
}

void Watchdog::pause() {
    log_.write(u"pause");
    running_ = false;
}

void Watchdog::resume() {
    log_.write(u"continue");
    log_.write(u"NTService1_Continue  - " + intervalText_);
    armTimer();
}

void Watchdog::stop() {
    log_.write(u"stopped");
    running_ = false;
    stopped_ = true;
}

std::optional<std::chrono::steady_clock::time_point> Watchdog::nextDue() const {
    if (!running_) return std::nullopt;
    return due_;
}

void Watchdog::poll() {
    if (!running_) return;
    const auto now = clock_.steady();
    if (now < due_) return;
    tick();
    // One tick however late it runs; the next is a whole period after the due time, or after
    // now when the tick itself took longer than a period.
    due_ += interval_.period();
    if (due_ <= now) due_ = now + interval_.period();
}

void Watchdog::checkEntry(const WatchEntry& entry) {
    if (programs_.isRunning(entry.processName)) {
        log_.write(entry.processName + u" is running.....");
        return;
    }
    log_.write(entry.processName + u" is Not running.....");
    log_.write(entry.command);
    if (const int error = programs_.start(entry.command)) throw startError(error);
    log_.write(entry.command + u" 실행 완료");
}

void Watchdog::tick() {
    log_.write(u"[TIMER] service is running...Start");
    // Each entry has its own trap: one program that cannot be started does not keep the
    // entries after it from being checked.
    for (const WatchEntry& entry : entries_) {
        try {
            checkEntry(entry);
        } catch (const platform::text::Error& e) {
            log_.write(u"[TIMERError] " + decimal(e.number()) + u" - " + e.description());
        } catch (const std::exception& e) {
            log_.write(u"[TIMERError] 5 - " + fromUtf8(e.what()));
        }
    }
    log_.write(u"[TIMER] service is running...End");
}

}  // namespace vigilo
