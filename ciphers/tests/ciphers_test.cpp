// The cipher classes and the facade, driven in-process: the message cipher's golden vector,
// round trips of every provider, the facade's provider table and thread settings, the last
// message key, the error texts and the RSA number-list guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "ciphers/ciphers.h"
#include "ciphers/convert.h"
#include "ciphers/crypt.h"
#include "ciphers/dbcodec.h"
#include "ciphers/messagekey.h"
#include "ciphers/state.h"
#include "platform/com/runtime.h"
#include "platform/outside/aesbridge.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

using namespace ciphra;
namespace text = platform::text;

namespace {

const std::u16string kKey = u"1020011400124001220013350";
// Parameter text with Korean; "똠" exists only in CP949 (8C 63), not in strict EUC-KR.
const std::u16string kParam = u"name==홍길동|title==똠방각하|printonly==1|";

class Ciphers : public ::testing::Test {
  protected:
    void SetUp() override {
        resetState();
        setKeyGenerator(nullptr);
        crypt = std::make_unique<Crypt>();
    }
    void TearDown() override {
        setKeyGenerator(nullptr);
        platform::com::setCreationFailure(platform::outside::CLSID_AesBridge, platform::com::S_OK);
        resetState();
    }
    void fixKey(std::u16string key = kKey) {
        setKeyGenerator([key] { return key; });
    }
    platform::testing::TempMachine machine;
    std::unique_ptr<Crypt> crypt;
};

// Texts of 0..60 characters mixing ASCII and Korean.
std::u16string sample(int n) {
    const std::u16string pattern = u"abc가나다 XYZ|==123 한글텍스트 ~!@#$%^&*() ";
    std::u16string s;
    for (int i = 0; i < n; ++i) s += pattern[static_cast<std::size_t>(i) % pattern.size()];
    return s;
}

}  // namespace

TEST_F(Ciphers, DesGoldenVectorWithCp949Korean) {
    fixKey();
    const std::u16string expected =
        u"41r0h2A0b0E171L480J0R1T254L0m0G1t2U2C0t0d1a3e3d5b0W64nVoChBOKpiVUqYgpi9BZQ1egJqQj";
    EXPECT_EQ(desEncode(kParam), expected);
    EXPECT_EQ(desDecode(expected), kParam);
    EXPECT_EQ(state().lastMessageKey, kKey);

    // The key sits at the even positions 2..50; the rest is the Base64 of the RC4 bytes,
    // and the RC4 bytes are the CP949 bytes of the text.
    MessageParts parts = splitMessage(expected);
    EXPECT_EQ(parts.key, kKey);
    std::vector<std::uint8_t> plain =
        messageDecodeBody(parts, [](std::u16string_view b) { return b64DecodeBytes(b); });
    EXPECT_EQ(plain, text::toCodePage(kParam, 949));
    const std::uint8_t onlyInCp949[] = {0x8C, 0x63};
    EXPECT_NE(
        std::search(plain.begin(), plain.end(), std::begin(onlyInCp949), std::end(onlyInCp949)),
        plain.end());
}

TEST_F(Ciphers, DesShortTextsDecode) {
    fixKey();
    const std::u16string cipher = desEncode(u"abc");
    EXPECT_EQ(cipher, u"71b0t2O0011400124001220013350");
    EXPECT_EQ(desDecode(cipher), u"abc");
}

TEST_F(Ciphers, EveryProviderRoundTripsLengthsZeroToSixty) {
    auto [pub, priv] = rsaKeyGenerate();
    crypt->publicKey = pub;
    crypt->privateKey = priv;
    for (std::u16string provider : {u"Velmora/Des", u"Velmora/Blowfish", u"Velmora/Pki"}) {
        crypt->provider = provider;
        for (int n = 0; n <= 60; ++n) {
            std::u16string plain = sample(n);
            std::u16string cipher = crypt->encode(plain);
            if (n == 0) {
                EXPECT_EQ(cipher, u"");
                continue;
            }
            EXPECT_EQ(cipher.find(u"Error"), std::u16string::npos) << text::toUtf8(cipher);
            EXPECT_EQ(crypt->decode(cipher), plain) << text::toUtf8(provider) << " length " << n;
        }
    }
    // The classes on their own, empty texts included.
    EXPECT_EQ(blowfishDecode(blowfishEncode(u"")), u"");
    EXPECT_EQ(desEncode(u""), u"Encryption Error: Subscript out of range");
    EXPECT_EQ(rsaEncode(u"", pub), u"");
}

