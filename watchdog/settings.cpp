#include "watchdog/settings.h"

#include "platform/text/numbers.h"
#include "platform/text/strings.h"

namespace vigilo {

using platform::text::Error;

std::optional<std::int16_t> iniNumber(std::u16string_view text) {
    try {
        return platform::text::CInt(platform::text::Val(text));
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::optional<Interval> parseInterval(std::u16string_view text) {
    const auto parts = platform::text::Split(text, u":");
    if (parts.empty() || parts.size() > 3) return std::nullopt;
    std::int16_t values[3] = {0, 0, 0};
    const std::size_t first = 3 - parts.size();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        try {
            const std::int16_t v = platform::text::CInt(std::u16string_view(parts[i]));
            if (v < 0) return std::nullopt;
            values[first + i] = v;
        } catch (const Error&) {
            return std::nullopt;
        }
    }
    Interval interval{values[0], values[1], values[2]};
    if (interval.period().count() == 0) return std::nullopt;
    return interval;
}

}  // namespace vigilo
