// The facade's utilities, the Libs and Layout classes, the key-pair members, the signature
// envelope and the checked message, driven in-process.
#include <gtest/gtest.h>

#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <filesystem>
#include <fstream>

#include "ciphers/ciphers.h"
#include "ciphers/convert.h"
#include "ciphers/crypt.h"
#include "ciphers/libs.h"
#include "ciphers/messagekey.h"
#include "ciphers/periphery.h"
#include "ciphers/signing.h"
#include "ciphers/state.h"
#include "platform/outside/aesbridge.h"
#include "platform/testing/calendar.h"
#include "platform/testing/http_server.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

using namespace ciphra;
namespace text = platform::text;
namespace fs = std::filesystem;

namespace {

class Periphery : public ::testing::Test {
  protected:
    void SetUp() override {
        resetState();
        setKeyGenerator(nullptr);
        crypt = std::make_unique<Crypt>();
        folder = machine.path() / "files";
        fs::create_directories(folder);
    }
    void TearDown() override {
        setKeyGenerator(nullptr);
        resetState();
    }
    // Writes a file in the test folder and answers its path as a text.
    std::u16string write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return file(name);
    }
    std::u16string file(const std::string& name) const {
        return text::fromUtf8((folder / name).string());
    }
    std::u16string dir() const { return text::fromUtf8(folder.string()); }

    platform::testing::TempMachine machine;
    fs::path folder;
    std::unique_ptr<Crypt> crypt;
};

using platform::testing::at;

std::u16string fmt(const std::tm& t) {
    return text::formatDateTime(t, u"yyyy-MM-dd HH:mm:ss");
}

// A PKCS #12 file with a fresh key and a self-signed certificate.
void makePkcs12(const fs::path& path, const char* password) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("signer"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());
    PKCS12* p12 = PKCS12_create(password, "signer", key, cert, nullptr, 0, 0, 0, 0, 0);
    FILE* f = std::fopen(path.c_str(), "wb");
    i2d_PKCS12_fp(f, p12);
    std::fclose(f);
    PKCS12_free(p12);
    X509_free(cert);
    EVP_PKEY_free(key);
}

}  // namespace

// ---- text members ----

TEST_F(Periphery, ReplaceAllIgnoresCase) {
    EXPECT_EQ(replaceAll(u"Abc abc ABC", u"ABC", u"x"), u"x x x");
    EXPECT_EQ(replaceAll(u"가나가", u"가", u""), u"나");
    EXPECT_EQ(replaceAll(u"abc", u"", u"x"), u"abc");
}

TEST_F(Periphery, Base64AndZipRoundTripAndFailuresRaise) {
    EXPECT_EQ(b64Encode(u"abc"), u"YQBiAGMA");
    for (std::u16string s : {u"a", u"홍길동 & 똠방각하", u"|"}) {
        EXPECT_EQ(b64Decode(b64Encode(s)), s);
        EXPECT_EQ(b64DecodeZip(b64EncodeZip(s)), s);
    }
    EXPECT_ANY_THROW(b64Decode(u"*not base64*"));
    EXPECT_ANY_THROW(b64DecodeZip(u"YQBiAGMA"));  // Base64, but no compressed stream
}

TEST_F(Periphery, QueryStore) {
    QueryStore q;
    EXPECT_EQ(q.get(u"a"), u"");
    q.set(
        u" a = 1 & b=2\x07"
        u"c=3");
    EXPECT_EQ(q.get(u"A"), u"1");
    EXPECT_EQ(q.get(u"b"), u"2");
    EXPECT_EQ(q.get(u"c"), u"");
    q.set(u"x=1=2&x=3");
    EXPECT_EQ(q.get(u"x"), u"1");
    EXPECT_EQ(q.get(u"a"), u"");  // the earlier query is gone
    q.set(u"url=a%20b");
    EXPECT_EQ(q.get(u"url"), u"a%20b");  // not decoded
    // A pair without "=" raises after the pairs before it are stored; so does an empty query.
    EXPECT_ANY_THROW(q.set(u"p=1&broken&r=3"));
    EXPECT_EQ(q.get(u"p"), u"1");
    EXPECT_EQ(q.get(u"r"), u"");
    EXPECT_ANY_THROW(q.set(u""));
    EXPECT_ANY_THROW(
        q.set(u"\x07"
              u"a=1"));
    EXPECT_EQ(q.get(u"p"), u"");
}