TEST_F(Ciphers, EncodingsDifferButBothDecode) {
    crypt->provider = u"Velmora/Des";
    std::u16string a = crypt->encode(kParam), b = crypt->encode(kParam);
    EXPECT_NE(a, b);
    EXPECT_EQ(crypt->decode(a), kParam);
    EXPECT_EQ(crypt->decode(b), kParam);
}

TEST_F(Ciphers, FacadeProviderTable) {
    const std::u16string notDefinedTail = u"이(가) 정의되어 있지 않습니다.";
    struct Case {
        std::u16string provider, result;  // result "<ok>": a round trip works
    } cases[] = {
        {u"", std::u16string(kNoProvider)},
        {u"VELMORA/DES", u"<ok>"},
        {u"velmora/BlowFish", u"<ok>"},
        {u"Velmora/Des/ignored/pieces", u"<ok>"},
        {u"Velmora/Xyz", u"암호화 알고리즘 Velmora/Xyz" + notDefinedTail},
        {u"Acme/Des", u"암호화 알고리즘 Acme/Des" + notDefinedTail},
        {u"Acme", u"암호화 알고리즘 Acme" + notDefinedTail},
        {u"/Des", u"암호화 알고리즘 /Des" + notDefinedTail},
        {u"Initech/INISAFENET", u""},
    };
    for (const auto& c : cases) {
        crypt->provider = c.provider;
        std::u16string out = crypt->encode(u"hello world");
        if (c.result == u"<ok>")
            EXPECT_EQ(crypt->decode(out), u"hello world") << text::toUtf8(c.provider);
        else {
            EXPECT_EQ(out, c.result) << text::toUtf8(c.provider);
            EXPECT_EQ(crypt->decode(u"abc"), c.result) << text::toUtf8(c.provider);
        }
    }
    // The empty text answers the empty text before the provider is looked at.
    crypt->provider = u"";
    EXPECT_EQ(crypt->encode(u""), u"");
    EXPECT_EQ(crypt->decode(u""), u"");
}

TEST_F(Ciphers, KnownVendorWithoutAlgorithmRaisesThroughDispatch) {
    using namespace platform::com;
    auto object = std::make_shared<Crypt>();
    Dispatch& d = *object;
    for (std::u16string provider : {u"Velmora", u"INITECH"}) {
        put(d, u"Provider", Variant(provider));
        try {
            call(d, u"encode", {Variant(u"text")});
            FAIL() << "no error for " << text::toUtf8(provider);
        } catch (const ComError& e) {
            EXPECT_EQ(e.description(), u"Subscript out of range");
        }
    }
    put(d, u"Provider", Variant(u"Velmora/Des"));
    EXPECT_EQ(get(d, u"Provider").toText(), u"Velmora/Des");
    Variant key = call(d, u"GenerateKey");
    EXPECT_TRUE(call(d, u"CheckKey", {key}).toBool());
    // Members answer at their slots.
    EXPECT_EQ(invoke(d, 0x60030017, DISPATCH_METHOD, {key}).toBool(), true);
}

TEST_F(Ciphers, CreatingACryptResetsTheThreadsCharsetAndDebugSwitch) {
    state().charset = u"utf-8";
    state().debug = u"7241";
    Crypt second;
    EXPECT_EQ(state().charset, u"euc-kr");
    EXPECT_EQ(state().debug, u"0");

    // Under "utf-8" Korean is enciphered as UTF-8 bytes; decoding reads them as CP949.
    crypt->provider = u"Velmora/Des";
    state().charset = u"utf-8";
    std::u16string cipher = crypt->encode(u"가나다 abc 한글");
    std::vector<std::uint8_t> plain = messageDecodeBody(
        splitMessage(cipher), [](std::u16string_view b) { return b64DecodeBytes(b); });
    EXPECT_EQ(plain, text::toCodePage(u"가나다 abc 한글", 65001));
    EXPECT_NE(crypt->decode(cipher), u"가나다 abc 한글");
}

TEST_F(Ciphers, CodePageChoiceAndConversions) {
    EXPECT_EQ(codePageOf(u"UTF-8"), 65001u);
    EXPECT_EQ(codePageOf(u"utf-8"), 65001u);
    EXPECT_EQ(codePageOf(u"utf8"), 949u);
    EXPECT_EQ(codePageOf(u"euc-kr"), 949u);
    EXPECT_EQ(codePageOf(u""), 949u);
    EXPECT_EQ(textToCodePage(u"가", u"utf-8"), (Bytes{0xEA, 0xB0, 0x80}));
    EXPECT_EQ(textToCodePage(u"가", u"euc-kr"), (Bytes{0xB0, 0xA1}));
    EXPECT_TRUE(codePageToUnicode({}, u"euc-kr").empty());
    EXPECT_EQ(unicodeToCodePage({0x41, 0x00, 0x42}, u"euc-kr"), (Bytes{0x41}));
}

