#include <gtest/gtest.h>

#include "platform/text/coding.h"

namespace platform::text {
namespace {

ByteString ascii(std::string_view s) {
    return ByteString(s.begin(), s.end());
}

TEST(Coding, Base64FollowsRfc4648BothWays) {
    const std::pair<const char*, const char16_t*> vectors[] = {
        {"", u""},
        {"f", u"Zg=="},
        {"fo", u"Zm8="},
        {"foo", u"Zm9v"},
        {"foob", u"Zm9vYg=="},
        {"fooba", u"Zm9vYmE="},
        {"foobar", u"Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(toBase64(ascii(plain)), encoded) << plain;
        EXPECT_EQ(fromBase64(encoded), ascii(plain)) << plain;
    }
    ByteString all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(fromBase64(toBase64(all)), all);
}

TEST(Coding, Base64DecoderSkipsBlanksAndRefusesTheRest) {
    EXPECT_EQ(fromBase64(u" Zm9v\r\nYmFy\t"), ascii("foobar"));
    for (std::u16string_view bad : {u"Zm9v!", u"Zg==Zg==", u"Z", u"Zm9vY", u"Zg===", u"Zm9v\u00e9"})
        EXPECT_EQ(fromBase64(bad), std::nullopt) << std::string(bad.begin(), bad.end());
    // A blank at every place of a long text, so that whole groups and single characters
    // alternate at each offset; and a bad character at every place.
    ByteString data(61);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 5);
    const std::u16string clean = toBase64(data);
    for (std::size_t at = 0; at <= clean.size(); ++at) {
        for (std::u16string_view blank : {u"\r\n", u" ", u"\t\t\t"}) {
            std::u16string spaced = clean;
            spaced.insert(at, blank);
            EXPECT_EQ(fromBase64(spaced), data) << at;
        }
        std::u16string bad = clean;
        bad.insert(at, u"*");
        EXPECT_EQ(fromBase64(bad), std::nullopt) << at;
    }
}

TEST(Coding, HexInBothCasesAndBothTextForms) {
    const ByteString bytes{0x00, 0x7f, 0x80, 0xab, 0xff};
    EXPECT_EQ(toHex(bytes), u"007f80abff");
    EXPECT_EQ(toHex(bytes, HexCase::Upper), u"007F80ABFF");
    EXPECT_EQ(toHexAscii(bytes), "007f80abff");
    EXPECT_EQ(fromHex(u"007F80abFF"), bytes);
    EXPECT_EQ(fromHex(std::string_view("007f80ABff")), bytes);
    EXPECT_EQ(fromHex(u""), ByteString{});
    for (std::u16string_view bad : {u"0", u"0g", u"12 4", u"\uff10\uff10"})
        EXPECT_EQ(fromHex(bad), std::nullopt);
}

TEST(Coding, WordsAsFixedWidthDigits) {
    struct Case {
        std::uint32_t value;
        int width;
        HexCase letters;
        const char* digits;
    };
    const Case cases[] = {
        {0, 1, HexCase::Upper, "0"},
        {0, 8, HexCase::Lower, "00000000"},
        {0x2A, 2, HexCase::Upper, "2A"},
        {0x2A, 4, HexCase::Upper, "002A"},
        {0x2A, 4, HexCase::Lower, "002a"},
        {0xABCD, 4, HexCase::Upper, "ABCD"},
        {0x1ABCD, 4, HexCase::Upper, "ABCD"},  // only the low digits
        {0x04120000, 8, HexCase::Upper, "04120000"},
        {0xDEADBEEF, 8, HexCase::Lower, "deadbeef"},
        {0xFFFFFFFF, 8, HexCase::Upper, "FFFFFFFF"},
        {0xFFFFFFFF, 10, HexCase::Upper, "00FFFFFFFF"},
        {0xFFFFFFFF, 0, HexCase::Upper, ""},
    };
    for (const auto& c : cases) {
        const std::string ascii = c.digits;
        EXPECT_EQ(hexWordAscii(c.value, c.width, c.letters), ascii) << c.digits;
        EXPECT_EQ(hexWord(c.value, c.width, c.letters), std::u16string(ascii.begin(), ascii.end()))
            << c.digits;
    }
}

TEST(Coding, WordsFromDigits) {
    const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
        {"0", 0u},
        {"00000000", 0u},
        {"7", 7u},
        {"002a", 0x2Au},
        {"002A", 0x2Au},
        {"dEaDbEeF", 0xDEADBEEFu},
        {"FFFFFFFF", 0xFFFFFFFFu},
        {"", std::nullopt},
        {"100000000", std::nullopt},  // nine digits do not fit
        {"12g4", std::nullopt},
        {"-1", std::nullopt},
        {" 1", std::nullopt},
        {"0x1", std::nullopt},
        {"\xb0", std::nullopt},  // a byte above 127
    };
    for (const auto& [digits, value] : cases) {
        const std::string_view ascii = digits;
        EXPECT_EQ(fromHexWord(ascii), value) << digits;
        EXPECT_EQ(fromHexWord(std::u16string(ascii.begin(), ascii.end())), value) << digits;
    }
    EXPECT_EQ(fromHexWord(u"\uff11"), std::nullopt);  // a full-width digit
    static_assert(fromHexWord(std::string_view("C000")) == 0xC000u);
}

TEST(Coding, DigitValues) {
    EXPECT_EQ(hexDigitValue(U'7'), 7);
    EXPECT_EQ(hexDigitValue(U'c'), 12);
    EXPECT_EQ(hexDigitValue(U'F'), 15);
    EXPECT_EQ(hexDigitValue(U'g'), -1);
    EXPECT_EQ(hexDigitValue(U'\xff10'), -1);  // a full-width digit is not a digit here
}

}  // namespace
}  // namespace platform::text
