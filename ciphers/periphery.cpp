#include "ciphers/periphery.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "ciphers/convert.h"
#include "ciphers/failure.h"
#include "ciphers/headed.h"
#include "ciphers/state.h"
#include "platform/http/http.h"
#include "platform/outside/aesbridge.h"
#include "platform/text/datetime.h"
#include "platform/text/text.h"

namespace ciphra {

namespace com = platform::com;
namespace text = platform::text;
namespace http = platform::http;
using namespace platform::outside::aesbridge;

std::u16string replaceAll(std::u16string_view s, std::u16string_view from, std::u16string_view to) {
    return text::Replace(s, from, to, true);
}

// ---- Base64 ----

std::u16string b64Encode(std::u16string_view data) {
    auto bridge = aesBridge();
    return callBridge(*bridge, EncodeBase64, com::Variant(data)).toText();
}

std::u16string b64Decode(std::u16string_view data) {
    auto bridge = aesBridge();
    return callBridge(*bridge, DecodeBase64, com::Variant(data)).toText();
}

std::u16string b64EncodeZip(std::u16string_view data) {
    auto bridge = aesBridge();
    com::Variant packed = callBridge(*bridge, CompressData, com::Variant(data));
    return callBridge(*bridge, EncodeBase64, std::move(packed)).toText();
}

std::u16string b64DecodeZip(std::u16string_view data) {
    auto bridge = aesBridge();
    com::Variant packed = callBridge(*bridge, DecodeBase64, com::Variant(data));
    return callBridge(*bridge, DecompressData, std::move(packed)).toText();
}

// ---- the query store ----

void QueryStore::set(std::u16string_view query) {
    const std::size_t bell = query.find(u'\x07');
    if (bell != std::u16string_view::npos) query = query.substr(0, bell);
    names_.clear();
    values_.clear();
    if (query.empty()) fail(kErrSubscript, u"Subscript out of range");
    std::vector<std::u16string> pairs = text::Split(query, u"&");
    names_.resize(pairs.size());
    values_.resize(pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        std::vector<std::u16string> parts = text::Split(pairs[i], u"=");
        if (parts.size() < 2) fail(kErrSubscript, u"Subscript out of range");
        names_[i] = text::Trim(parts[0]);
        values_[i] = text::Trim(parts[1]);
    }
}

std::u16string QueryStore::get(std::u16string_view name) const {
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (text::equalsNoCase(names_[i], name)) return values_[i];
    return {};
}

// ---- formatting ----

namespace {

// A date variant's days since 1899-12-30 as a broken-down time (to the second).
std::tm tmOfDate(double days) {
    // The whole part counts days, the fraction's size the time of day (also before 1899).
    const long long seconds =
        std::min(86399LL, std::llround(std::fabs(days - std::trunc(days)) * 86400.0));
    using namespace std::chrono;
    const sys_days base = sys_days(year(1899) / December / 30) +
                          std::chrono::days(static_cast<int>(std::trunc(days)));
    const year_month_day ymd(base);
    std::tm t{};
    t.tm_year = static_cast<int>(ymd.year()) - 1900;
    t.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    t.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    t.tm_hour = static_cast<int>(seconds / 3600);
    t.tm_min = static_cast<int>(seconds / 60 % 60);
    t.tm_sec = static_cast<int>(seconds % 60);
    t.tm_wday = static_cast<int>(weekday(base).c_encoding());
    return t;
}

// Completes a broken-down civil time (weekday, day of the year) without any time zone.
std::tm normalized(std::tm t) {
    const std::time_t flat = timegm(&t);
    std::tm out{};
    gmtime_r(&flat, &out);
    return out;
}

// "yyyy-mm-dd", "yyyy/mm/dd" or "yyyy.mm.dd", optionally followed by " hh:mm" or " hh:mm:ss".
std::optional<std::tm> parseDate(std::u16string_view s) {
    const std::string a = text::toUtf8(text::Trim(s));
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    char s1 = 0, s2 = 0;
    int used = 0;
    if (std::sscanf(a.c_str(), "%4d%c%2d%c%2d%n", &y, &s1, &mo, &s2, &d, &used) != 5) return {};
    if (s1 != s2 || (s1 != '-' && s1 != '/' && s1 != '.')) return {};
    std::string rest = a.substr(static_cast<std::size_t>(used));
    if (!rest.empty()) {
        int more = 0;
        if (std::sscanf(rest.c_str(), " %2d:%2d%n", &h, &mi, &more) != 2) return {};
        rest = rest.substr(static_cast<std::size_t>(more));
        if (!rest.empty() && (std::sscanf(rest.c_str(), ":%2d%n", &sec, &more) != 1 ||
                              static_cast<std::size_t>(more) != rest.size()))
            return {};
    }
    using namespace std::chrono;
    const year_month_day ymd{year(y), month(static_cast<unsigned>(mo)),
                             day(static_cast<unsigned>(d))};
    if (!ymd.ok() || h > 23 || mi > 59 || sec > 59) return {};
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = sec;
    return normalized(t);
}

// The decimal digits of scaled, the magnitude already moved by places decimals and rounded to a
// whole number: the shortest digits that give back the same double, then zeros, so a value past
// what a 64-bit integer holds is still written in full. When the move itself overflows
// (hundreds of decimals), the magnitude's digits are moved by the decimals instead.
std::string wholeDigits(double magnitude, double scaled, int places) {
    const bool moved = std::isfinite(scaled);
    if (moved && scaled < 1) return "0";
    char buffer[64];
    const char* const end = std::to_chars(buffer, buffer + sizeof buffer,
                                          moved ? scaled : magnitude, std::chars_format::scientific)
                                .ptr;
    const char* const e = std::find(static_cast<const char*>(buffer), end, 'e');
    std::string significant(static_cast<const char*>(buffer), e);
    std::erase(significant, '.');
    const long long exponent = std::strtoll(std::string(e + 1, end).c_str(), nullptr, 10);
    const long long length = moved ? exponent + 1 : exponent + places + 1;
    const auto count = static_cast<long long>(significant.size());
    if (length <= 0) return "0";
    if (length <= count) return significant.substr(0, static_cast<std::size_t>(length));
    return significant + std::string(static_cast<std::size_t>(length - count), '0');
}

// The number by a pattern of "0" (a digit always shown), "#" (a digit when there is one),
// "," (thousands groups), "." (the decimal point) and "%" (times a hundred); other characters
// before and after the digits are copied.
std::u16string formatNumber(double value, std::u16string_view pattern) {
    const std::size_t first = pattern.find_first_of(u"0#.,");
    if (first == std::u16string_view::npos) return std::u16string(pattern);
    const std::size_t last = pattern.find_last_of(u"0#.,");
    const std::u16string_view prefix = pattern.substr(0, first),
                              body = pattern.substr(first, last - first + 1),
                              suffix = pattern.substr(last + 1);
    if (prefix.find(u'%') != std::u16string_view::npos ||
        suffix.find(u'%') != std::u16string_view::npos)
        value *= 100;
    const std::size_t point = body.find(u'.');
    const std::u16string_view whole = body.substr(0, point);
    const std::u16string_view fraction =
        point == std::u16string_view::npos ? std::u16string_view() : body.substr(point + 1);
    const bool grouping = whole.find(u',') != std::u16string_view::npos;
    int minWhole = 0, required = 0, optional = 0;
    for (char16_t c : whole) minWhole += c == u'0';
    for (char16_t c : fraction) {
        required += c == u'0';
        optional += c == u'#';
    }
    const int places = required + optional;
    const bool negative = value < 0;
    const double scaled = std::round(std::fabs(value) * std::pow(10.0, places));
    std::string digits = wholeDigits(std::fabs(value), scaled, places);
    if (static_cast<int>(digits.size()) <= places)
        digits.insert(0, static_cast<std::size_t>(places) + 1 - digits.size(), '0');
    std::string intPart = digits.substr(0, digits.size() - static_cast<std::size_t>(places));
    std::string fracPart = digits.substr(digits.size() - static_cast<std::size_t>(places));
    while (static_cast<int>(fracPart.size()) > required && fracPart.back() == '0')
        fracPart.pop_back();
    intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
    if (static_cast<int>(intPart.size()) < minWhole)
        intPart.insert(0, static_cast<std::size_t>(minWhole) - intPart.size(), '0');
    if (grouping)
        for (int i = static_cast<int>(intPart.size()) - 3; i > 0; i -= 3)
            intPart.insert(static_cast<std::size_t>(i), ",");
    std::string out = intPart;
    if (!fracPart.empty() || (point != std::u16string_view::npos && required > 0))
        out += "." + fracPart;
    const bool zero = intPart.find_first_not_of("0,") == std::string::npos &&
                      fracPart.find_first_not_of('0') == std::string::npos;
    return std::u16string(prefix) + (negative && !zero ? u"-" : u"") + text::fromUtf8(out) +
           std::u16string(suffix);
}

}  // namespace

std::u16string aspFormat(const com::Variant& data, std::u16string_view pattern) {
    if (data.type() == com::VT_DATE) {
        std::tm t = tmOfDate(data.toR8());
        return text::formatDateTime(normalized(t), pattern);
    }
    if (data.isNull() || data.type() == com::VT_EMPTY) return {};
    const std::u16string value = data.toText();
    if (pattern.empty()) return value;
    if (std::optional<std::tm> t = parseDate(value)) return text::formatDateTime(*t, pattern);
    if (text::IsNumeric(value)) return formatNumber(text::CDbl(value), pattern);
    return value;
}

// ---- dates ----

namespace {

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

}  // namespace

std::u16string dateTime2(const std::tm& local) {
    return text::formatDateTime(local, u"yyyy-MM-dd") + u" " +
           text::formatDateTime(local, u"hh:mm:ss");
}

std::u16string dateTime2() {
    return dateTime2(localNow());
}

std::tm dateAdd(std::u16string_view interval, std::int32_t n, const std::tm& time) {
    using namespace std::chrono;
    const std::u16string unit = text::LCase(interval);
    // A date holds the years 100 to 9999; a move that leaves them is an invalid argument.
    auto outOfRange = [] { fail(kErrInvalidCall, u"Invalid procedure call or argument"); };
    std::tm t = time;
    auto addMonths = [&](long long months) {
        long long total = t.tm_year * 12LL + t.tm_mon + months;
        long long years = total >= 0 ? total / 12 : (total - 11) / 12;
        if (years + 1900 < 100 || years + 1900 > 9999) outOfRange();
        int y = static_cast<int>(years);
        int m = static_cast<int>(total - y * 12LL);
        const year_month_day_last end{year(y + 1900) / month(static_cast<unsigned>(m + 1)) / last};
        const int lastDay = static_cast<int>(static_cast<unsigned>(end.day()));
        t.tm_year = y;
        t.tm_mon = m;
        if (t.tm_mday > lastDay) t.tm_mday = lastDay;
    };
    long long seconds = 0;
    if (unit == u"yyyy")
        addMonths(12LL * n);
    else if (unit == u"q")
        addMonths(3LL * n);
    else if (unit == u"m")
        addMonths(n);
    else if (unit == u"y" || unit == u"d" || unit == u"w")
        seconds = 86400LL * n;
    else if (unit == u"ww")
        seconds = 7 * 86400LL * n;
    else if (unit == u"h")
        seconds = 3600LL * n;
    else if (unit == u"n")
        seconds = 60LL * n;
    else if (unit == u"s")
        seconds = n;
    else
        fail(kErrInvalidCall, u"Invalid procedure call or argument");
    std::tm copy = t;
    const std::time_t moved = timegm(&copy) + seconds;
    constexpr auto first = sys_days{year(100) / January / 1};
    constexpr auto last = sys_days{year(9999) / December / 31} + days(1);
    if (moved < sys_seconds(first).time_since_epoch().count() ||
        moved >= sys_seconds(last).time_since_epoch().count())
        outOfRange();
    std::tm out{};
    gmtime_r(&moved, &out);
    return out;
}

std::u16string dateAdd2(std::u16string_view interval, std::int32_t n, std::u16string_view pattern) {
    return text::formatDateTime(dateAdd(interval, n, localNow()), pattern);
}

// ---- HTTP ----

std::u16string getXml(std::u16string_view url) {
    http::Request request;
    request.method = "GET";
    request.url = text::toUtf8(url);
    request.headers = {{"Content-type", "application/x-www-form-urlencoded"},
                       {"pragma", "no-cache"}};
    request.connectTimeout = std::chrono::seconds(30);
    request.stallTimeout = std::chrono::seconds(60);
    request.totalTimeout = std::chrono::minutes(5);
    try {
        http::Response response = http::send(request);
        return text::fromAnsi(response.body);
    } catch (const http::Error& e) {
        return text::fromUtf8(e.what());
    } catch (...) {
        return currentDescription();
    }
}

// ---- the native library's SEED and ARIA ----

namespace {

std::u16string native(NativeMember member, std::vector<com::Variant> args) {
    state().headed.native = createNativeCrypt();
    return com::invoke(*state().headed.native, member, com::DISPATCH_METHOD, std::move(args))
        .toText();
}

}  // namespace

std::u16string seedEncrypt(std::u16string_view pwd, std::u16string_view plainText) {
    return native(SeedEncrypt, {com::Variant(pwd), com::Variant(plainText)});
}
std::u16string seedDecrypt(std::u16string_view pwd, std::u16string_view cipherText) {
    return native(SeedDecrypt, {com::Variant(pwd), com::Variant(cipherText)});
}
std::u16string ariaEncrypt(std::u16string_view pwd, std::int32_t keyLength,
                           std::u16string_view plainText) {
    return native(AriaEncrypt,
                  {com::Variant(pwd), com::Variant(keyLength), com::Variant(plainText)});
}
std::u16string ariaDecrypt(std::u16string_view pwd, std::int32_t keyLength,
                           std::u16string_view cipherText) {
    return native(AriaDecrypt,
                  {com::Variant(pwd), com::Variant(keyLength), com::Variant(cipherText)});
}

}  // namespace ciphra