TEST_F(Ciphers, LongTextsConvertLikeTheWholeAcrossPieceEnds) {
    // Pieces of 64Ki characters: a surrogate pair across the first end, a lone high surrogate
    // at the second (it stays lone after it), Korean and ASCII around them.
    std::u16string s;
    while (s.size() < 3 * 65536 + 5) s += (s.size() % 7 == 0) ? u"가" : u"a";
    s[65535] = 0xD83D;
    s[65536] = 0xDE00;
    s[2 * 65536 - 1] = 0xD800;
    s.back() = 0xDBFF;
    for (std::u16string_view charset : {u"euc-kr", u"utf-8"}) {
        EXPECT_EQ(textToCodePage(s, charset), text::toCodePage(s, codePageOf(charset)))
            << text::toUtf8(charset);
    }
}

TEST_F(Ciphers, LastMessageKeyFollowsDecoding) {
    fixKey();
    crypt->provider = u"Velmora/Des";
    std::u16string cipher = crypt->encode(u"the parameter text, long enough");
    crypt->decode(cipher);
    EXPECT_EQ(state().lastMessageKey, kKey);
    // A decode through the facade empties it first; a text too short to hold a key and a body
    // is refused and sets nothing.
    EXPECT_EQ(crypt->decode(u"9"), u"Decryption Error: Invalid Secure Key!!!");
    EXPECT_EQ(state().lastMessageKey, u"");
    EXPECT_EQ(crypt->decode(u"garbage text that holds no key at all, none"),
              u"Decryption Error: Invalid Secure Key!!!");
}

TEST_F(Ciphers, BlowfishAnswersUnderTheLastValidKeyOnly) {
    const std::u16string requestKey = u"1001310013100131006510057";
    ASSERT_TRUE(checkKey(requestKey));
    fixKey(requestKey);
    std::u16string request = blowfishEncode(u"request from the page");
    setKeyGenerator(nullptr);
    state().lastMessageKey.clear();
    EXPECT_EQ(blowfishDecode(request), u"request from the page");
    // The answer reuses the request's key.
    std::u16string answer = blowfishEncode(u"answer");
    std::u16string rest = answer;
    EXPECT_EQ(extractKey(rest), requestKey);

    // After a decode that found an invalid key, the next encode draws a fresh key and its
    // output decodes.
    EXPECT_EQ(blowfishDecode(u"x1y2z3-not-a-cipher-text-with-a-key-inside-it-at-all"),
              u"Decryption Error: Invalid Secure Key!!!");
    ASSERT_FALSE(checkKey(state().lastMessageKey));
    std::u16string fresh = blowfishEncode(u"still decodable");
    EXPECT_EQ(blowfishDecode(fresh), u"still decodable");
}

TEST_F(Ciphers, BlowfishCipherTextShape) {
    fixKey();
    // The whole format byte for byte: the CP949 bytes of the text, PKCS#5-padded, Blowfish ECB
    // under the 25 key digits, Base64, the key woven in. Recorded with an independent Blowfish
    // (Python cryptography).
    const std::u16string golden =
        u"+1s0D2F0j0L1o1s4p0T0o1q204L000K1K222u0f0T1A3R3W530"
        u"fCdHutFiwIKCKDhIQ7egMKIgXQyQNkNVnFUIbZL";
    EXPECT_EQ(blowfishEncode(kParam), golden);
    EXPECT_EQ(blowfishDecode(golden), kParam);
    state().lastMessageKey.clear();
    // An empty text enciphers to one block of padding: 12 Base64 characters plus the key.
    std::u16string empty = blowfishEncode(u"");
    EXPECT_EQ(empty.size(), 12u + 25u);
    // 8 bytes gain a whole block: 16 bytes, 24 Base64 characters.
    EXPECT_EQ(blowfishEncode(u"12345678").size(), 24u + 25u);
    // Less than a block after Base64 decoding gives the empty text.
    EXPECT_EQ(blowfishDecode(insertKey(u"QUJD", kKey)), u"");
}

