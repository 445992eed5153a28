// The window's message cipher routines: published RC4 vectors, the key weave, and message keys
// drawn from the cryptographic source.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "ciphers/messagekey.h"
#include "platform/text/text.h"
#include "server/formcipher.h"

using namespace tessel;
using namespace tessel::server;
namespace text = platform::text;

TEST(FormCipher, Rc4PublishedVectors) {
    struct Case {
        const char16_t* key;
        const char* plain;
        const char* cipherHex;
    } cases[] = {
        {u"Key", "Plaintext", "bbf316e8d940af0ad3"},
        {u"Wiki", "pedia", "1021bf0420"},
        {u"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
    };
    for (const Case& c : cases) {
        Bytes data(c.plain, c.plain + std::strlen(c.plain));
        RC4(data, c.key);
        EXPECT_EQ(text::toHexAscii(data), c.cipherHex) << c.plain;
        DesEncode(data, c.key);
        EXPECT_EQ(std::string(data.begin(), data.end()), c.plain);
    }
}

TEST(FormCipher, KeyCharacterBeyondOneAnsiByteIsAnOverflow) {
    Bytes data{1, 2, 3};
    try {
        RC4(data, u"키");
        FAIL() << "no overflow";
    } catch (const text::Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_EQ(EncodeDes(u"text", u"키"), u"");
    EXPECT_EQ(EncodeDes(u"text", u""), u"");
}

TEST(FormCipher, EmbedStringGivesEveryTargetCharacterItsPartner) {
    const std::u16string target = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ123";  // 29 characters
    const std::u16string key = u"abcdefghijklmnopqrstuvwxy";         // 25 characters
    std::u16string woven = EmbedString(target, key);
    ASSERT_EQ(woven.size(), 54u);
    for (std::size_t i = 0; i < 25; ++i) {
        EXPECT_EQ(woven[2 * i], target[i]);
        EXPECT_EQ(woven[2 * i + 1], key[i]);
    }
    EXPECT_EQ(woven.substr(50), u"Z123");
    EXPECT_EQ(EmbedString(target, u"0123456789"), u"A0B1C2D3E4F5G6H7I8J9KLMNOPQRSTUVWXYZ123");
}

TEST(FormCipher, EncodeDesIsTheRc4BytesInBase64WithTheKeyWovenIn) {
    const std::u16string key = CreateKey();
    const std::u16string plain = u"주민등록표 등본|WinTitle==발급";
    std::u16string cipher = EncodeDes(plain, key);
    ASSERT_GT(cipher.size(), 50u);
    std::u16string body = cipher;
    EXPECT_EQ(ciphra::extractKey(body), key);
    auto bytes = text::fromBase64(body);
    ASSERT_TRUE(bytes);
    RC4(*bytes, key);
    EXPECT_EQ(BYTES_TO_STRING(*bytes), plain);
}

TEST(FormCipher, AnsiBytesRoundTrip) {
    for (const char16_t* s : {u"", u"plain ASCII", u"한글 텍스트 ㄱㄴㄷ", u"漢字 mixed 123"}) {
        Bytes b = STRING_TO_BYTES(s);
        EXPECT_EQ(BYTES_TO_STRING(b), s);
    }
    EXPECT_EQ(STRING_TO_BYTES(u"가"), (Bytes{0xB0, 0xA1}));
}

TEST(FormCipher, KeysHaveTheMessageKeyFormAndNeverRepeat) {
    const int primes[5] = {17, 19, 31, 61, 89};
    std::set<std::u16string> seen;
    for (int n = 0; n < 200; ++n) {
        std::u16string key = CreateKey();
        ASSERT_EQ(key.size(), 25u);
        for (int g = 0; g < 5; ++g) {
            std::u16string group = key.substr(5 * g, 5);
            ASSERT_EQ(group[0], u'1') << text::toUtf8(key);
            int value = std::stoi(text::toUtf8(group));
            EXPECT_EQ(value % primes[g], 0) << text::toUtf8(key);
        }
        EXPECT_TRUE(ciphra::checkKey(key));
        seen.insert(key);
    }
    // Keys made one after another, within the same clock tick, still differ.
    EXPECT_EQ(seen.size(), 200u);
}
