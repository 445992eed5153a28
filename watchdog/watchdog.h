// The watchdog's service logic: the start sequence that reads vigilo.ini and arms the check
// timer, the timer's tick that starts every watched program that is not running, and the
// service controls pause, continue and stop. It runs on one thread and never waits: the caller
// drives it with the clock (poll) and with the controls it receives.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "watchdog/servicelog.h"
#include "watchdog/settings.h"

namespace tessel {
class IniSnapshot;
}

namespace vigilo {

inline constexpr char16_t kServiceName[] = u"Velmora Vigilo Service";

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::tm localTime() const = 0;
    virtual std::chrono::steady_clock::time_point steady() const = 0;
};

class SystemClock : public Clock {
  public:
    std::tm localTime() const override;
    std::chrono::steady_clock::time_point steady() const override;
};

// The machine's programs, as the watchdog sees them.
class Programs {
  public:
    virtual ~Programs() = default;
    // Whether a live process runs a program file of exactly this name (letter case aside).
    virtual bool isRunning(std::u16string_view exeName) = 0;
    // Starts a command line without waiting for it; 0 or the errno of the failure.
    virtual int start(std::u16string_view commandLine) = 0;
};

// The real processes: the system's process list (ended processes not yet reaped left out) and
// programs started without a shell.
class SystemPrograms : public Programs {
  public:
    bool isRunning(std::u16string_view exeName) override;
    int start(std::u16string_view commandLine) override;
};

struct WatchEntry {
    std::u16string processName;
    std::u16string command;
};

class Watchdog {
  public:
    // `iniFile` is vigilo.ini; `user` is the user the process runs as (root refuses an INI file
    // that others could change).
    Watchdog(std::filesystem::path iniFile, ServiceLog& log, Clock& clock, Programs& programs,
             uid_t user);

    // Reads the INI file and (re)arms the timer.
    void startSequence();
    void pause();
    // Sends the period again and lets the timer tick again.
    void resume();
    void stop();
    // Runs the tick when the timer is due.
    void poll();
    // One check of every watched program.
    void tick();

    bool stopped() const { return stopped_; }
    bool timerRunning() const { return running_; }
    // When the next tick is due; nullopt while the timer does not run.
    std::optional<std::chrono::steady_clock::time_point> nextDue() const;

    const std::u16string& intervalText() const { return intervalText_; }
    const Interval& interval() const { return interval_; }
    // Index 0 holds entry 1.
    const std::vector<WatchEntry>& entries() const { return entries_; }

  private:
    std::int16_t readNumber(const tessel::IniSnapshot& ini, const std::u16string& section,
                            const std::u16string& key, const std::u16string& fallback);
    void armTimer();
    void checkEntry(const WatchEntry& entry);

    std::filesystem::path iniFile_;
    ServiceLog& log_;
    Clock& clock_;
    Programs& programs_;
    uid_t user_;

    std::u16string intervalText_;
    Interval interval_ = kFallbackInterval;
    std::vector<WatchEntry> entries_;
    bool running_ = false;
    bool stopped_ = false;
    std::chrono::steady_clock::time_point due_{};
};

}  // namespace vigilo
