#include "platform/text/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "platform/bytes/byteorder.h"

namespace platform::text {
namespace {

// iconv's name for UTF-16 in the byte order of char16_t in memory.
constexpr const char* kNativeUtf16 =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

struct CodePageName {
    unsigned codePage;
    const char* iconvName;
};

constexpr CodePageName kCodePages[] = {
    {949, "CP949"},   {65001, "UTF-8"},      {1200, "UTF-16LE"}, {1201, "UTF-16BE"},
    {20127, "ASCII"}, {28591, "ISO-8859-1"}, {1252, "CP1252"},   {932, "CP932"},
    {936, "GBK"},     {950, "BIG5"},         {51949, "EUC-KR"},
};

struct CharsetName {
    const char* name;
    unsigned codePage;
};

constexpr CharsetName kCharsets[] = {
    {"euc-kr", 949},       {"ks_c_5601-1987", 949}, {"ks_c_5601", 949}, {"cp949", 949},
    {"windows-949", 949},  {"x-windows-949", 949},  {"utf-8", 65001},   {"utf8", 65001},
    {"utf-16", 1200},      {"utf-16le", 1200},      {"unicode", 1200},  {"utf-16be", 1201},
    {"unicodefffe", 1201}, {"us-ascii", 20127},     {"ascii", 20127},   {"iso-8859-1", 28591},
    {"latin1", 28591},     {"windows-1252", 1252},
};

const char* iconvNameOf(unsigned codePage) {
    for (const auto& entry : kCodePages) {
        if (entry.codePage == codePage) return entry.iconvName;
    }
    throw InvalidCall("unsupported code page " + std::to_string(codePage));
}

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Open conversion descriptors, kept per thread (an iconv_t is not safe to share between
// threads) and closed when the thread ends.
class ConverterCache {
  public:
    ~ConverterCache() {
        for (auto& entry : entries_) iconv_close(entry.second);
    }

    iconv_t get(const char* to, const char* from) {
        std::string key = std::string(to) + '\n' + from;
        for (auto& entry : entries_) {
            if (entry.first == key) {
                iconv(entry.second, nullptr, nullptr, nullptr, nullptr);  // reset shift state
                return entry.second;
            }
        }
        iconv_t cd = iconv_open(to, from);
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            throw InvalidCall(std::string("no conversion from ") + from + " to " + to);
        }
        entries_.emplace_back(std::move(key), cd);
        return cd;
    }

  private:
    std::vector<std::pair<std::string, iconv_t>> entries_;
};

iconv_t converter(const char* to, const char* from) {
    thread_local ConverterCache cache;
    return cache.get(to, from);
}

// UTF-16 text to a multibyte code page through iconv.
std::vector<std::uint8_t> encodeMultibyte(std::u16string_view text, const char* target) {
    const bool utf8 = std::strcmp(target, "UTF-8") == 0;
    // A text of ASCII alone is itself in these code pages (the system's own and its kin).
    if (utf8 || std::strcmp(target, "CP949") == 0 || std::strcmp(target, "EUC-KR") == 0) {
        if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }))
            return std::vector<std::uint8_t>(text.begin(), text.end());
    }
    iconv_t cd = converter(target, kNativeUtf16);

    std::vector<std::uint8_t> out(text.size() * 2 + 16);
    std::size_t written = 0;
    const char* const base = reinterpret_cast<const char*>(text.data());
    char* in = const_cast<char*>(base);
    std::size_t inLeft = text.size() * sizeof(char16_t);

    auto reserve = [&](std::size_t need) {
        if (out.size() - written < need) out.resize(std::max(out.size() * 2, written + need));
    };
    auto put = [&](std::initializer_list<std::uint8_t> bytes) {
        reserve(bytes.size());
        for (auto b : bytes) out[written++] = b;
    };

    while (inLeft > 0) {
        reserve(16);
        char* outPtr = reinterpret_cast<char*>(out.data() + written);
        std::size_t outLeft = out.size() - written;
        std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        written = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ (a character the target cannot hold, or a lone surrogate) or EINVAL (a high
        // surrogate at the very end): replace that one character and go on after it.
        std::size_t index = static_cast<std::size_t>(in - base) / sizeof(char16_t);
        if (index >= text.size()) break;
        std::size_t units = 1;
        if (isHighSurrogate(text[index]) && index + 1 < text.size() &&
            isLowSurrogate(text[index + 1])) {
            units = 2;
        }
        bool lone = units == 1 && (isHighSurrogate(text[index]) || isLowSurrogate(text[index]));
        if (lone && utf8) {
            put({0xEF, 0xBF, 0xBD});
        } else {
            put({'?'});
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        in = const_cast<char*>(base) + (index + units) * sizeof(char16_t);
        inLeft = (text.size() - index - units) * sizeof(char16_t);
    }
    out.resize(written);
    return out;
}

// CP949 holds the postal mark U+327E at A2 E8. glibc's converter for it consumes that pair and
// then reports an invalid sequence without writing anything; asked once, with a descriptor of
// its own, whether this glibc does so.
bool cp949DropsPostalMark() {
    static const bool drops = [] {
        iconv_t cd = iconv_open(kNativeUtf16, "CP949");
        if (cd == reinterpret_cast<iconv_t>(-1)) return false;
        char pair[] = {static_cast<char>(0xA2), static_cast<char>(0xE8)};
        char16_t unit = 0;
        char* in = pair;
        std::size_t inLeft = sizeof pair;
        char* out = reinterpret_cast<char*>(&unit);
        std::size_t outLeft = sizeof unit;
        std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
        iconv_close(cd);
        return result == static_cast<std::size_t>(-1) && inLeft == 0 && outLeft == sizeof unit;
    }();
    return drops;
}

// Multibyte bytes to UTF-16 text through iconv.
std::u16string decodeMultibyte(std::span<const std::uint8_t> bytes, const char* source) {
    const bool mendPostalMark = std::strcmp(source, "CP949") == 0 && cp949DropsPostalMark();
    iconv_t cd = converter(kNativeUtf16, source);

    std::u16string out(bytes.size() + 8, u'\0');
    std::size_t written = 0;  // in UTF-16 units
    const char* const base = reinterpret_cast<const char*>(bytes.data());
    char* in = const_cast<char*>(base);
    std::size_t inLeft = bytes.size();

    while (inLeft > 0) {
        if (out.size() - written < 8) out.resize(out.size() * 2);
        char* start = reinterpret_cast<char*>(out.data() + written);
        char* outPtr = start;
        std::size_t outLeft = (out.size() - written) * sizeof(char16_t);
        const std::size_t callStart = static_cast<std::size_t>(in - base);
        std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        written += static_cast<std::size_t>(outPtr - start) / sizeof(char16_t);
        if (result != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (out.size() - written < 1) out.resize(out.size() * 2);
        // The converter stops on a character boundary; a pair A2 E8 consumed by this call just
        // before that point is the postal mark the converter refused (a lead byte is never a
        // character alone), so it is the mark, and decoding goes on right after it.
        const std::size_t stop = static_cast<std::size_t>(in - base);
        if (mendPostalMark && stop >= callStart + 2 && bytes[stop - 2] == 0xA2 &&
            bytes[stop - 1] == 0xE8) {
            out[written++] = u'\u327E';
            continue;
        }
        // EILSEQ (invalid sequence) or EINVAL (truncated sequence at the end): the byte where
        // the converter stopped becomes U+FFFD and decoding resumes at the next one.
        out[written++] = u'\uFFFD';
        if (inLeft == 0) break;
        ++in;
        --inLeft;
    }
    out.resize(written);
    return out;
}

std::vector<std::uint8_t> encodeUtf16(std::u16string_view text, bool bigEndian) {
    namespace order = platform::bytes;
    std::vector<std::uint8_t> out(text.size() * 2);
    if (bigEndian)
        for (std::size_t i = 0; i < text.size(); ++i)
            order::storeBigEndian<std::uint16_t>(out.data() + 2 * i, text[i]);
    else
        for (std::size_t i = 0; i < text.size(); ++i)
            order::storeLittleEndian<std::uint16_t>(out.data() + 2 * i, text[i]);
    return out;
}

std::u16string decodeUtf16(std::span<const std::uint8_t> bytes, bool bigEndian) {
    namespace order = platform::bytes;
    std::u16string out((bytes.size() + 1) / 2, u'\0');
    if (bigEndian)
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            out[i / 2] = static_cast<char16_t>(order::loadBigEndian<std::uint16_t>(&bytes[i]));
    else
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            out[i / 2] = static_cast<char16_t>(order::loadLittleEndian<std::uint16_t>(&bytes[i]));
    if (bytes.size() % 2 != 0) out.back() = u'\uFFFD';
    return out;
}

std::span<const std::uint8_t> asBytes(std::string_view bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

unsigned charsetCodePageOrThrow(std::string_view charset) {
    auto codePage = codePageOfCharset(charset);
    if (!codePage) throw InvalidCall("unknown charset \"" + std::string(charset) + "\"");
    return *codePage;
}

std::atomic<unsigned> gAnsiCodePage{kCodePageKorean};

}  // namespace

// Written directly, as the converter would: a surrogate pair is one four-byte character and a
// lone surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            const char32_t v = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
            out += static_cast<char>(0xF0 | (v >> 18));
            out += static_cast<char>(0x80 | ((v >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (v & 0x3F));
        } else {
            const char32_t v = isHighSurrogate(text[i]) || isLowSurrogate(text[i]) ? 0xFFFD : c;
            out += static_cast<char>(0xE0 | (v >> 12));
            out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (v & 0x3F));
        }
    }
    return out;
}

