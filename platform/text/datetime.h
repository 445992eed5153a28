// Date and time formatting with the runtime's Format pattern letters.
#pragma once

#include <chrono>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/text/common.h"

namespace platform::text {

// Formats a local date and time by a pattern. Pattern letters (case does not matter, except
// that "f" must be lower case):
//   yyyy  4-digit year          yy  2-digit year         y  day of the year (1..366)
//   MM/M  month, 2-digit/plain  MMM "Jan"   MMMM "January"
//   dd/d  day, 2-digit/plain    ddd "Sun"   dddd "Sunday"
//   HH/H, hh/h   hour 0..23 (1..12 when the pattern holds "AM/PM")
//   nn/n  minute                ss/s second
//   mm/m  minute instead of month when it follows an hour or precedes a second
//         ("yyyy-MM-dd HH:mm:ss", "hh:mm:ss", "yyyyMMddHHmmss" all read as expected)
//   fff/ff/f  milliseconds, first 3/2/1 digits
//   AM/PM (or am/pm)  "AM"/"PM" (or "am"/"pm"), and the hour becomes 12-hour
// Text in '...' or "..." is copied as it is, "\x" copies x, and every other character
// (including ":", "/", "-", " ") is copied unchanged.
std::u16string formatDateTime(const std::tm& time, std::u16string_view pattern,
                              int milliseconds = 0);
// The same for a point in time, shown in the local time zone.
std::u16string formatDateTime(std::chrono::system_clock::time_point time,
                              std::u16string_view pattern);

}  // namespace platform::text
