#include <gtest/gtest.h>
#include <iconv.h>

#include <thread>

#include "platform/text/tests/print.h"
#include "platform/text/text.h"

namespace platform::text {
namespace {

using testing::printable;

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

std::string hex(const Bytes& bytes) {
    std::string out = "bytes";
    for (auto b : bytes) {
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, "%02X", b);
        out += buffer;
    }
    return out;
}

// A text from raw UTF-16 units (lone surrogates cannot be written as literals).
std::u16string units(std::initializer_list<unsigned> list) {
    std::u16string out;
    for (unsigned u : list) out.push_back(static_cast<char16_t>(u));
    return out;
}

// Restores the process-wide ANSI code page after a test changes it.
class AnsiCodePageGuard {
  public:
    AnsiCodePageGuard() : saved_(ansiCodePage()) {}
    ~AnsiCodePageGuard() { setAnsiCodePage(saved_); }

  private:
    unsigned saved_;
};

struct EncodeCase {
    std::u16string text;
    unsigned codePage;
    Bytes bytes;
};
void PrintTo(const EncodeCase& c, std::ostream* os) {
    *os << printable(c.text) << "/" + std::to_string(c.codePage);
}

class EncodeTable : public ::testing::TestWithParam<EncodeCase> {};

// Byte values confirmed with the iconv command line tool.
INSTANTIATE_TEST_SUITE_P(
    CodePages, EncodeTable,
    ::testing::Values(
        EncodeCase{u"한글", 949, {0xC7, 0xD1, 0xB1, 0xDB}}, EncodeCase{u"가", 949, {0xB0, 0xA1}},
        EncodeCase{u"A한B", 949, {0x41, 0xC7, 0xD1, 0x42}},
        EncodeCase{u"Ω", 949, {0xA5, 0xD8}},                // Greek is in CP949
        EncodeCase{u"é", 949, {'?'}},                       // Latin-1 letters are not
        EncodeCase{u"a\U0001F600b", 949, {'a', '?', 'b'}},  // one "?" for a pair
        EncodeCase{u"\u00A9\u05D0", 949, {'?', '?'}},
        EncodeCase{std::u16string(u"a\0b", 3), 949, {'a', 0, 'b'}},
        EncodeCase{u"한", 65001, {0xED, 0x95, 0x9C}},
        EncodeCase{u"\U0001F600", 65001, {0xF0, 0x9F, 0x98, 0x80}},
        EncodeCase{units({0xD800, 'x'}), 65001, {0xEF, 0xBF, 0xBD, 'x'}},  // lone high surrogate
        EncodeCase{units({'x', 0xDC00}), 949, {'x', '?'}},                 // lone low surrogate
        EncodeCase{units({0xD800}), 949, {'?'}},  // high surrogate at the end
        EncodeCase{
            units({0xD55C, 0xD800}), 1200, {0x5C, 0xD5, 0x00, 0xD8}},  // UTF-16 is copied as is
        EncodeCase{u"한", 1201, {0xD5, 0x5C}}, EncodeCase{u"", 949, {}}));

TEST_P(EncodeTable, EncodesToExpectedBytes) {
    const auto& c = GetParam();
    EXPECT_EQ(toCodePage(c.text, c.codePage), c.bytes);
}

struct DecodeCase {
    Bytes bytes;
    unsigned codePage;
    std::u16string text;
};
void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << hex(c.bytes) << "/" + std::to_string(c.codePage);
}

class DecodeTable : public ::testing::TestWithParam<DecodeCase> {};

