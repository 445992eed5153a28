// The headed cipher-text format over a stand-in for the native cipher library (registered in
// this process): round trips, the session key's positions, the header, tampering and the
// error state.
#include <gtest/gtest.h>

#include "ciphers/convert.h"
#include "ciphers/crypt.h"
#include "ciphers/headed.h"
#include "ciphers/state.h"
#include "platform/com/runtime.h"
#include "platform/outside/hashcodec.h"
#include "platform/outside/outside.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

using namespace ciphra;
using namespace platform::com;
namespace text = platform::text;

namespace {

// Stand-in for the native library's Crypt: a reversible transform with its text conventions
// (lower-case hexadecimal out, the text's zero terminator enciphered, SEED trims white space,
// an unknown ARIA key length gives an empty text).
class FakeNative : public DispatchImpl<FakeNative> {
  public:
    static std::u16string seal(const std::u16string& pwd, const std::u16string& data, int salt) {
        std::vector<std::uint8_t> bytes = text::toAnsi(data), key = text::toAnsi(pwd);
        bytes.push_back(0);
        while (bytes.size() % 16) bytes.push_back(0);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] ^= (key.empty() ? 0 : key[i % key.size()]) ^ std::uint8_t(salt);
        return text::toHex(bytes);
    }
    static std::u16string open(const std::u16string& pwd, const std::u16string& hex, int salt) {
        std::vector<std::uint8_t> key = text::toAnsi(pwd), bytes;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes.push_back(std::uint8_t(std::stoi(text::toUtf8(hex.substr(i, 2)), nullptr, 16)));
        std::vector<std::uint8_t> plain;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            std::uint8_t b =
                bytes[i] ^ (key.empty() ? 0 : key[i % key.size()]) ^ std::uint8_t(salt);
            if (!b) break;
            plain.push_back(b);
        }
        return text::fromAnsi(plain);
    }
    static bool validLength(int kl) { return kl == 128 || kl == 192 || kl == 256; }

    static const Members<FakeNative>& members() {
        static const Members<FakeNative> m =
            Members<FakeNative>(u"ICrypt", Guid::of("{0BA0BD4C-FE47-478F-A747-7FF23AE613F4}"))
                .method(1, u"AriaEncrypt", VT_BSTR,
                        {{u"pwd", VT_BSTR}, {u"KeyLength", VT_I4}, {u"inData", VT_BSTR}},
                        [](FakeNative&, Call& c) {
                            c.result = validLength(c.i4(1)) ? seal(c.text(0), c.text(2), c.i4(1))
                                                            : std::u16string();
                        })
                .method(2, u"AriaDecrypt", VT_BSTR,
                        {{u"pwd", VT_BSTR}, {u"KeyLength", VT_I4}, {u"inData", VT_BSTR}},
                        [](FakeNative&, Call& c) {
                            c.result = validLength(c.i4(1)) ? open(c.text(0), c.text(2), c.i4(1))
                                                            : std::u16string();
                        })
                .method(3, u"SeedEncrypt", VT_BSTR, {{u"pwd", VT_BSTR}, {u"inData", VT_BSTR}},
                        [](FakeNative&, Call& c) { c.result = seal(c.text(0), c.text(1), 7); })
                .method(4, u"SeedDecrypt", VT_BSTR, {{u"pwd", VT_BSTR}, {u"inData", VT_BSTR}},
                        [](FakeNative&, Call& c) {
                            c.result = text::TrimWhite(open(c.text(0), c.text(1), 7));
                        });
        return m;
    }
};

class Headed : public ::testing::Test {
  protected:
    void SetUp() override {
        resetState();
        ASSERT_EQ(
            CoRegisterClassObject(CLSID_SealwynCrypt, std::make_shared<SimpleClassFactory>([] {
                                      return std::make_shared<FakeNative>();
                                  }),
                                  cookie),
            S_OK);
        crypt = std::make_unique<Crypt>();
        crypt->provider = u"Velmora/Aria";
    }
    void TearDown() override {
        CoRevokeClassObject(cookie);
        setCreationFailure(CLSID_SealwynCrypt, S_OK);
        resetState();
    }
    std::u16string encodeWith(int algorithm, int keyLength, std::u16string_view plain) {
        state().headed.native = createNativeCrypt();
        state().headed.algorithmSetting = algorithm;
        state().headed.keyLength = keyLength;
        return encodeSealwyn(plain);
    }
    static std::vector<std::u16string> header(std::u16string cipher) {
        extractSessionKey(cipher);
        std::u16string h = cipher.substr(0, cipher.find(u'|'));
        platform::outside::ensureRegistered();
        std::shared_ptr<Dispatch> codec;
        CoCreateInstance(platform::outside::CLSID_HashCodec, codec);
        return text::Split(
            text::fromAnsi(
                invoke(*codec, 5, DISPATCH_METHOD, {Variant(h), Variant(u"base64")}).toBytes()),
            u";");
    }
    static std::u16string withHeader(std::u16string cipher, const std::vector<std::u16string>& h) {
        std::u16string key = extractSessionKey(cipher);
        std::shared_ptr<Dispatch> codec;
        CoCreateInstance(platform::outside::CLSID_HashCodec, codec);
        std::u16string sealed =
            invoke(*codec, 4, DISPATCH_METHOD, {Variant(text::Join(h, u";")), Variant(u"base64")})
                .toText();
        return embedSessionKey(sealed + cipher.substr(cipher.find(u'|')), key);
    }

    platform::testing::TempMachine machine;
    std::uint32_t cookie = 0;
    std::unique_ptr<Crypt> crypt;
};

}  // namespace

