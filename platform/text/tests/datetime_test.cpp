#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/text/tests/print.h"
#include "platform/text/text.h"

namespace platform::text {
namespace {

using testing::printable;

std::tm sampleTime() {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;  // March
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    t.tm_wday = 2;  // Tuesday
    t.tm_yday = 64;
    return t;
}

struct PatternCase {
    std::u16string pattern;
    std::u16string expected;
};
void PrintTo(const PatternCase& c, std::ostream* os) {
    *os << printable(c.pattern) << "";
}

class PatternTable : public ::testing::TestWithParam<PatternCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternTable,
    ::testing::Values(PatternCase{u"yyyy-MM-dd HH:mm:ss", u"2024-03-05 14:07:09"},
                      PatternCase{u"YYYY-MM-DD", u"2024-03-05"},
                      PatternCase{u"hh:mm:ss", u"14:07:09"}, PatternCase{u"yyyyMMdd", u"20240305"},
                      PatternCase{u"yyyyMMddHHmmss", u"20240305140709"},
                      PatternCase{u"yyyyMMddHHmmssfff", u"20240305140709042"},
                      PatternCase{u"HH:mm:ss.fff", u"14:07:09.042"},
                      PatternCase{u"yy/M/d H:n:s", u"24/3/5 14:7:9"},
                      PatternCase{u"ddd dddd MMM MMMM", u"Tue Tuesday Mar March"},
                      PatternCase{u"h:mm AM/PM", u"2:07 PM"},
                      PatternCase{u"hh:nn am/pm", u"02:07 pm"},
                      PatternCase{u"'Date' yyyy \\y", u"Date 2024 y"},
                      PatternCase{u"\"at\" HH시 mm분", u"at 14시 07분"}, PatternCase{u"y", u"65"},
                      PatternCase{u"", u""}));

TEST_P(PatternTable, FormatsBrokenDownTime) {
    const auto& c = GetParam();
    EXPECT_EQ(formatDateTime(sampleTime(), c.pattern, 42), c.expected);
}

TEST(DateTime, MidnightAndNoonInTwelveHourForm) {
    std::tm t = sampleTime();
    t.tm_hour = 0;
    EXPECT_EQ(formatDateTime(t, u"h AM/PM"), u"12 AM");
    t.tm_hour = 12;
    EXPECT_EQ(formatDateTime(t, u"h AM/PM"), u"12 PM");
}

TEST(DateTime, TimePointUsesLocalTimeAndMilliseconds) {
    // A POSIX zone string needs no zone database: Korea, UTC+9, no daylight saving.
    const char* saved = std::getenv("TZ");
    std::string savedTz = saved ? saved : "";
    setenv("TZ", "KST-9", 1);
    tzset();
    // 2024-01-02 03:04:05.678 UTC is 12:04:05 in Korea.
    auto point = std::chrono::system_clock::time_point(std::chrono::milliseconds(1704164645678));
    std::u16string text = formatDateTime(point, u"yyyy-MM-dd HH:mm:ss.fff");
    if (saved) {
        setenv("TZ", savedTz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    EXPECT_EQ(text, u"2024-01-02 12:04:05.678");
}

}  // namespace
}  // namespace platform::text
