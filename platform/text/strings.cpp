#include "platform/text/strings.h"

#include "platform/bytes/byteorder.h"
#include "platform/text/codepage.h"

namespace platform::text {
namespace {

using Size = std::u16string_view::size_type;

void requireNonNegative(long n, const char* what) {
    if (n < 0) throw InvalidCall(std::string(what) + ": negative length");
}

bool unitsEqual(char16_t a, char16_t b, bool noCase) {
    return a == b || (noCase && foldCase(a) == foldCase(b));
}

bool matchesAt(std::u16string_view s, Size pos, std::u16string_view find, bool noCase) {
    if (pos + find.size() > s.size()) return false;
    for (Size i = 0; i < find.size(); ++i) {
        if (!unitsEqual(s[pos + i], find[i], noCase)) return false;
    }
    return true;
}

// 0-based position of the first find at or after from; npos when absent.
Size findFrom(std::u16string_view s, std::u16string_view find, Size from, bool noCase) {
    if (!noCase) return s.find(find, from);
    if (find.size() > s.size()) return std::u16string_view::npos;
    for (Size pos = from; pos + find.size() <= s.size(); ++pos) {
        if (matchesAt(s, pos, find, noCase)) return pos;
    }
    return std::u16string_view::npos;
}

bool isWhite(char16_t c) {
    return c == u' ' || (c >= 0x09 && c <= 0x0D);
}

template <typename Pred>
std::u16string trimIf(std::u16string_view s, bool left, bool right, Pred pred) {
    Size begin = 0, end = s.size();
    if (left) {
        while (begin < end && pred(s[begin])) ++begin;
    }
    if (right) {
        while (end > begin && pred(s[end - 1])) --end;
    }
    return std::u16string(s.substr(begin, end - begin));
}

bool isSpace(char16_t c) {
    return c == u' ';
}

}  // namespace

char16_t toUpper(char16_t c) {
    if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE) return c == 0xF7 ? c : static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x100 && c <= 0x137 && c != 0x130 && c != 0x131) || (c >= 0x14A && c <= 0x177)) {
            return static_cast<char16_t>(c & ~1u);
        }
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
            return (c & 1u) ? c : static_cast<char16_t>(c - 1);
        }
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : static_cast<char16_t>(c - 0x20);
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
    return c;
}

char16_t toLower(char16_t c) {
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
    if (c >= 0xC0 && c <= 0xDE) return c == 0xD7 ? c : static_cast<char16_t>(c + 0x20);
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x100 && c <= 0x137 && c != 0x130 && c != 0x131) || (c >= 0x14A && c <= 0x177)) {
            return static_cast<char16_t>(c | 1u);
        }
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
            return (c & 1u) ? static_cast<char16_t>(c + 1) : c;
        }
        return c;
    }
    if (c >= 0x391 && c <= 0x3AB) return c == 0x3A2 ? c : static_cast<char16_t>(c + 0x20);
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return static_cast<char16_t>(c + 0x25);
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return static_cast<char16_t>(c + 0x3F);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 0x20);
    return c;
}

char16_t foldCase(char16_t c) {
    return toLower(toUpper(c));
}

bool isControlCharacter(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

std::u16string showControlCharacters(std::u16string_view text) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (!isControlCharacter(c)) {
            out += c;
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\t') {
            out += u"\\t";
        } else if (c <= 0xFF) {
            out += u"\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += u"\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
        }
    }
    return out;
}

long Len(std::u16string_view s) {
    return static_cast<long>(s.size());
}

std::u16string Mid(std::u16string_view s, long start) {
    if (start < 1) throw InvalidCall("Mid: start below 1");
    if (static_cast<Size>(start) > s.size()) return {};
    return std::u16string(s.substr(static_cast<Size>(start - 1)));
}

std::u16string Mid(std::u16string_view s, long start, long length) {
    if (start < 1) throw InvalidCall("Mid: start below 1");
    requireNonNegative(length, "Mid");
    if (static_cast<Size>(start) > s.size()) return {};
    return std::u16string(s.substr(static_cast<Size>(start - 1), static_cast<Size>(length)));
}

std::u16string Left(std::u16string_view s, long n) {
    requireNonNegative(n, "Left");
    return std::u16string(s.substr(0, static_cast<Size>(n)));
}

std::u16string Right(std::u16string_view s, long n) {
    requireNonNegative(n, "Right");
    Size count = std::min(s.size(), static_cast<Size>(n));
    return std::u16string(s.substr(s.size() - count));
}

long InStr(std::u16string_view s, std::u16string_view find, bool noCase) {
    return InStr(1, s, find, noCase);
}

long InStr(long start, std::u16string_view s, std::u16string_view find, bool noCase) {
    if (start < 1) throw InvalidCall("InStr: start below 1");
    if (s.empty()) return 0;
    if (static_cast<Size>(start) > s.size() + 1) return 0;
    if (find.empty()) return start;
    Size pos = findFrom(s, find, static_cast<Size>(start - 1), noCase);
    return pos == std::u16string_view::npos ? 0 : static_cast<long>(pos + 1);
}