std::u16string fromUtf8(std::string_view utf8) {
    return decodeMultibyte(asBytes(utf8), "UTF-8");
}

bool isSupportedCodePage(unsigned codePage) {
    for (const auto& entry : kCodePages) {
        if (entry.codePage == codePage) return true;
    }
    return false;
}

std::vector<std::uint8_t> toCodePage(std::u16string_view text, unsigned codePage) {
    if (codePage == 1200) return encodeUtf16(text, false);
    if (codePage == 1201) return encodeUtf16(text, true);
    return encodeMultibyte(text, iconvNameOf(codePage));
}

std::u16string fromCodePage(std::span<const std::uint8_t> bytes, unsigned codePage) {
    if (codePage == 1200) return decodeUtf16(bytes, false);
    if (codePage == 1201) return decodeUtf16(bytes, true);
    return decodeMultibyte(bytes, iconvNameOf(codePage));
}

std::u16string fromCodePage(std::string_view bytes, unsigned codePage) {
    return fromCodePage(asBytes(bytes), codePage);
}

std::optional<unsigned> codePageOfCharset(std::string_view charset) {
    for (const auto& entry : kCharsets) {
        std::string_view name = entry.name;
        if (name.size() != charset.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) {
            same = asciiLower(charset[i]) == name[i];
        }
        if (same) return entry.codePage;
    }
    return std::nullopt;
}

