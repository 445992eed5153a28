// The Crypt class as its callers reach it: registered with the real regsvr, created by ProgID
// through the COM layer (in process and from comcall), with the outside component's digests.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <atomic>

#include "ciphers-native/crypt.h"
#include "ciphers-native/md5.h"
#include "platform/com/runtime.h"
#include "platform/outside/aesbridge.h"
#include "platform/outside/outside.h"
#include "platform/registry/registry.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/coding.h"
#include "platform/text/text.h"

namespace com = platform::com;
namespace registry = platform::registry;
namespace text = platform::text;
using platform::testing::runProgram;
using registry::Root;

namespace {

const std::u16string kClassKey = u"CLSID\\" + sealwyn::CLSID_Crypt.str();

std::string hexOf(const unsigned char* p, std::size_t n) {
    return platform::text::toHexAscii(std::span(p, n));
}

std::string opensslDigest(const char* name, const std::vector<std::uint8_t>& data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), out, &n, EVP_get_digestbyname(name), nullptr);
    return hexOf(out, n);
}

// ARIA-256-ECB through OpenSSL under the password's doubled MD5 digest, over the text and
// zero bytes up to the next block: what AriaEncrypt must answer.
std::string opensslAria256(const std::string& password, const std::string& plain) {
    const auto d = sealwyn::Md5::of(password);
    unsigned char key[32];
    std::copy(d.begin(), d.end(), key);
    std::copy(d.begin(), d.end(), key + 16);
    std::vector<unsigned char> data(plain.begin(), plain.end());
    data.resize((plain.size() / 16 + 1) * 16, 0);
    std::vector<unsigned char> out(data.size() + 16);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    EVP_EncryptInit_ex(ctx, EVP_get_cipherbyname("ARIA-256-ECB"), nullptr, key, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size()));
    EVP_CIPHER_CTX_free(ctx);
    return hexOf(out.data(), static_cast<std::size_t>(n));
}

std::string comcall(std::vector<std::string> args) {
    args.insert(args.begin(), "Sealwyn.Crypt");
    auto r = runProgram(COMCALL, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
    return r.out;
}

class CryptLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        auto r = runProgram(REGSVR, {"-s", SEALWYN_LIBRARY});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    void TearDown() override {
        com::setCreationFailure(platform::outside::CLSID_AesBridge, com::S_OK);
    }

    com::Variant call(std::u16string_view member, std::vector<com::Variant> args) {
        auto crypt = com::createObject(u"Sealwyn.Crypt");
        return com::call(*crypt, member, std::move(args));
    }
    std::u16string text(std::u16string_view member, std::vector<com::Variant> args) {
        com::Variant v = call(member, std::move(args));
        EXPECT_TRUE(v.isText());
        return v.isText() ? v.text() : u"<not a text>";
    }

    platform::testing::TempMachine machine;
};

}  // namespace

