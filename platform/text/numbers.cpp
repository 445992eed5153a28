#include "platform/text/numbers.h"

#include <locale.h>
#include <stdlib.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/text/coding.h"

namespace platform::text {
namespace {

bool isBlank(char16_t c) {
    return c == u' ' || (c >= 0x09 && c <= 0x0D);
}
bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int digitValue(char16_t c, int radix) {
    const int v = hexDigitValue(c);
    return v < radix ? v : -1;
}

// Decimal text in the "C" locale to double; Overflow when the magnitude is too large.
double toDouble(const std::string& ascii) {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    double value = strtod_l(ascii.c_str(), nullptr, cLocale);
    if (std::isinf(value)) throw Overflow("number out of range: " + ascii);
    return value;
}

// The value of "&H"/"&O" digits: 16-bit signed when it fits 16 bits (unless forceLong),
// otherwise 32-bit signed; Overflow when wider than 32 bits.
double radixValue(std::uint64_t value, bool forceLong) {
    if (value <= 0xFFFF && !forceLong) return static_cast<std::int16_t>(value);
    if (value <= 0xFFFFFFFFu) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    throw Overflow("hexadecimal or octal number wider than 32 bits");
}

// Accumulates one radix digit. A value wider than 32 bits saturates at 2^32, so it stays "too
// wide" however many digits follow, and radixValue raises Overflow for it once the whole
// number has been read.
void addDigit(std::uint64_t& value, int radix, int digit) {
    value = value * static_cast<unsigned>(radix) + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull) value = 0x100000000ull;
}

}  // namespace

std::optional<double> parseNumber(std::u16string_view s) {
    std::size_t i = 0, end = s.size();
    while (i < end && isBlank(s[i])) ++i;
    while (end > i && isBlank(s[end - 1])) --end;
    if (i == end) return std::nullopt;

    bool negative = false;
    if (s[i] == u'+' || s[i] == u'-') {
        negative = s[i] == u'-';
        ++i;
    }

    if (i < end && s[i] == u'&') {
        ++i;
        if (i == end) return std::nullopt;
        int radix = (s[i] == u'H' || s[i] == u'h') ? 16 : (s[i] == u'O' || s[i] == u'o') ? 8 : 0;
        if (radix == 0) return std::nullopt;
        ++i;
        if (i == end) return std::nullopt;
        std::uint64_t value = 0;
        for (; i < end; ++i) {
            int digit = digitValue(s[i], radix);
            if (digit < 0) return std::nullopt;
            addDigit(value, radix, digit);
        }
        double result = radixValue(value, false);
        return negative && result != 0 ? -result : result;
    }

    std::string ascii = negative ? "-" : "";
    std::size_t digits = 0;
    for (; i < end && isDigit(s[i]); ++i, ++digits) ascii.push_back(static_cast<char>(s[i]));
    if (i < end && s[i] == u'.') {
        ascii.push_back('.');
        for (++i; i < end && isDigit(s[i]); ++i, ++digits) ascii.push_back(static_cast<char>(s[i]));
    }
    if (digits == 0) return std::nullopt;
    if (i < end && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
        ascii.push_back('E');
        ++i;
        if (i < end && (s[i] == u'+' || s[i] == u'-')) ascii.push_back(static_cast<char>(s[i++]));
        std::size_t expDigits = 0;
        for (; i < end && isDigit(s[i]); ++i, ++expDigits) {
            ascii.push_back(static_cast<char>(s[i]));
        }
        if (expDigits == 0) return std::nullopt;
    }
    if (i != end) return std::nullopt;
    double value = toDouble(ascii);
    return value == 0 ? 0.0 : value;  // no negative zero from "-0"
}

bool IsNumeric(std::u16string_view s) {
    try {
        return parseNumber(s).has_value();
    } catch (const Overflow&) {
        return false;
    }
}

double CDbl(std::u16string_view s) {
    auto value = parseNumber(s);
    if (!value) throw TypeMismatch("text is not a number");
    return *value;
}