TEST_F(Headed, AriaProviderRoundTripsAndTrimsBlanks) {
    for (const std::u16string& plain :
         {std::u16string(u"a"), std::u16string(u"parameter==값|other==똠방각하|"),
          std::u16string(300, u'x')}) {
        std::u16string cipher = crypt->encode(plain);
        ASSERT_FALSE(cipher.empty()) << text::toUtf8(headedError());
        EXPECT_EQ(crypt->decode(cipher), plain);
    }
    EXPECT_EQ(crypt->decode(crypt->encode(u"  padded text  ")), u"padded text");
    EXPECT_NE(crypt->encode(u"same"), crypt->encode(u"same"));
}

TEST_F(Headed, SeedAndAriaAtEachKeyLengthTakeTheLengthFromTheHeader) {
    const std::u16string plain = u"headed 본문 text";
    std::u16string seed = encodeWith(1, 0, plain);
    EXPECT_EQ(header(seed)[0], u"SEED");
    EXPECT_EQ(header(seed)[1], u"ECB");
    state().headed.algorithmSetting = 2;
    EXPECT_EQ(decodeSealwyn(seed, false), plain);
    EXPECT_EQ(state().headed.algorithmSetting, 1);
    for (int kl : {128, 192, 256}) {
        std::u16string cipher = encodeWith(2, kl, plain);
        ASSERT_FALSE(cipher.empty()) << kl;
        EXPECT_EQ(header(cipher)[1], text::fromUtf8(std::to_string(kl)));
        state().headed.keyLength = 999;
        EXPECT_EQ(decodeSealwyn(cipher, false), plain) << kl;
        EXPECT_EQ(state().headed.keyLength, kl);
    }
    // A key length the native library refuses is a failure, not a cipher text.
    EXPECT_EQ(encodeWith(2, 100, plain), u"");
    EXPECT_EQ(state().headed.errorFlag, -1);
}

TEST_F(Headed, SessionKeyAtEvenPositionsAndHeaderFields) {
    std::u16string cipher = crypt->encode(u"abc");
    std::u16string key;
    for (std::size_t i = 1; i < 64; i += 2) key += cipher[i];
    EXPECT_EQ(key.size(), 32u);
    EXPECT_EQ(key.find_first_not_of(u"0123456789abcdef"), std::u16string::npos);
    std::u16string rest = cipher;
    EXPECT_EQ(extractSessionKey(rest), key);
    EXPECT_NE(rest.find(u'|'), std::u16string::npos);

    std::vector<std::u16string> h = header(cipher);
    ASSERT_EQ(h.size(), 7u);
    EXPECT_EQ(h[0], u"ARIA");
    EXPECT_EQ(h[1], u"256");
    EXPECT_EQ(h[2], u"HEX");
    EXPECT_EQ(h[3], u"MD5");
    EXPECT_EQ(h[4], u"euc-kr");
    EXPECT_EQ(h[5], hashMD5(u"abc"));
    EXPECT_EQ(h[5], u"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(h[6].size(), 19u);
    EXPECT_EQ(h[6][4], u'-');
    EXPECT_EQ(h[6][13], u':');
}

TEST_F(Headed, TamperedBodyOrHeaderGivesEmptyResult) {
    std::u16string cipher = crypt->encode(u"the certificate parameters");
    std::u16string body = cipher;
    const std::size_t first = body.find(u'|') + 1;  // first character of the body
    body[first] = body[first] == u'0' ? u'1' : u'0';
    EXPECT_EQ(crypt->decode(body), u"");
    EXPECT_EQ(headedError(), kTampered);
    EXPECT_EQ(state().headed.errorFlag, -1);

    std::u16string head = cipher;
    head[70] = head[70] == u'A' ? u'B' : u'A';
    EXPECT_EQ(crypt->decode(head), u"");
    EXPECT_EQ(headedError().rfind(u"[ParseHeader]", 0), 0u) << text::toUtf8(headedError());

    std::u16string noBar = cipher.substr(0, 64) + text::Replace(cipher.substr(64), u"|", u"");
    EXPECT_EQ(crypt->decode(noBar), u"");
    EXPECT_FALSE(headedError().empty());
}

TEST_F(Headed, UpperCaseDigestInTheHeaderMatches) {
    std::u16string cipher = crypt->encode(u"digest case");
    std::vector<std::u16string> h = header(cipher);
    h[5] = text::UCase(h[5]);
    EXPECT_EQ(crypt->decode(withHeader(cipher, h)), u"digest case");
    h[5] = hashMD5(u"something else");
    EXPECT_EQ(crypt->decode(withHeader(cipher, h)), u"");
    EXPECT_EQ(headedError(), kTampered);
}

TEST_F(Headed, BlankTextLeavesTheErrorStateAlone) {
    state().headed.errorFlag = -1;
    state().headed.errorText = u"earlier";
    EXPECT_EQ(decodeSealwyn(u"    ", false), u"");
    EXPECT_EQ(state().headed.errorText, u"earlier");
    EXPECT_EQ(state().headed.errorFlag, -1);
}

TEST_F(Headed, MissingNativeLibraryGivesEmptyResult) {
    setCreationFailure(CLSID_SealwynCrypt, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(crypt->encode(u"abc"), u"");
    EXPECT_EQ(state().headed.errorFlag, -1);
}

TEST_F(Headed, RandomTextDrawsFromTheAlphabet) {
    std::u16string a = randomText(128), b = randomText(128);
    EXPECT_EQ(a.size(), 128u);
    EXPECT_NE(a, b);
    EXPECT_EQ(
        a.find_first_not_of(u"1234567890abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"),
        std::u16string::npos);
}