long InStrRev(std::u16string_view s, std::u16string_view find, long start, bool noCase) {
    if (start == 0 || start < -1) throw InvalidCall("InStrRev: bad start");
    if (s.empty()) return 0;
    if (start == -1) start = Len(s);
    if (static_cast<Size>(start) > s.size()) return 0;
    if (find.empty()) return start;
    if (find.size() > static_cast<Size>(start)) return 0;
    for (Size pos = static_cast<Size>(start) - find.size() + 1; pos-- > 0;) {
        if (matchesAt(s, pos, find, noCase)) return static_cast<long>(pos + 1);
    }
    return 0;
}

std::u16string Trim(std::u16string_view s) {
    return trimIf(s, true, true, isSpace);
}
std::u16string LTrim(std::u16string_view s) {
    return trimIf(s, true, false, isSpace);
}
std::u16string RTrim(std::u16string_view s) {
    return trimIf(s, false, true, isSpace);
}
std::u16string TrimWhite(std::u16string_view s) {
    return trimIf(s, true, true, isWhite);
}

std::vector<std::u16string> Split(std::u16string_view s, std::u16string_view delim, long limit,
                                  bool noCase) {
    if (limit < -1) throw InvalidCall("Split: limit below -1");
    std::vector<std::u16string> parts;
    if (s.empty() || limit == 0) return parts;
    if (delim.empty()) {
        parts.emplace_back(s);
        return parts;
    }
    Size from = 0;
    while (limit == -1 || static_cast<long>(parts.size()) < limit - 1) {
        Size pos = findFrom(s, delim, from, noCase);
        if (pos == std::u16string_view::npos) break;
        parts.emplace_back(s.substr(from, pos - from));
        from = pos + delim.size();
    }
    parts.emplace_back(s.substr(from));
    return parts;
}

std::u16string Join(const std::vector<std::u16string>& parts, std::u16string_view delim) {
    std::u16string out;
    for (Size i = 0; i < parts.size(); ++i) {
        if (i > 0) out += delim;
        out += parts[i];
    }
    return out;
}

std::u16string Replace(std::u16string_view s, std::u16string_view find, std::u16string_view repl,
                       bool noCase) {
    return Replace(s, find, repl, 1, -1, noCase);
}

std::u16string Replace(std::u16string_view s, std::u16string_view find, std::u16string_view repl,
                       long start, long count, bool noCase) {
    if (start < 1) throw InvalidCall("Replace: start below 1");
    if (count < -1) throw InvalidCall("Replace: count below -1");
    if (static_cast<Size>(start) > s.size()) return {};
    std::u16string_view rest = s.substr(static_cast<Size>(start - 1));
    if (find.empty() || count == 0) return std::u16string(rest);
    std::u16string out;
    out.reserve(rest.size());
    Size from = 0;
    long done = 0;
    while (count == -1 || done < count) {
        Size pos = findFrom(rest, find, from, noCase);
        if (pos == std::u16string_view::npos) break;
        out.append(rest.substr(from, pos - from));
        out.append(repl);
        from = pos + find.size();
        ++done;
    }
    out.append(rest.substr(from));
    return out;
}

std::u16string LCase(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) c = toLower(c);
    return out;
}

std::u16string UCase(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) c = toUpper(c);
    return out;
}

std::u16string String(long n, char16_t ch) {
    requireNonNegative(n, "String");
    return std::u16string(static_cast<Size>(n), ch);
}

std::u16string Space(long n) {
    return String(n, u' ');
}

int StrComp(std::u16string_view a, std::u16string_view b, bool noCase) {
    Size common = std::min(a.size(), b.size());
    for (Size i = 0; i < common; ++i) {
        char16_t x = noCase ? foldCase(a[i]) : a[i];
        char16_t y = noCase ? foldCase(b[i]) : b[i];
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (Size i = 0; i < a.size(); ++i) {
        if (!unitsEqual(a[i], b[i], true)) return false;
    }
    return true;
}

int compareNoCase(std::u16string_view a, std::u16string_view b) {
    return StrComp(a, b, true);
}

int Asc(std::u16string_view s) {
    if (s.empty()) throw InvalidCall("Asc: empty text");
    Size units =
        s.size() >= 2 && s[0] >= 0xD800 && s[0] <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF ? 2
                                                                                              : 1;
    auto bytes = toAnsi(s.substr(0, units));
    // A double-byte character's code has its lead byte on top.
    unsigned code =
        bytes.size() >= 2 ? platform::bytes::loadBigEndian<std::uint16_t>(bytes.data()) : bytes[0];
    return static_cast<std::int16_t>(code);
}

int AscW(std::u16string_view s) {
    if (s.empty()) throw InvalidCall("AscW: empty text");
    return static_cast<std::int16_t>(s[0]);
}

std::u16string Chr(long code) {
    if (code < -32768 || code > 65535) throw InvalidCall("Chr: code out of range");
    unsigned value = static_cast<unsigned>(code) & 0xFFFF;
    if (value <= 0xFF) {
        std::uint8_t byte = static_cast<std::uint8_t>(value);
        return fromAnsi(std::span<const std::uint8_t>(&byte, 1));
    }
    std::uint8_t bytes[2];
    platform::bytes::storeBigEndian<std::uint16_t>(bytes, static_cast<std::uint16_t>(value));
    return fromAnsi(std::span<const std::uint8_t>(bytes, 2));
}

std::u16string ChrW(long code) {
    if (code < -32768 || code > 65535) throw InvalidCall("ChrW: code out of range");
    return std::u16string(1, static_cast<char16_t>(static_cast<unsigned>(code) & 0xFFFF));
}

}  // namespace platform::text
