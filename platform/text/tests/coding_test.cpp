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

TEST(Coding, DigitValues) {
    EXPECT_EQ(hexDigitValue(U'7'), 7);
    EXPECT_EQ(hexDigitValue(U'c'), 12);
    EXPECT_EQ(hexDigitValue(U'F'), 15);
    EXPECT_EQ(hexDigitValue(U'g'), -1);
    EXPECT_EQ(hexDigitValue(U'\xff10'), -1);  // a full-width digit is not a digit here
}

}  // namespace
}  // namespace platform::text