TEST_F(Periphery, AspFormatDatesAndNumbers) {
    namespace com = platform::com;
    const struct {
        com::Variant data;
        std::u16string pattern, expected;
    } cases[] = {
        {com::Variant(u"2017-02-16 10:10:16"), u"yyyymmdd", u"20170216"},
        {com::Variant(u"2017-02-16 10:10:16"), u"hh:mm:ss", u"10:10:16"},
        {com::Variant(u"2017/2/6"), u"yyyy-MM-dd", u"2017-02-06"},
        {com::Variant(com::Date{42782.5}), u"yyyy-MM-dd HH:nn", u"2017-02-16 12:00"},
        {com::Variant(u"1234567.891"), u"#,##0.00", u"1,234,567.89"},
        {com::Variant(u"5"), u"000", u"005"},
        {com::Variant(u"2.5"), u"0", u"3"},
        {com::Variant(u"-0.25"), u"0.0#", u"-0.25"},
        {com::Variant(u"0.5"), u"0%", u"50%"},
        {com::Variant(u"1.5"), u"#.##", u"1.5"},
        {com::Variant(u"text"), u"0.00", u"text"},
        {com::Variant(std::int32_t(42)), u"", u"42"},
        // Past what a 64-bit whole number holds once moved by the decimals.
        {com::Variant(u"200000000000000000"), u"0.00", u"200000000000000000.00"},
        {com::Variant(u"-200000000000000000"), u"#,##0", u"-200,000,000,000,000,000"},
        {com::Variant(u"1.5"), u"0." + std::u16string(20, u'0'), u"1.5" + std::u16string(19, u'0')},
        {com::Variant(u"0.125"), u"0." + std::u16string(400, u'0'),
         u"0.125" + std::u16string(397, u'0')},
        {com::Variant(u"1E+300"), u"0", u"1" + std::u16string(300, u'0')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(aspFormat(c.data, c.pattern), c.expected) << text::toUtf8(c.pattern);
}

TEST_F(Periphery, DateTime2AndDateAddClampToMonthEnd) {
    EXPECT_EQ(dateTime2(at(2017, 2, 16, 10, 10, 16)), u"2017-02-16 10:10:16");
    EXPECT_EQ(dateTime2(at(2017, 2, 16, 22, 5, 0)), u"2017-02-16 22:05:00");
    const struct {
        std::u16string interval;
        int n;
        std::tm from;
        std::u16string expected;
    } cases[] = {
        {u"m", 1, at(2024, 1, 31), u"2024-02-29 00:00:00"},
        {u"m", 1, at(2023, 1, 31), u"2023-02-28 00:00:00"},
        {u"M", -1, at(2024, 3, 31), u"2024-02-29 00:00:00"},
        {u"q", 1, at(2024, 11, 30), u"2025-02-28 00:00:00"},
        {u"yyyy", 1, at(2024, 2, 29), u"2025-02-28 00:00:00"},
        {u"m", -13, at(2024, 1, 15), u"2022-12-15 00:00:00"},
        {u"d", 1, at(2024, 12, 31, 23), u"2025-01-01 23:00:00"},
        {u"ww", 2, at(2024, 2, 20), u"2024-03-05 00:00:00"},
        {u"h", 25, at(2024, 2, 28, 1), u"2024-02-29 02:00:00"},
        {u"n", -1, at(2024, 1, 1), u"2023-12-31 23:59:00"},
        {u"s", 61, at(2024, 1, 1), u"2024-01-01 00:01:01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fmt(dateAdd(c.interval, c.n, c.from)), c.expected)
            << text::toUtf8(c.interval) << " " << c.n;
    EXPECT_ANY_THROW(dateAdd(u"x", 1, at(2024, 1, 1)));
    // The years 100 to 9999, to the second; beyond them the invalid-argument error, also where
    // the move overflows a year count.
    EXPECT_EQ(fmt(dateAdd(u"yyyy", 7975, at(2024, 12, 31))), u"9999-12-31 00:00:00");
    EXPECT_EQ(fmt(dateAdd(u"s", 86399, at(9999, 12, 31))), u"9999-12-31 23:59:59");
    EXPECT_EQ(fmt(dateAdd(u"yyyy", -1924, at(2024, 1, 1))), u"0100-01-01 00:00:00");
    EXPECT_EQ(fmt(dateAdd(u"s", 2147483647, at(2024, 1, 1))), u"2092-01-19 03:14:07");
    const struct {
        const char16_t* interval;
        std::int32_t n;
        std::tm from;
    } beyond[] = {
        {u"yyyy", 2147483647, at(2024, 1, 1)},
        {u"yyyy", -2147483647 - 1, at(2024, 1, 1)},
        {u"q", 2147483647, at(2024, 1, 1)},
        {u"m", -2147483647 - 1, at(2024, 1, 1)},
        {u"d", 2147483647, at(2024, 1, 1)},
        {u"ww", -2147483647 - 1, at(2024, 1, 1)},
        {u"yyyy", 7976, at(2024, 1, 1)},
        {u"s", 1, at(9999, 12, 31, 23, 59, 59)},
        {u"n", -1, at(100, 1, 1)},
    };
    for (const auto& c : beyond) {
        try {
            dateAdd(c.interval, c.n, c.from);
            ADD_FAILURE() << text::toUtf8(c.interval) << " " << c.n << " gave a date";
        } catch (const text::Error& e) {
            EXPECT_EQ(e.number(), 5);
            EXPECT_EQ(text::toUtf8(e.description()), "Invalid procedure call or argument");
        }
    }
    // Today's date moved by no days is today.
    EXPECT_EQ(dateAdd2(u"d", 0, u"yyyy").size(), 4u);
}

TEST_F(Periphery, GetXmlSendsTheTwoHeadersAndReturnsAnyBody) {
    platform::testing::HttpServer server;
    server.setReply(std::string("<a>\xB0\xA1</a>"), "500 Internal Server Error");
    EXPECT_EQ(getXml(text::fromUtf8(server.url("/x?y=1"))), u"<a>가</a>");
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /x?y=1 HTTP/1.1");
    const auto& h = requests[0].headerLines;
    EXPECT_NE(std::find(h.begin(), h.end(), "Content-type: application/x-www-form-urlencoded"),
              h.end());
    EXPECT_NE(std::find(h.begin(), h.end(), "pragma: no-cache"), h.end());

    // getEncodedXml enciphers the body under the object's provider.
    server.setReply("body text");
    crypt->provider = u"Velmora/Des";
    EXPECT_EQ(crypt->decode(crypt->encode(getXml(text::fromUtf8(server.url())))), u"body text");
    // No reply: the failure's description.
    EXPECT_FALSE(getXml(u"notaurl").empty());
    EXPECT_FALSE(getXml(u"http://127.0.0.1:1/").empty());
}

// A reply above the client's limit, or one that never ends, gives the failure's text.
TEST_F(Periphery, GetXmlRepliesTooLargeOrTooSlowGiveTheFailure) {
    platform::testing::LoweredHttpLimits lowered({100, std::chrono::milliseconds(200)});
    platform::testing::HttpServer server;
    server.setReply(std::string(101, 'r'));
    const std::string tooLarge = text::toUtf8(getXml(text::fromUtf8(server.url())));
    EXPECT_NE(tooLarge.find("larger than 100 bytes"), std::string::npos) << tooLarge;
    server.setRawReply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nfirst");
    server.setTrickle(20);
    const std::string slow = text::toUtf8(getXml(text::fromUtf8(server.url())));
    EXPECT_NE(slow.find("timed out"), std::string::npos) << slow;
}

// ---- Libs ----

TEST_F(Periphery, LibsFileMembers) {
    const std::u16string two = write("two.bin", "ab");     // "YWI=" : one "="
    const std::u16string one = write("one.bin", "a");      // "YQ==" : "==" becomes "#"
    const std::u16string hidden = write(".hidden", "hi");  // a hidden file
    const std::u16string empty = write("empty.bin", "");
    const std::u16string missing = file("missing.bin");
    const std::u16string notFound = u"파일 " + missing + u"을(를) 찾을 수 없습니다.";

    EXPECT_EQ(libsB64EncodeFile(two, u"param"), u"YWI=");
    EXPECT_EQ(libsB64EncodeFile(one, u"param"), u"YQ#");
    EXPECT_EQ(libsB64EncodeFile(one, u"Param"), u"YQ==");
    EXPECT_EQ(libsCertWatermark(one), u"YQ#");
    EXPECT_EQ(libsCertImage(u"img", one), u"img&YQ#");
    EXPECT_EQ(libsB64EncodeFile(missing, u""), u"&" + notFound);
    EXPECT_EQ(libsCertImage(u"img", missing), u"&" + notFound);
    // Hidden files: readFile finds them, the others do not.
    EXPECT_EQ(libsReadFile(hidden, u""), u"hi");
    EXPECT_EQ(libsCertWatermark(hidden), u"&파일 " + hidden + u"을(를) 찾을 수 없습니다.");
    // A file of no bytes fails rather than answering an empty text.
    EXPECT_EQ(libsReadFile(empty, u""), u"&오류 발생: Subscript out of range");
    EXPECT_EQ(libsCertWatermark(empty), u"&오류 발생: Subscript out of range");

    // readFile: UTF-8 (a byte-order mark stays) or the ANSI code page, "utf-8" exactly.
    const std::u16string utf8 = write("u.txt", "\xEF\xBB\xBF\xEA\xB0\x80");
    const std::u16string ansi = write("a.txt", "\xB0\xA1");
    EXPECT_EQ(libsReadFile(utf8, u"utf-8"), u"\uFEFF가");
    EXPECT_EQ(libsReadFile(ansi, u"euc-kr"), u"가");
    EXPECT_EQ(libsReadFile(ansi, u"UTF-8"), u"가");
    EXPECT_EQ(libsReadFile(missing, u"utf-8"), u"&" + notFound);

    // A path written the platform's way.
    EXPECT_EQ(libsB64EncodeFile(text::Replace(one, u"/", u"\\"), u""), u"YQ==");
}

TEST_F(Periphery, LibsWatermarkMessagesAndProviders) {
    const std::u16string f = write("w.bin", "watermark bytes");
    const std::u16string missing = file("nope");
    EXPECT_EQ(libsWatermark(f, u""), u"Provider가 정의되어 있지않습니다.");
    EXPECT_EQ(libsWatermark(missing, u"Velmora/Des"),
              u"파일 " + missing + u"을(를) 찾을 수 없습니다.");
    EXPECT_EQ(libsWatermark(f, u"Velmora/Rot"),
              u"암호화 알고리즘 Velmora/Rot이(가) 정의되어 있지 않습니다.");
    EXPECT_EQ(libsWatermark(f, u"acme"), u"암호화 알고리즘 acme이(가) 정의되어 있지 않습니다.");
    EXPECT_EQ(libsWatermark(f, u"velmora"), u"오류 발생: Subscript out of range");
    EXPECT_EQ(libsWatermark(f, u"INITECH/INISAFENET"), u"");
    const std::u16string plain = b64EncodeBytes(
        Bytes{'w', 'a', 't', 'e', 'r', 'm', 'a', 'r', 'k', ' ', 'b', 'y', 't', 'e', 's'});
    for (std::u16string provider : {u"Velmora/Des", u"velmora/BLOWFISH"}) {
        std::u16string cipher = libsWatermark(f, provider);
        crypt->provider = provider;
        EXPECT_EQ(crypt->decode(cipher), plain);
        // The facade hands its own provider text to Libs.
        EXPECT_EQ(crypt->decode(crypt->getWatermark(f)), plain);
    }
    crypt->provider = u"acme";
    EXPECT_EQ(crypt->getWatermark(f), u"암호화 알고리즘 acme이(가) 정의되어 있지 않습니다.");
    // Without a provider text the facade answers with its own message, which has its blank.
    Crypt fresh;
    EXPECT_EQ(fresh.getWatermark(f), u"Provider가 정의되어 있지 않습니다.");
}

TEST_F(Periphery, LibsClockTexts) {
    state().charset = u"euc-kr";
    const std::u16string stamp = text::fromAnsi(b64DecodeBytes(libsDateTime()));
    ASSERT_EQ(stamp.size(), 19u);
    EXPECT_EQ(stamp[4], u'-');
    EXPECT_EQ(stamp[10], u' ');
    EXPECT_EQ(stamp[16], u':');
    const std::u16string seconds = b64DecodeText(libsLocalTime());
    EXPECT_TRUE(text::IsNumeric(seconds));
    EXPECT_GT(text::CDbl(seconds), 1.7e9);
}

// ---- Layout ----

TEST_F(Periphery, LayoutBundlesTheListedFiles) {
    write("a.rpx", "A&content");
    write("b.rpx", "\xB0\xA1");
    write(".h.rpx", "hidden");
    Layout layout;
    layout.setProvider(u"  Velmora/Des  ");
    layout.setPath(dir());
    const std::u16string cipher = layout.getLayout(u"a.rpx,b.rpx");
    crypt->provider = u"Velmora/Des";
    EXPECT_EQ(crypt->decode(cipher),
              u"a.rpx\x07"
              u"A&content&b.rpx\x07"
              u"가");
    EXPECT_EQ(crypt->decode(layout.getLayout(u"b.rpx")),
              u"b.rpx\x07"
              u"가");
    // An empty folder is stored as "\", the root: a listed name is then read from there.
    Layout rooted;
    rooted.setProvider(u"Velmora/Des");
    rooted.setPath(u"");
    ASSERT_EQ(dir().front(), u'/');
    const std::u16string fromRoot = dir().substr(1) + u"/a.rpx";
    EXPECT_EQ(crypt->decode(rooted.getLayout(fromRoot)), fromRoot + u'\x07' + u"A&content");
    // A missing (or hidden) file anywhere: the message with an empty description.
    EXPECT_EQ(layout.getLayout(u"a.rpx,none.rpx"), u"오류 발생: ");
    EXPECT_EQ(layout.getLayout(u".h.rpx"), u"오류 발생: ");
    // Names are not trimmed.
    EXPECT_EQ(layout.getLayout(u"a.rpx, b.rpx"), u"오류 발생: ");
    // An empty list: an empty bundle, which Des refuses.
    EXPECT_EQ(layout.getLayout(u"").rfind(u"Encryption Error: ", 0), 0u);

    layout.setProvider(u" VELMORA/Pki ");
    EXPECT_EQ(layout.getLayout(u"a.rpx"),
              u"암호화 알고리즘 VELMORA/Pki이(가) 정의되어 있지 않습니다.");
    layout.setProvider(u"initech/inisafenet");
    EXPECT_EQ(layout.getLayout(u"a.rpx"), u"");
    layout.setProvider(u"");
    EXPECT_EQ(layout.getLayout(u"a.rpx"), u"Provider가 정의되어 있지않습니다.");

    // The facade's forwarder and its two messages.
    Crypt c;
    EXPECT_EQ(c.getLayout(u"a.rpx"), u"Provider가 정의되어 있지않습니다.");
    c.provider = u"Velmora/Blowfish";
    EXPECT_EQ(c.getLayout(u"a.rpx"), u"레이아웃 폴더가 정의되어 있지않습니다.");
    c.path = dir() + u"/";
    state().lastMessageKey.clear();
    EXPECT_EQ(blowfishDecode(c.getLayout(u"a.rpx")),
              u"a.rpx\x07"
              u"A&content");
}

// ---- key pairs ----

TEST_F(Periphery, KeyPairRoundTripsThroughAKeyFile) {
    EXPECT_EQ(crypt->keyFileText(), u"fAA=");  // Base64 of "|" as UTF-16LE
    crypt->generateKeyPair();
    ASSERT_FALSE(crypt->publicKey.empty());
    ASSERT_FALSE(crypt->privateKey.empty());
    const std::u16string keyFile = crypt->keyFileText();
    write("pair.key", text::toUtf8(keyFile));

    Crypt other;
    EXPECT_EQ(other.loadKey(file("pair.key")), crypt->privateKey + u"|" + crypt->publicKey);
    EXPECT_EQ(other.publicKey, crypt->publicKey);
    EXPECT_EQ(other.privateKey, crypt->privateKey);
    other.provider = u"Velmora/pki";
    crypt->provider = u"Velmora/PKI";
    EXPECT_EQ(other.decode(crypt->encode(u"pki text 가나")), u"pki text 가나");
}

TEST_F(Periphery, FailedLoadKeyLeavesBothKeysAlone) {
    crypt->publicKey = u"pub";
    crypt->privateKey = u"priv";
    const struct {
        std::string name;
        std::optional<std::string> content;  // none: no file
        std::u16string expected;
    } cases[] = {
        {"missing.key", std::nullopt, u"Path/File access error"},
        {"empty.key", "", u"Subscript out of range"},
        {"nobar.key", text::toUtf8(b64EncodeText(u"only one piece")), u"Subscript out of range"},
    };
    for (const auto& c : cases) {
        if (c.content) write(c.name, *c.content);
        EXPECT_EQ(crypt->loadKey(file(c.name)), c.expected) << c.name;
        EXPECT_EQ(crypt->publicKey, u"pub");
        EXPECT_EQ(crypt->privateKey, u"priv");
    }
    EXPECT_FALSE(fs::exists(folder / "missing.key"));  // opening does not create it
    EXPECT_FALSE(crypt->loadKey(write("junk.key", "***")).empty());
    EXPECT_EQ(crypt->privateKey, u"priv");
}

// ---- the signature envelope ----

TEST_F(Periphery, SignedEnvelopeVerifiesAndTamperingIsRefused) {
    makePkcs12(folder / "signer.pfx", "secret");
    const std::u16string data = u"서명할 데이터 | with a bar";
    const std::u16string envelope = signEnvelope(data, file("signer.pfx"), u"secret");
    ASSERT_FALSE(envelope.empty());
    EXPECT_EQ(verifyEnvelope(envelope), data);

    // Wrong password, missing file: a description, not an envelope.
    for (const auto& [path, password] :
         {std::pair{file("signer.pfx"), u"wrong"}, std::pair{file("none.pfx"), u"secret"}}) {
        const std::u16string r = signEnvelope(data, path, password);
        EXPECT_NE(verifyEnvelope(r), data);
        EXPECT_TRUE(verifyEnvelope(r).size() < 200);
    }

    // The same layers around a different C, or another signature: refused.
    auto bridge = aesBridge();
    using namespace platform::outside::aesbridge;
    namespace com = platform::com;
    callBridge(*bridge, SetCipherMode, com::Variant(std::int32_t(1)));
    callBridge(*bridge, SetKeySize, com::Variant(std::int32_t(128)));
    callBridge(*bridge, SetKeyText,
               com::Variant(u"Xq7RmT2wLp9sKd4VbN8cJf3HzY6gAe1UoWi5PrQt0SvMnBxClDk/Ej+GhFy2aZu4"));
    const std::u16string inner =
        callBridge(*bridge, DecompressData,
                   callBridge(*bridge, DecryptData,
                              callBridge(*bridge, DecodeBase64, com::Variant(envelope))))
            .toText();
    const std::size_t bar = inner.find(u'|');
    ASSERT_NE(bar, std::u16string::npos);
    {
        // The signature: detached, one certificate, the signing time among its attributes.
        std::optional<text::ByteString> der = text::fromBase64(inner.substr(0, bar));
        ASSERT_TRUE(der);
        BIO* bio = BIO_new_mem_buf(der->data(), static_cast<int>(der->size()));
        CMS_ContentInfo* cms = d2i_CMS_bio(bio, nullptr);
        ASSERT_TRUE(cms);
        EXPECT_EQ(CMS_is_detached(cms), 1);
        STACK_OF(X509)* certs = CMS_get1_certs(cms);
        EXPECT_EQ(sk_X509_num(certs), 1);
        sk_X509_pop_free(certs, X509_free);
        CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms), 0);
        EXPECT_GE(CMS_signed_get_attr_by_NID(signer, NID_pkcs9_signingTime, -1), 0);
        CMS_ContentInfo_free(cms);
        BIO_free(bio);
    }
    auto seal = [&](const std::u16string& s) {
        return callBridge(*bridge, EncodeBase64,
                          callBridge(*bridge, EncryptData,
                                     callBridge(*bridge, CompressData, com::Variant(s))))
            .toText();
    };
    const std::u16string otherC =
        callBridge(*bridge, EncodeBase64,
                   callBridge(*bridge, CompressData, com::Variant(u"forged")))
            .toText();
    const std::u16string otherSignature =
        inner.substr(0, bar).substr(0, 40) + u"AAAA" + inner.substr(44, bar - 44);
    for (const std::u16string& forged :
         {inner.substr(0, bar + 1) + otherC, otherSignature + inner.substr(bar),
          u"YWJj" + inner.substr(bar)}) {
        const std::u16string r = verifyEnvelope(seal(forged));
        EXPECT_NE(r, data);
        EXPECT_NE(r, u"forged");
        EXPECT_FALSE(r.empty());
    }
    EXPECT_EQ(verifyEnvelope(seal(inner)), data);
    // Not an envelope at all.
    EXPECT_FALSE(verifyEnvelope(u"YWJj").empty());
    EXPECT_EQ(verifyEnvelope(seal(u"no bar")), u"Subscript out of range");
}

// ---- the checked message ----

TEST_F(Periphery, CheckedMessage) {
    EXPECT_EQ(sha1OfText(u"abc"), u"D8BCE9746547BB7743E5933FBF0FC4F2D2CBCAD3");  // SHA1("YWJj")
    const std::u16string marker =
        u"k48Tz2Hw7Qm3Rb9Vx1Lc6Np0Js5Fd8Gy4Ka2We7Ut3Io9Pl1Zx6Cv0Bn5Mq8Hs2Dr4TgE";
    for (std::u16string plain : {u"name==홍길동|title==똠방각하|", u"abcdefghijklmnopqrstuvwxyz"}) {
        const std::u16string checked = encodeChecked(plain);
        ASSERT_EQ(checked.substr(0, 69), marker);
        EXPECT_EQ(decodeChecked(checked), plain);
        // The marker is compared without case.
        EXPECT_EQ(decodeChecked(text::LCase(marker) + checked.substr(69)), plain);
        // Any change in the woven part: "".
        for (std::size_t i : {69u, 70u, 100u, 148u}) {
            std::u16string changed = checked;
            changed[i] = changed[i] == u'A' ? u'B' : u'A';
            EXPECT_EQ(decodeChecked(changed), u"") << i;
        }
    }
    // Without the marker: a plain Des message.
    const std::u16string des = desEncode(u"plain des text");
    EXPECT_EQ(decodeChecked(des), u"plain des text");
}

// ---- the short cipher text ----

TEST_F(Periphery, ACipherTextThatIsOnlyAKeyIsRefused) {
    const std::u16string invalid = u"Decryption Error: Invalid Secure Key!!!";
    for (std::u16string text :
         {u"1700019000310006100089000", u"17000190003100061000890", u"1020011400124001220013350"}) {
        ASSERT_TRUE(text.size() < 24 || checkKey(text));
        state().lastMessageKey = u"kept";
        EXPECT_EQ(desDecode(text), invalid);
        EXPECT_EQ(blowfishDecode(text), invalid);
        EXPECT_EQ(state().lastMessageKey, u"kept");
    }
    // The next Blowfish encoding does not use such a text as its key.
    state().lastMessageKey.clear();
    blowfishDecode(u"1700019000310006100089000");
    const std::u16string cipher = blowfishEncode(u"after");
    std::u16string body = cipher;
    EXPECT_NE(extractKey(body), u"1700019000310006100089000");
    EXPECT_EQ(blowfishDecode(cipher), u"after");
}