INSTANTIATE_TEST_SUITE_P(
    CodePages, DecodeTable,
    ::testing::Values(
        DecodeCase{{0xC7, 0xD1, 0xB1, 0xDB}, 949, u"한글"},
        DecodeCase{{'a', 0xFF, 'b'}, 949, u"a\uFFFDb"},  // 0xFF starts nothing
        DecodeCase{{0xC7, 0x41}, 949, u"\uFFFDA"},       // bad trail keeps the 'A'
        DecodeCase{{'a', 0xC7}, 949, u"a\uFFFD"},        // truncated at the end
        DecodeCase{{0xA2, 0xE8}, 949, u"\u327E"},        // the postal mark at the end
        DecodeCase{{0xA2, 0xE8, 'A'}, 949, u"\u327EA"},  // ... and before a byte
        DecodeCase{{0xA2, 0xE8, 0xA2, 0xE8}, 949, u"\u327E\u327E"},
        DecodeCase{{0xA2, 0xA2, 0xE8}, 949, u"\u21D4\uFFFD"},  // E8 here is a lead, truncated
        DecodeCase{{0xA2, 0xE8}, 51949, u"\u327E"},
        DecodeCase{{0, 'x', 0}, 949, std::u16string(u"\0x\0", 3)},
        DecodeCase{{0xED, 0x95, 0x9C}, 65001, u"한"},
        DecodeCase{{0xEF, 0xBB, 0xBF, 'a'}, 65001, u"\uFEFFa"},        // a BOM is kept
        DecodeCase{{0xED, 0x95}, 65001, u"\uFFFD\uFFFD"},              // one per byte
        DecodeCase{{0xC0, 0xAF, 'z'}, 65001, u"\uFFFD\uFFFDz"},        // overlong "/"
        DecodeCase{{0xED, 0xA0, 0x80}, 65001, u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
        DecodeCase{{0xF4, 0x90, 0x80, 0x80}, 65001, u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // > U+10FFFF
        DecodeCase{{0x80, 'q'}, 65001, u"\uFFFDq"},
        DecodeCase{{0x5C, 0xD5, 0x00, 0xDC}, 1200, units({0xD55C, 0xDC00})},
        DecodeCase{{0x41, 0x00, 0x42}, 1200, u"A\uFFFD"},  // odd last byte
        DecodeCase{{}, 65001, u""}));

TEST_P(DecodeTable, DecodesToExpectedText) {
    const auto& c = GetParam();
    EXPECT_EQ(fromCodePage(std::span<const std::uint8_t>(c.bytes), c.codePage), c.text);
}

// Decodes one character's bytes alone with a descriptor of its own: what glibc makes of them,
// the postal mark that glibc's CP949 refuses, or U+FFFD for the lead byte and then the trail
// byte on its own.
std::u16string decodeAlone(const Bytes& bytes) {
    if (bytes == Bytes{0xA2, 0xE8}) return u"\u327E";
    iconv_t cd = iconv_open("UTF-16LE", "CP949");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    Bytes copy = bytes;
    char16_t units[4] = {};
    char* in = reinterpret_cast<char*>(copy.data());
    std::size_t inLeft = copy.size();
    char* out = reinterpret_cast<char*>(units);
    std::size_t outLeft = sizeof units;
    std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    if (result != static_cast<std::size_t>(-1) && inLeft == 0) {
        return std::u16string(units, (sizeof units - outLeft) / sizeof(char16_t));
    }
    if (bytes.size() == 1) return u"\uFFFD";
    return u"\uFFFD" + decodeAlone(Bytes{bytes[1]});
}

TEST(CodePage, EveryCp949BytePairDecodesAsItsOwnCharacterAtTheEndAndInside) {
    int mismatches = 0;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x41; trail <= 0xFE; ++trail) {
            const Bytes pair{static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
            const std::u16string alone = decodeAlone(pair);
            Bytes atEnd{'x'};
            atEnd.insert(atEnd.end(), pair.begin(), pair.end());
            Bytes inside = atEnd;
            inside.push_back('0');  // never a trail byte, so it cannot join the pair's trail
            const std::u16string end = fromCodePage(std::span<const std::uint8_t>(atEnd), 949);
            const std::u16string mid = fromCodePage(std::span<const std::uint8_t>(inside), 949);
            if (end != u"x" + alone || mid != u"x" + alone + u"0") {
                if (++mismatches <= 10) {
                    ADD_FAILURE() << hex(pair) << ": end " << printable(end) << ", inside "
                                  << printable(mid) << ", expected " << printable(alone);
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// UTF-8 is written without the converter; every code unit, alone, before a low surrogate and at
// the end after a high one, must come out as the converter writes it (code page 65001).
TEST(CodePage, Utf8IsWrittenAsTheConverterWritesIt) {
    std::size_t differ = 0, checked = 0;
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        const char16_t unit = static_cast<char16_t>(c);
        for (std::u16string text :
             {std::u16string(1, unit), std::u16string{u'a', unit, u'b'},
              std::u16string{unit, u'\xDC00'}, std::u16string{u'\xD800', unit}}) {
            const auto viaConverter = toCodePage(text, 65001);
            if (toUtf8(text) != std::string(viaConverter.begin(), viaConverter.end())) ++differ;
            ++checked;
        }
    }
    EXPECT_EQ(differ, 0u);
    EXPECT_EQ(checked, 4u * 0x10000);
    EXPECT_EQ(toUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(toUtf8(u"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8(u""), "");
}

TEST(CodePage, KoreanRoundTripsThroughCp949AndUtf8) {
    const std::u16string text = u"한글 인증서 발급 テ";  // テ (katakana) is in CP949 too
    EXPECT_EQ(fromCodePage(std::span<const std::uint8_t>(toCodePage(text, 949)), 949), text);
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
    EXPECT_EQ(toUtf8(u"한글"), "\xED\x95\x9C\xEA\xB8\x80");
    EXPECT_EQ(fromUtf8("\xED\x95\x9C\xEA\xB8\x80"), u"한글");
}

TEST(CodePage, LongTextGrowsOutputBuffers) {
    std::u16string text;
    for (int i = 0; i < 5000; ++i) text += u"가A\U0001F600";
    auto utf8 = toUtf8(text);
    EXPECT_EQ(utf8.size(), 5000u * (3 + 1 + 4));
    EXPECT_EQ(fromUtf8(utf8), text);
    auto cp949 = toCodePage(text, 949);
    EXPECT_EQ(cp949.size(), 5000u * (2 + 1 + 1));
    std::string bad(20000, '\xFF');
    EXPECT_EQ(fromCodePage(bad, 949), std::u16string(20000, u'\uFFFD'));
}

TEST(CodePage, UnknownCodePageOrCharsetRaisesInvalidCall) {
    EXPECT_THROW(toCodePage(u"a", 12345), InvalidCall);
    EXPECT_THROW(fromCodePage(std::string_view("a"), 0), InvalidCall);
    EXPECT_THROW(toCharset(u"a", "klingon"), InvalidCall);
    EXPECT_THROW(setAnsiCodePage(4242), InvalidCall);
    EXPECT_FALSE(isSupportedCodePage(4242));
}

TEST(CodePage, CharsetNamesMapToCodePages) {
    EXPECT_EQ(codePageOfCharset("euc-kr"), 949u);
    EXPECT_EQ(codePageOfCharset("EUC-KR"), 949u);
    EXPECT_EQ(codePageOfCharset("ks_c_5601-1987"), 949u);
    EXPECT_EQ(codePageOfCharset("UTF-8"), 65001u);
    EXPECT_EQ(codePageOfCharset(u"Utf-8"), 65001u);
    EXPECT_EQ(codePageOfCharset("utf-16le"), 1200u);
    EXPECT_EQ(codePageOfCharset("utf-8 "), std::nullopt);
    EXPECT_EQ(codePageOfCharset(u"\uD55C"), std::nullopt);

    EXPECT_EQ(toCharset(u"한", "euc-kr"), (Bytes{0xC7, 0xD1}));
    EXPECT_EQ(toCharset(u"한", "utf-8"), (Bytes{0xED, 0x95, 0x9C}));
    EXPECT_EQ(fromCharset(std::string_view("\xC7\xD1"), "EUC-KR"), u"한");
    EXPECT_EQ(fromCharset(bytesOf("\xED\x95\x9C"), "utf-8"), u"한");
}

TEST(CodePage, AnsiHelpersFollowTheProcessSetting) {
    AnsiCodePageGuard guard;
    EXPECT_EQ(ansiCodePage(), 949u);
    EXPECT_EQ(toAnsi(u"한"), (Bytes{0xC7, 0xD1}));
    EXPECT_EQ(fromAnsi(std::string_view("\xC7\xD1")), u"한");

    setAnsiCodePage(65001);
    EXPECT_EQ(ansiCodePage(), 65001u);
    EXPECT_EQ(toAnsi(u"한"), (Bytes{0xED, 0x95, 0x9C}));
    // The setting is per process, not per thread.
    unsigned seen = 0;
    std::thread([&] { seen = ansiCodePage(); }).join();
    EXPECT_EQ(seen, 65001u);
}

TEST(CodePage, Utf16leBytesKeepEveryUnit) {
    const std::u16string text = units({'A', 0, 0xD55C, 0xDFFF});
    Bytes bytes = toUtf16leBytes(text);
    EXPECT_EQ(bytes, (Bytes{0x41, 0x00, 0x00, 0x00, 0x5C, 0xD5, 0xFF, 0xDF}));
    EXPECT_EQ(fromUtf16leBytes(bytes), text);
    EXPECT_EQ(toCodePage(text, 1200), bytes);
}

TEST(CodePage, ConvertersAreUsableFromSeveralThreads) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (fromCodePage(std::span<const std::uint8_t>(toCodePage(u"한글é", 949)), 949) !=
                    u"한글?") {
                    ++failures;
                }
                if (fromUtf8(toUtf8(u"한글é")) != u"한글é") ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace platform::text