double Val(std::u16string_view s) {
    std::size_t i = 0;
    auto skip = [&] {
        while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n')) ++i;
    };
    auto at = [&](auto pred) {
        skip();
        return i < s.size() && pred(s[i]);
    };

    skip();
    if (i < s.size() && s[i] == u'&') {
        ++i;
        int radix = 0;
        if (at([](char16_t c) { return c == u'H' || c == u'h'; }))
            radix = 16;
        else if (at([](char16_t c) { return c == u'O' || c == u'o'; }))
            radix = 8;
        if (radix == 0) return 0;
        ++i;
        std::uint64_t value = 0;
        while (at([radix](char16_t c) { return digitValue(c, radix) >= 0; })) {
            addDigit(value, radix, digitValue(s[i], radix));
            ++i;
        }
        bool forceLong = at([](char16_t c) { return c == u'&'; });
        return radixValue(value, forceLong);
    }

    std::string ascii;
    if (at([](char16_t c) { return c == u'+' || c == u'-'; })) {
        if (s[i] == u'-') ascii.push_back('-');
        ++i;
    }
    std::size_t digits = 0;
    while (at(isDigit)) {
        ascii.push_back(static_cast<char>(s[i++]));
        ++digits;
    }
    if (at([](char16_t c) { return c == u'.'; })) {
        ascii.push_back('.');
        ++i;
        while (at(isDigit)) {
            ascii.push_back(static_cast<char>(s[i++]));
            ++digits;
        }
    }
    if (digits == 0) return 0;
    if (at([](char16_t c) { return c == u'E' || c == u'e' || c == u'D' || c == u'd'; })) {
        ++i;
        std::string exponent = "E";
        if (at([](char16_t c) { return c == u'+' || c == u'-'; })) {
            exponent.push_back(static_cast<char>(s[i++]));
        }
        std::size_t expDigits = 0;
        while (at(isDigit)) {
            exponent.push_back(static_cast<char>(s[i++]));
            ++expDigits;
        }
        if (expDigits > 0) ascii += exponent;
    }
    double value = toDouble(ascii);
    return value == 0 ? 0.0 : value;  // no negative zero from "-0"
}

double roundHalfEven(double x) {
    if (!std::isfinite(x)) return x;
    double floor = std::floor(x);
    double fraction = x - floor;
    if (fraction > 0.5) return floor + 1;
    if (fraction < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

std::int16_t CInt(double x) {
    double r = roundHalfEven(x);
    if (!(r >= -32768.0 && r <= 32767.0)) throw Overflow("number out of Integer range");
    return static_cast<std::int16_t>(r);
}

std::int32_t CLng(double x) {
    double r = roundHalfEven(x);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw Overflow("number out of Long range");
    return static_cast<std::int32_t>(r);
}

std::int16_t CInt(std::u16string_view s) {
    return CInt(CDbl(s));
}
std::int32_t CLng(std::u16string_view s) {
    return CLng(CDbl(s));
}

std::u16string formatNumber(double x) {
    if (std::isnan(x)) return u"NaN";
    if (std::isinf(x)) return x > 0 ? u"1.#INF" : u"-1.#INF";
    if (x == 0) return u"0";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 15);
    std::u16string out;
    for (char* p = buffer; p != result.ptr; ++p) out.push_back(*p == 'e' ? u'E' : char16_t(*p));
    return out;
}

std::u16string Hex(std::int64_t n) {
    if (n < -2147483648LL || n > 0xFFFFFFFFLL) throw Overflow("Hex: number out of Long range");
    auto value = static_cast<std::uint32_t>(n);
    char buffer[16];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    std::u16string out;
    for (char* p = buffer; p != result.ptr; ++p) out.push_back(static_cast<char16_t>(toupper(*p)));
    return out;
}

std::u16string Hex16(std::int16_t n) {
    return Hex(static_cast<std::uint16_t>(n));
}

std::u16string zeroPad(std::int64_t n, int width) {
    std::uint64_t magnitude =
        n < 0 ? ~static_cast<std::uint64_t>(n) + 1 : static_cast<std::uint64_t>(n);
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (static_cast<int>(digits.size()) < width) {
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), u'0');
    }
    return n < 0 ? u"-" + digits : digits;
}

}  // namespace platform::text
