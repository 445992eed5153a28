// Hexadecimal and URL coding, byte for byte.
#include <gtest/gtest.h>

#include "ciphers-native/codings.h"
#include "test_util.h"

using namespace sealwyn;
using namespace sealwyn::test;

TEST(Hex, EncodeIsLowercasePairs) {
    const std::uint8_t raw[] = {0x00, 0x0f, 0xa0, 0xff, 0x7e};
    EXPECT_EQ(str(hexEncode(raw)), "000fa0ff7e");
}

TEST(Hex, DecodeTable) {
    const std::pair<const char*, std::vector<std::uint8_t>> cases[] = {
        {"", {}},
        {"A", {0xA0}},
        {"4G", {0x40}},
        {"zz", {0x00}},
        {"aBcD", {0xAB, 0xCD}},
        {"ABC", {0xAB, 0xC0}},
        {"0x10", {0x00, 0x10}},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(hexDecode(bytes(text)), expected) << text;
}

TEST(Hex, EncodeToHexAddsTheTerminatingZero) {
    EXPECT_EQ(str(encodeToHex(bytes("abc"))), "61626300");
    EXPECT_EQ(str(encodeToHex(bytes(""))), "00");
}

TEST(Hex, DecodeFromHexDropsTheLastPair) {
    const std::pair<const char*, std::string> cases[] = {
        {"61626300", "abc"},
        {"6162", "a"},
        {"4142", "A"},
        {"41424", "A"},
        {"41004200", std::string("A\0B", 3)},
        {"4", ""},
        {"", ""},
        {"41", ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(str(decodeFromHex(bytes(text))), expected) << text;
    // Round trip of any text.
    EXPECT_EQ(str(decodeFromHex(encodeToHex(bytes("\xB0\xA1 x")))), "\xB0\xA1 x");
}

TEST(Url, EncodingTable) {
    CURLEncode url;
    const std::pair<std::string, const char*> cases[] = {
        {"a b", "a%20b"},
        {"a+b=c d", "a%2Bb%3Dc%20d"},
        {"~", "%7E"},
        {"\n", "%0A"},
        {"{|}\x7f", "%7B%7C%7D%7F"},
        {"\"<>%\\^[]`+$,@:;/!#?=&",
         "%22%3C%3E%25%5C%5E%5B%5D%60%2B%24%2C%40%3A%3B%2F%21%23%3F%3D%26"},
        // "가나" in CP949: every byte of a double-byte character is encoded.
        {"\xB0\xA1\xB3\xAA", "%B0%A1%B3%AA"},
        {"\xEA", "%EA"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(str(url.encode(bytes(text))), expected) << text;
}

TEST(Url, SafeSetIsExactlyLettersDigitsAndSevenMarks) {
    std::string safe;
    for (int b = 0; b < 256; ++b)
        if (!CURLEncode::isUnsafe(static_cast<std::uint8_t>(b))) safe += static_cast<char>(b);
    EXPECT_EQ(safe, "'()*-.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
    CURLEncode url;
    EXPECT_EQ(str(url.encode(bytes(safe))), safe);
}
