#include "platform/text/datetime.h"

#include <vector>

#include "platform/text/numbers.h"
#include "platform/text/strings.h"

namespace platform::text {
namespace {

enum class Kind { Literal, Year, MonthOrMinute, Day, Hour, Minute, Second, Fraction, AmPm };

struct Token {
    Kind kind;
    int count = 0;
    std::u16string text;  // Literal, AmPm (the "AM/PM" text as written)
};

constexpr const char16_t* kMonths[] = {u"January",   u"February", u"March",    u"April",
                                       u"May",       u"June",     u"July",     u"August",
                                       u"September", u"October",  u"November", u"December"};
constexpr const char16_t* kDays[] = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                     u"Thursday", u"Friday", u"Saturday"};

Kind kindOf(char16_t c) {
    switch (c) {
        case u'y':
        case u'Y':
            return Kind::Year;
        case u'm':
        case u'M':
            return Kind::MonthOrMinute;
        case u'd':
        case u'D':
            return Kind::Day;
        case u'h':
        case u'H':
            return Kind::Hour;
        case u'n':
        case u'N':
            return Kind::Minute;
        case u's':
        case u'S':
            return Kind::Second;
        case u'f':
            return Kind::Fraction;
        default:
            return Kind::Literal;
    }
}

std::vector<Token> tokenize(std::u16string_view pattern) {
    std::vector<Token> tokens;
    auto literal = [&](std::u16string_view text) {
        if (tokens.empty() || tokens.back().kind != Kind::Literal) {
            tokens.push_back({Kind::Literal, 0, {}});
        }
        tokens.back().text += text;
    };
    std::size_t i = 0;
    while (i < pattern.size()) {
        char16_t c = pattern[i];
        if (equalsNoCase(pattern.substr(i, 5), u"AM/PM")) {
            tokens.push_back({Kind::AmPm, 0, std::u16string(pattern.substr(i, 5))});
            i += 5;
        } else if (c == u'\'' || c == u'"') {
            std::size_t close = pattern.find(c, i + 1);
            if (close == std::u16string_view::npos) close = pattern.size();
            literal(pattern.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == u'\\') {
            if (i + 1 < pattern.size()) literal(pattern.substr(i + 1, 1));
            i += 2;
        } else if (Kind kind = kindOf(c); kind != Kind::Literal) {
            std::size_t run = i;
            while (run < pattern.size() && kindOf(pattern[run]) == kind &&
                   (kind != Kind::Fraction || pattern[run] == c)) {
                ++run;
            }
            tokens.push_back({kind, static_cast<int>(run - i), {}});
            i = run;
        } else {
            literal(pattern.substr(i, 1));
            ++i;
        }
    }
    // "m" after an hour or before a second is a minute; otherwise a month.
    for (std::size_t t = 0; t < tokens.size(); ++t) {
        if (tokens[t].kind != Kind::MonthOrMinute) continue;
        Kind before = Kind::Literal, after = Kind::Literal;
        for (std::size_t b = t; b-- > 0;) {
            if (tokens[b].kind != Kind::Literal) {
                before = tokens[b].kind;
                break;
            }
        }
        for (std::size_t a = t + 1; a < tokens.size(); ++a) {
            if (tokens[a].kind != Kind::Literal) {
                after = tokens[a].kind;
                break;
            }
        }
        if (before == Kind::Hour || after == Kind::Second) tokens[t].kind = Kind::Minute;
    }
    return tokens;
}

std::u16string number(long value, int count) {
    return zeroPad(value, count >= 2 ? 2 : 1);
}

}  // namespace

std::u16string formatDateTime(const std::tm& time, std::u16string_view pattern, int milliseconds) {
    auto tokens = tokenize(pattern);
    bool twelveHour = false;
    for (const auto& token : tokens) twelveHour = twelveHour || token.kind == Kind::AmPm;

    int month = time.tm_mon >= 0 && time.tm_mon < 12 ? time.tm_mon : 0;
    int weekday = time.tm_wday >= 0 && time.tm_wday < 7 ? time.tm_wday : 0;
    std::u16string out;
    for (const auto& token : tokens) {
        switch (token.kind) {
            case Kind::Literal:
                out += token.text;
                break;
            case Kind::Year: {
                long year = time.tm_year + 1900L;
                if (token.count >= 3)
                    out += zeroPad(year, 4);
                else if (token.count == 2)
                    out += zeroPad(((year % 100) + 100) % 100, 2);
                else
                    out += zeroPad(time.tm_yday + 1, 1);
                break;
            }
            case Kind::MonthOrMinute:
                if (token.count >= 4)
                    out += kMonths[month];
                else if (token.count == 3)
                    out += std::u16string_view(kMonths[month]).substr(0, 3);
                else
                    out += number(time.tm_mon + 1, token.count);
                break;
            case Kind::Day:
                if (token.count >= 4)
                    out += kDays[weekday];
                else if (token.count == 3)
                    out += std::u16string_view(kDays[weekday]).substr(0, 3);
                else
                    out += number(time.tm_mday, token.count);
                break;
            case Kind::Hour: {
                int hour = time.tm_hour;
                if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
                out += number(hour, token.count);
                break;
            }
            case Kind::Minute:
                out += number(time.tm_min, token.count);
                break;
            case Kind::Second:
                out += number(time.tm_sec, token.count);
                break;
            case Kind::Fraction: {
                int ms = milliseconds >= 0 && milliseconds < 1000 ? milliseconds : 0;
                std::u16string digits = zeroPad(ms, 3);
                if (token.count <= 3)
                    out += digits.substr(0, static_cast<std::size_t>(token.count));
                else
                    out += digits + std::u16string(static_cast<std::size_t>(token.count) - 3, u'0');
                break;
            }
            case Kind::AmPm: {
                bool lower = token.text[0] == u'a' || token.text[0] == u'p';
                bool pm = time.tm_hour >= 12;
                out += lower ? (pm ? u"pm" : u"am") : (pm ? u"PM" : u"AM");
                break;
            }
        }
    }
    return out;
}

std::u16string formatDateTime(std::chrono::system_clock::time_point time,
                              std::u16string_view pattern) {
    using namespace std::chrono;
    auto since = time.time_since_epoch();
    auto secs = floor<seconds>(since);
    int ms = static_cast<int>(duration_cast<milliseconds>(since - secs).count());
    std::time_t t = static_cast<std::time_t>(secs.count());
    std::tm local{};
    localtime_r(&t, &local);
    return formatDateTime(local, pattern, ms);
}

}  // namespace platform::text
