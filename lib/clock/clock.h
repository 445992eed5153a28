// Local time for the server and its peers: a clock interface so tests can fix the time.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tessel {

struct LocalTime {
    std::tm tm{};
    int milliseconds = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
    // Milliseconds on a clock that only moves forward, for measuring how long something took.
    virtual std::int64_t steadyMilliseconds() const = 0;
};

class SystemClock : public Clock {
  public:
    LocalTime now() const override;
    std::int64_t steadyMilliseconds() const override;
};

// "yyyyMMddHHmmssfff": 17 digits, local time.
std::u16string GetTimeStamp(const LocalTime& t);
// "yyyy-MM-dd HH:mm:ss", 24-hour clock.
std::u16string GetNowText(const LocalTime& t);

}  // namespace tessel