TEST_F(CryptLibrary, RegistrationWritesItsKeysAndUnregistrationRemovesThem) {
    const std::u16string path =
        text::fromUtf8(std::filesystem::canonical(SEALWYN_LIBRARY).string());
    const std::u16string appId = u"{DF4E530A-D713-435B-A9FC-171AAB6E8191}";
    const std::u16string clsid = sealwyn::CLSID_Crypt.str();
    const struct {
        std::u16string key, name;
        registry::Value value;
    } expected[] = {
        {kClassKey, u"", u"Crypt Class"},
        {kClassKey + u"\\ProgID", u"", u"Sealwyn.Crypt.1"},
        {kClassKey + u"\\VersionIndependentProgID", u"", u"Sealwyn.Crypt"},
        {kClassKey + u"\\InprocServer32", u"", path},
        {kClassKey + u"\\InprocServer32", u"ThreadingModel", u"Apartment"},
        {kClassKey, u"AppID", appId},
        {kClassKey + u"\\Elevation", u"Enabled", std::uint32_t{1}},
        {kClassKey, u"LocalizedString", u"@" + path + u",-101"},
        {kClassKey + u"\\ToolboxBitmap32", u"", path + u", 103"},
        {kClassKey + u"\\MiscStatus", u"", u"0"},
        {kClassKey + u"\\MiscStatus\\1", u"", u"131473"},
        {kClassKey + u"\\TypeLib", u"", u"{46E9BC94-E88D-40F8-9995-6230C13651CB}"},
        {kClassKey + u"\\Version", u"", u"1.0"},
        {u"Sealwyn.Crypt.1", u"", u"Crypt Class"},
        {u"Sealwyn.Crypt.1\\CLSID", u"", clsid},
        {u"Sealwyn.Crypt", u"", u"Crypt Class"},
        {u"Sealwyn.Crypt\\CLSID", u"", clsid},
        {u"Sealwyn.Crypt\\CurVer", u"", u"Sealwyn.Crypt.1"},
        {u"AppID\\" + appId, u"", u"Sealwyn"},
        {u"AppID\\" + appId, u"DllSurrogate", u""},
        {u"AppID\\Sealwyn.DLL", u"AppID", appId},
        {u"TypeLib\\{46E9BC94-E88D-40F8-9995-6230C13651CB}\\1.0", u"", u"Sealwyn 1.0 Type Library"},
        {u"Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}", u"409",
         u"Controls that are safely scriptable"},
        {u"Component Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}", u"409",
         u"Controls safely initializable from persistent data"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(registry::getValue(Root::ClassesRoot, e.key, e.name), e.value)
            << text::toUtf8(e.key) << " " << text::toUtf8(e.name);
    for (const char16_t* key :
         {u"\\Programmable", u"\\Control",
          u"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
          u"\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}"})
        EXPECT_TRUE(registry::keyExists(Root::ClassesRoot, kClassKey + key)) << text::toUtf8(key);

    auto r = runProgram(REGSVR, {"-u", SEALWYN_LIBRARY});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char16_t* key : {u"Sealwyn.Crypt", u"Sealwyn.Crypt.1", u"AppID\\Sealwyn.DLL",
                                u"TypeLib\\{46E9BC94-E88D-40F8-9995-6230C13651CB}",
                                u"Interface\\{0BA0BD4C-FE47-478F-A747-7FF23AE613F4}"})
        EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, key)) << text::toUtf8(key);
    EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, u"AppID\\" + appId));
    EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, kClassKey + u"\\InprocServer32"));
    EXPECT_TRUE(registry::values(Root::ClassesRoot, kClassKey).empty());
    EXPECT_EQ(registry::subkeys(Root::ClassesRoot, kClassKey),
              std::vector<std::u16string>{u"Implemented Categories"});
    // The categories and the class's category registrations stay.
    EXPECT_TRUE(registry::keyExists(
        Root::ClassesRoot, u"Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
    EXPECT_EQ(registry::subkeys(Root::ClassesRoot, kClassKey + u"\\Implemented Categories").size(),
              2u);
    auto gone = runProgram(COMCALL, {"Sealwyn.Crypt", "EncodeToHex", "abc"});
    EXPECT_EQ(gone.exitCode, 1);
}

TEST_F(CryptLibrary, EveryMemberThroughComcall) {
    const std::string abcUtf16 = opensslDigest("MD5", {'a', 0, 'b', 0, 'c', 0});
    const std::string aria = comcall({"AriaEncrypt", "pw", "128", "x"});
    EXPECT_EQ(aria.size(), 32u);
    EXPECT_EQ(comcall({"AriaDecrypt", "pw", "128", aria}), "x");
    const std::string seed = comcall({"SeedEncrypt", "pw", "x"});
    EXPECT_EQ(seed.size(), 32u);
    EXPECT_EQ(comcall({"SeedDecrypt", "pw", seed}), "x");
    EXPECT_EQ(comcall({"EncodeToHex", "abc"}), "61626300");
    EXPECT_EQ(comcall({"DecodeFromHex", "61626300"}), "abc");
    EXPECT_EQ(comcall({"DecodeFromHex", "a2e841"}), "\u327E");
    EXPECT_EQ(comcall({"MD5", "abc"}), abcUtf16);
    const std::vector<std::uint8_t> utf16abc{'a', 0, 'b', 0, 'c', 0};
    EXPECT_EQ(comcall({"Sha160", "abc"}), opensslDigest("SHA1", utf16abc));
    EXPECT_EQ(comcall({"Sha256", "abc"}), opensslDigest("SHA256", utf16abc));
    EXPECT_EQ(comcall({"Sha384", "abc"}), opensslDigest("SHA384", utf16abc));
    EXPECT_EQ(comcall({"Sha512", "abc"}), opensslDigest("SHA512", utf16abc));
    EXPECT_EQ(comcall({"UrlEncode", "a b~가"}), "a%20b%7E%B0%A1");
}

// regsvr, then comcall round trips: the road a user takes.
TEST_F(CryptLibrary, RoundTripsFromTheCommandLine) {
    const std::string cipher = comcall({"AriaEncrypt", "password", "256", "some text"});
    EXPECT_EQ(cipher, opensslAria256("password", "some text"));
    EXPECT_EQ(comcall({"AriaDecrypt", "password", "256", cipher}), "some text");
    for (const char* bits : {"128", "192"}) {
        const std::string c = comcall({"AriaEncrypt", "password", bits, "some text"});
        EXPECT_NE(c, cipher);
        EXPECT_EQ(comcall({"AriaDecrypt", "password", bits, c}), "some text");
    }
    const std::string seed = comcall({"SeedEncrypt", "password", "some text"});
    EXPECT_EQ(seed.size(), 32u);
    EXPECT_EQ(seed.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(comcall({"SeedDecrypt", "password", seed}), "some text");
    EXPECT_EQ(comcall({"AriaDecrypt", "password", "256",
                       comcall({"AriaEncrypt", "password", "256", "한글 문장"})}),
              "한글 문장");
    EXPECT_EQ(comcall({"MD5", "some text"}),
              opensslDigest("MD5", text::toUtf16leBytes(u"some text")));
    EXPECT_EQ(comcall({"UrlEncode", "some text?&=한"}), "some%20text%3F%26%3D%C7%D1");
}

TEST_F(CryptLibrary, HexMembersEdgeTable) {
    const std::pair<std::u16string, std::u16string> encode[] = {
        {u"abc", u"61626300"}, {u"", u"00"}, {u"가", u"b0a100"}};
    for (const auto& [in, out] : encode) EXPECT_EQ(text(u"EncodeToHex", {in}), out);
    const std::pair<std::u16string, std::u16string> decode[] = {
        {u"61626300", u"abc"},
        {u"6162", u"a"},
        {u"4", u""},
        {u"", u""},
        {u"41424", u"A"},
        {u"41004200", std::u16string(u"A\0B", 3)},
        {u"b0a100", u"가"},
        {u"4G00", u"@"},
        {u"a2e841", u"\u327E"},
        {u"a2e8414200", u"\u327EAB"}};
    for (const auto& [in, out] : decode) EXPECT_EQ(text(u"DecodeFromHex", {in}), out);
}

TEST_F(CryptLibrary, CipherMembersEdgeTable) {
    // Lengths count the text's ANSI bytes: a 15-byte text fills one block with its zero.
    const std::pair<std::u16string, std::size_t> lengths[] = {
        {u"", 32}, {u"123456789012345", 32}, {u"1234567890123456", 64}, {u"가나다라마바사아", 64}};
    for (const auto& [in, hexLength] : lengths) {
        EXPECT_EQ(text(u"AriaEncrypt", {u"pw", 256, in}).size(), hexLength);
        EXPECT_EQ(text(u"SeedEncrypt", {u"pw", in}).size(), hexLength);
    }
    // SEED decryption trims white space at both ends; ARIA keeps it.
    const std::u16string padded = u" \t text \r\n";
    EXPECT_EQ(text(u"SeedDecrypt", {u"pw", text(u"SeedEncrypt", {u"pw", padded})}), u"text");
    EXPECT_EQ(text(u"AriaDecrypt", {u"pw", 192, text(u"AriaEncrypt", {u"pw", 192, padded})}),
              padded);
    // The text is read up to its first zero character.
    EXPECT_EQ(text(u"AriaEncrypt", {u"pw", 128, std::u16string(u"ab\0cd", 5)}),
              text(u"AriaEncrypt", {u"pw", 128, u"ab"}));
    EXPECT_EQ(text(u"SeedEncrypt", {std::u16string(u"pw\0x", 4), u"ab"}),
              text(u"SeedEncrypt", {u"pw", u"ab"}));
    // Upper-case cipher text decrypts like lower case.
    std::u16string upper = text(u"AriaEncrypt", {u"pw", 256, u"Case"});
    for (auto& ch : upper) ch = static_cast<char16_t>(std::toupper(ch));
    EXPECT_EQ(text(u"AriaDecrypt", {u"pw", 256, upper}), u"Case");
    // A cipher text that is not whole blocks: ARIA answers nothing, SEED drops the tail.
    const std::u16string seed = text(u"SeedEncrypt", {u"pw", u"tail"});
    EXPECT_EQ(text(u"SeedDecrypt", {u"pw", seed + u"abcd"}), u"tail");
    EXPECT_EQ(text(u"AriaDecrypt", {u"pw", 256, text(u"AriaEncrypt", {u"pw", 256, u"x"}) + u"ab"}),
              u"");
    // SEED and ARIA cipher texts of one text are equally long.
    EXPECT_EQ(text(u"SeedEncrypt", {u"pw", u"twenty characters!!!"}).size(),
              text(u"AriaEncrypt", {u"pw", 128, u"twenty characters!!!"}).size());
}

TEST_F(CryptLibrary, KeyLengthWithoutScheduleAnswersNothing) {
    for (std::int32_t bits : {0, 64, 100, 255, 257, 512, -256}) {
        EXPECT_EQ(text(u"AriaEncrypt", {u"pw", bits, u"secret"}), u"") << bits;
        EXPECT_EQ(text(u"AriaDecrypt", {u"pw", bits, u"00112233445566778899aabbccddeeff"}), u"")
            << bits;
    }
}

TEST_F(CryptLibrary, UrlEncodeEdgeTable) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"a b", u"a%20b"},
        {u"a+b=c d", u"a%2Bb%3Dc%20d"},
        {u"~", u"%7E"},
        {u"AZaz09'()*-._", u"AZaz09'()*-._"},
        {u"한국어", u"%C7%D1%B1%B9%BE%EE"},
        {u"line\n", u"line%0A"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(text(u"UrlEncode", {in}), out);
}

TEST_F(CryptLibrary, DigestsThroughTheOutsideComponent) {
    const std::vector<std::uint8_t> raw{'a', 'b', 'c'};
    const struct {
        const char16_t* member;
        const char* digest;
    } cases[] = {{u"MD5", "MD5"},
                 {u"Sha160", "SHA1"},
                 {u"Sha256", "SHA256"},
                 {u"Sha384", "SHA384"},
                 {u"Sha512", "SHA512"}};
    for (const auto& c : cases) {
        // A byte array is hashed as it is; a text stands for its UTF-16LE bytes.
        EXPECT_EQ(text::toUtf8(text(c.member, {com::Variant(raw)})), opensslDigest(c.digest, raw));
        EXPECT_EQ(text::toUtf8(text(c.member, {com::Variant(u"가")})),
                  opensslDigest(c.digest, text::toUtf16leBytes(u"가")));
    }
    EXPECT_EQ(text::toUtf8(text(u"MD5", {com::Variant(raw)})), "900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(CryptLibrary, MissingOutsideComponentGivesEmptyDigests) {
    platform::outside::ensureRegistered();
    com::setCreationFailure(platform::outside::CLSID_AesBridge, com::REGDB_E_CLASSNOTREG);
    for (const char16_t* member : {u"MD5", u"Sha160", u"Sha256", u"Sha384", u"Sha512"})
        EXPECT_EQ(text(member, {com::Variant(u"abc")}), u"") << text::toUtf8(member);
}

namespace {

// A stand-in for the outside component that counts its objects and can fail its digest.
std::atomic<int> bridgesCreated{0};
std::atomic<bool> bridgeFails{false};

class CountingBridge : public com::DispatchImpl<CountingBridge> {
  public:
    CountingBridge() { ++bridgesCreated; }
    static const com::Members<CountingBridge>& members() {
        static const com::Members<CountingBridge> m =
            com::Members<CountingBridge>(u"IAesBridge", platform::outside::IID_IAesBridge)
                .method(9, u"HashMd5", com::VT_VARIANT, {{u"v", com::VT_VARIANT}},
                        [](CountingBridge&, com::Call& c) {
                            if (bridgeFails) com::raise(com::E_FAIL, u"digest failed");
                            c.result = std::vector<std::uint8_t>{0xAB, 0x01};
                        })
                .method(12, u"ValueToText", com::VT_BSTR, {{u"v", com::VT_VARIANT}},
                        [](CountingBridge&, com::Call& c) {
                            c.result = c.arg(0).isBytes() ? u"ab01" : u"?";
                        });
        return m;
    }
};

}  // namespace

TEST_F(CryptLibrary, EachDigestUsesANewComponentAndFailuresGiveEmptyText) {
    platform::outside::ensureRegistered();
    std::uint32_t cookie = 0;
    ASSERT_EQ(com::CoRegisterClassObject(platform::outside::CLSID_AesBridge,
                                         std::make_shared<com::SimpleClassFactory>(
                                             [] { return std::make_shared<CountingBridge>(); }),
                                         cookie),
              com::S_OK);
    bridgesCreated = 0;
    auto crypt = com::createObject(u"Sealwyn.Crypt");
    EXPECT_EQ(com::call(*crypt, u"MD5", {com::Variant(u"x")}).text(), u"ab01");
    EXPECT_EQ(com::call(*crypt, u"MD5", {com::Variant(u"x")}).text(), u"ab01");
    EXPECT_EQ(bridgesCreated, 2);
    // A member the component lacks, and a failing operation: empty results, no error.
    EXPECT_EQ(com::call(*crypt, u"Sha256", {com::Variant(u"x")}).text(), u"");
    bridgeFails = true;
    EXPECT_EQ(com::call(*crypt, u"MD5", {com::Variant(u"x")}).text(), u"");
    bridgeFails = false;
    com::CoRevokeClassObject(cookie);
}

TEST_F(CryptLibrary, TypeInformationMatchesTheInterface) {
    auto crypt = com::createObject(u"Sealwyn.Crypt.1");
    const com::TypeInfo* info = crypt->GetTypeInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->iid, sealwyn::IID_ICrypt);
    const char16_t* names[] = {u"AriaEncrypt", u"AriaDecrypt",   u"SeedEncrypt", u"SeedDecrypt",
                               u"EncodeToHex", u"DecodeFromHex", u"MD5",         u"Sha160",
                               u"Sha256",      u"Sha384",        u"Sha512",      u"UrlEncode"};
    ASSERT_EQ(info->members.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(info->members[i].id, i + 1);
        EXPECT_EQ(info->members[i].name, names[i]);
        EXPECT_EQ(info->members[i].result, com::VT_BSTR);
    }
    EXPECT_EQ(info->members[0].help, u"Method AriaEncrypt");
    EXPECT_EQ(info->members[11].help, u"메서드 UrlEncode");
    // Called by DISPID as early-bound callers do.
    EXPECT_EQ(com::invoke(*crypt, 5, com::DISPATCH_METHOD, {com::Variant(u"a")}).text(), u"6100");
}
