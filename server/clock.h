// Local time for the server: a clock interface so tests can fix the time.
#pragma once

#include <ctime>
#include <string>

namespace tessel::server {

struct LocalTime {
    std::tm tm{};
    int milliseconds = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
};

class SystemClock : public Clock {
  public:
    LocalTime now() const override;
};

// "yyyyMMddHHmmssfff": 17 digits, local time.
std::u16string GetTimeStamp(const LocalTime& t);
// "yyyy-MM-dd HH:mm:ss", 24-hour clock.
std::u16string GetNowText(const LocalTime& t);

}  // namespace tessel::server
