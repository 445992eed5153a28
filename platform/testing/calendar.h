// Test support: a broken-down local time from its calendar fields.
#pragma once

#include <ctime>

namespace platform::testing {

inline std::tm at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

}  // namespace platform::testing