TEST_F(Ciphers, DesErrorTexts) {
    fixKey();
    std::u16string cipher = desEncode(u"a text that is long enough to keep");
    // A changed key digit fails the check unless the group still divides.
    std::u16string changed = cipher;
    changed[1] = changed[1] == u'1' ? u'2' : u'1';
    EXPECT_EQ(desDecode(changed), u"Decryption Error: Invalid Secure Key!!!");
    // Leading blanks move the key positions.
    EXPECT_EQ(desDecode(u" " + cipher), u"Decryption Error: Invalid Secure Key!!!");
    // A body that is not Base64.
    EXPECT_EQ(desDecode(insertKey(u"****", kKey)), u"Decryption Error: Invalid Base64 text");
    // A missing Base64 component.
    platform::com::setCreationFailure(platform::outside::CLSID_AesBridge,
                                      platform::com::REGDB_E_CLASSNOTREG);
    std::u16string failed = desEncode(u"text");
    EXPECT_EQ(failed.rfind(u"Encryption Error: ", 0), 0u) << text::toUtf8(failed);
    EXPECT_GT(failed.size(), 18u);
}

TEST_F(Ciphers, RsaKeyTextsAndGuards) {
    auto [pub, priv] = rsaKeyGenerate();
    std::vector<std::u16string> p = text::Split(b64DecodeText(pub), u"-");
    std::vector<std::u16string> q = text::Split(b64DecodeText(priv), u"-");
    ASSERT_EQ(p.size(), 3u);
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(p[2], q[2]);
    EXPECT_NE(p[0], q[0]);
    EXPECT_EQ(p[1].size(), 50u);
    EXPECT_LT(std::stod(text::toUtf8(p[2])), 94906267.0);

    std::u16string a = rsaEncode(u"same text", pub), b = rsaEncode(u"same text", pub);
    EXPECT_NE(a, b);
    EXPECT_EQ(rsaDecode(a, priv), u"same text");

    // Number lists without the final "+" or longer than 32,767 characters are refused.
    EXPECT_EQ(rsaDecode(b64EncodeText(u"12+34"), priv), u"");
    std::u16string longList;
    while (longList.size() <= 32767) longList += u"1+";
    EXPECT_EQ(rsaDecode(b64EncodeText(longList), priv), u"");
    EXPECT_EQ(rsaDecode(u"not base64 at all!", priv), u"");
    // A key that cannot be read still gives a cipher text (every number is 1).
    std::u16string list = b64DecodeText(rsaEncode(u"x", u"broken"));
    EXPECT_EQ(list.find_first_not_of(u"1+"), std::u16string::npos);
}

TEST_F(Ciphers, RsaFrozenVector) {
    // A fixed pair (p = 3181, q = 9973, e = 10000019) and a fixed message key.
    const double phi = 3180.0 * 9972.0;
    const double d = 20635979;  // modInverse(10000019, phi)
    ASSERT_EQ(std::fmod(10000019.0 * d, phi), 1.0);
    const std::u16string filler = kKey + kKey;
    std::u16string pub = b64EncodeText(u"10000019-" + filler + u"-31724113");
    std::u16string priv = b64EncodeText(u"20635979-" + filler + u"-31724113");
    fixKey();
    std::u16string cipher = rsaEncode(u"A", pub);
    std::u16string list = b64DecodeText(cipher);
    // "A" is "QQA=" in Base64; the first number is 81^e mod n.
    EXPECT_EQ(list.substr(0, list.find(u'+')), std::u16string(u"26137079"));
    EXPECT_EQ(rsaDecode(cipher, priv), u"A");
}

TEST_F(Ciphers, DebugDumpOnlyUnderTheDebugCode) {
    const auto file = debugFolder() / "BYTES_TO_STRING.txt";
    crypt->provider = u"Velmora/Des";
    std::u16string cipher = crypt->encode(u"debug me please, a longer text");
    crypt->decode(cipher);
    EXPECT_FALSE(std::filesystem::exists(file));
    std::vector<std::u16string> lines;
    setTraceListener([&](std::u16string_view l, int) { lines.emplace_back(l); });
    state().debug = u"7241";
    EXPECT_EQ(crypt->decode(cipher), u"debug me please, a longer text");
    setTraceListener(nullptr);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), 30u);
    EXPECT_NE(std::find(lines.begin(), lines.end(), u">>>BYTES_TO_STRING"), lines.end());
}

TEST_F(Ciphers, VersionAndPlaceholder) {
    std::u16string v = versionText();
    EXPECT_EQ(std::count(v.begin(), v.end(), u'.'), 2);
    EXPECT_NE(v.find(u' '), std::u16string::npos);
    auto ini = std::make_shared<IniCrypt>();
    using namespace platform::com;
    EXPECT_EQ(call(*ini, u"encode", {Variant(u"x")}).toText(), u"");
    EXPECT_EQ(call(*ini, u"decode", {Variant(u"")}).toText(), u"");
    EXPECT_TRUE(call(*ini, u"CheckKey", {Variant(kKey)}).toBool());
    EXPECT_NE(ini->QueryInterface(IID_ObjectControl), nullptr);
}
