// How the watchdog reads the numbers and the check period of its INI file.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vigilo {

// An INI number: the number at the start of the text (none gives 0), rounded half to even to a
// 16-bit integer. nullopt when it lies outside -32768..32767.
std::optional<std::int16_t> iniNumber(std::u16string_view text);

// The check period: hours, minutes and seconds.
struct Interval {
    std::int16_t hours = 0;
    std::int16_t minutes = 1;
    std::int16_t seconds = 0;
    std::chrono::seconds period() const {
        return std::chrono::seconds(std::int64_t(hours) * 3600 + std::int64_t(minutes) * 60 +
                                    seconds);
    }
};

// The period a TimeInterval text gives. Its parts, separated by ":", count from the right:
// "S", "M:S" or "H:M:S". Each part is a whole number (rounded half to even) from 0 to 32767.
// nullopt for any other text, and for a period of 0.
std::optional<Interval> parseInterval(std::u16string_view text);

// The period used when the text gives none: 60 seconds.
inline constexpr Interval kFallbackInterval{0, 1, 0};

}  // namespace vigilo
