#include "server/clock.h"

#include <chrono>

#include "platform/text/text.h"

namespace tessel::server {

LocalTime SystemClock::now() const {
    auto now = std::chrono::system_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    LocalTime t;
    localtime_r(&seconds, &t.tm);
    t.milliseconds = static_cast<int>(ms.count() % 1000);
    return t;
}

std::int64_t SystemClock::steadyMilliseconds() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::u16string GetTimeStamp(const LocalTime& t) {
    return platform::text::formatDateTime(t.tm, u"yyyyMMddHHmmssfff", t.milliseconds);
}

std::u16string GetNowText(const LocalTime& t) {
    return platform::text::formatDateTime(t.tm, u"yyyy-MM-dd HH:mm:ss");
}

}  // namespace tessel::server