std::optional<unsigned> codePageOfCharset(std::u16string_view charset) {
    std::string ascii;
    for (char16_t c : charset) {
        if (c == 0 || c > 0x7F) return std::nullopt;
        ascii.push_back(static_cast<char>(c));
    }
    return codePageOfCharset(std::string_view(ascii));
}

std::vector<std::uint8_t> toCharset(std::u16string_view text, std::string_view charset) {
    return toCodePage(text, charsetCodePageOrThrow(charset));
}

std::u16string fromCharset(std::span<const std::uint8_t> bytes, std::string_view charset) {
    return fromCodePage(bytes, charsetCodePageOrThrow(charset));
}

std::u16string fromCharset(std::string_view bytes, std::string_view charset) {
    return fromCharset(asBytes(bytes), charset);
}

unsigned ansiCodePage() {
    return gAnsiCodePage.load(std::memory_order_relaxed);
}

void setAnsiCodePage(unsigned codePage) {
    if (!isSupportedCodePage(codePage)) {
        throw InvalidCall("unsupported code page " + std::to_string(codePage));
    }
    gAnsiCodePage.store(codePage, std::memory_order_relaxed);
}

std::vector<std::uint8_t> toAnsi(std::u16string_view text) {
    return toCodePage(text, ansiCodePage());
}

std::u16string fromAnsi(std::span<const std::uint8_t> bytes) {
    return fromCodePage(bytes, ansiCodePage());
}

std::u16string fromAnsi(std::string_view bytes) {
    return fromCodePage(bytes, ansiCodePage());
}

std::vector<std::uint8_t> toUtf16leBytes(std::u16string_view text) {
    return encodeUtf16(text, false);
}

std::u16string fromUtf16leBytes(std::span<const std::uint8_t> bytes) {
    return decodeUtf16(bytes, false);
}

}  // namespace platform::text
