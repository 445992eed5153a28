#include "lib/clock/clock.h"

#include <chrono>

#include "platform/text/text.h"

namespace tessel {

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

namespace {

// A time in the fields the two fixed patterns below write, each zero-padded to its width; the
// general formatter writes the same for these ranges and is left to any other value.
bool fieldsInRange(const LocalTime& t) {
    const std::tm& tm = t.tm;
    const long year = tm.tm_year + 1900L;
    return year >= 0 && year <= 9999 && tm.tm_mon >= 0 && tm.tm_mon <= 98 && tm.tm_mday >= 0 &&
           tm.tm_mday <= 99 && tm.tm_hour >= 0 && tm.tm_hour <= 99 && tm.tm_min >= 0 &&
           tm.tm_min <= 99 && tm.tm_sec >= 0 && tm.tm_sec <= 99 && t.milliseconds >= 0 &&
           t.milliseconds <= 999;
}

// Writes `value` as `width` decimal digits and returns the position after them.
char16_t* putDigits(char16_t* out, long value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    }
    return out + width;
}

}  // namespace

// Both texts are written on every frame sent and every log line, so the usual fields are put
// down directly rather than through the pattern formatter.
std::u16string GetTimeStamp(const LocalTime& t) {
    if (!fieldsInRange(t))
        return platform::text::formatDateTime(t.tm, u"yyyyMMddHHmmssfff", t.milliseconds);
    std::u16string out(17, u'0');
    char16_t* p = putDigits(out.data(), t.tm.tm_year + 1900L, 4);
    p = putDigits(p, t.tm.tm_mon + 1, 2);
    p = putDigits(p, t.tm.tm_mday, 2);
    p = putDigits(p, t.tm.tm_hour, 2);
    p = putDigits(p, t.tm.tm_min, 2);
    p = putDigits(p, t.tm.tm_sec, 2);
    putDigits(p, t.milliseconds, 3);
    return out;
}

std::u16string GetNowText(const LocalTime& t) {
    if (!fieldsInRange(t)) return platform::text::formatDateTime(t.tm, u"yyyy-MM-dd HH:mm:ss");
    std::u16string out(19, u'-');
    char16_t* p = putDigits(out.data(), t.tm.tm_year + 1900L, 4);
    p = putDigits(p + 1, t.tm.tm_mon + 1, 2);
    p = putDigits(p + 1, t.tm.tm_mday, 2);
    *p = u' ';
    p = putDigits(p + 1, t.tm.tm_hour, 2);
    *p = u':';
    p = putDigits(p + 1, t.tm.tm_min, 2);
    *p = u':';
    putDigits(p + 1, t.tm.tm_sec, 2);
    return out;
}

}  // namespace tessel
