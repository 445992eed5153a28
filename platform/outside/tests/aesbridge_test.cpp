#include <gtest/gtest.h>

#include "platform/com/runtime.h"
#include "platform/outside/aesbridge.h"
#include "platform/outside/outside.h"

using namespace platform::com;
using platform::outside::CLSID_AesBridge;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::shared_ptr<Dispatch> bridge() {
    platform::outside::ensureRegistered();
    std::shared_ptr<Dispatch> object;
    EXPECT_EQ(CoCreateInstance(CLSID_AesBridge, object, CLSCTX_ALL), S_OK);
    return object;
}

Bytes ascii(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

}  // namespace

TEST(AesBridge, Base64FollowsRfc4648) {
    auto b = bridge();
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
        EXPECT_EQ(call(*b, u"EncodeBase64", {Variant(ascii(plain))}).text(), encoded) << plain;
        EXPECT_EQ(call(*b, u"DecodeBase64", {Variant(encoded)}).bytes(), ascii(plain)) << plain;
    }
}

TEST(AesBridge, TextsStandForTheirUtf16leBytes) {
    auto b = bridge();
    EXPECT_EQ(call(*b, u"EncodeBase64", {Variant(u"abc")}).text(), u"YQBiAGMA");
    EXPECT_EQ(call(*b, u"EncodeBase64", {Variant(u"|")}).text(), u"fAA=");
    // Decoded bytes taken directly as text read back as the original text.
    EXPECT_EQ(call(*b, u"DecodeBase64", {Variant(u"YQBiAGMA")}).toText(), u"abc");
    EXPECT_EQ(call(*b, u"ValueToText", {call(*b, u"HashMd5", {Variant(ascii("abc"))})}).text(),
              u"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(call(*b, u"ValueToText", {call(*b, u"HashMd5", {Variant(u"abc")})}).text(),
              u"ce1473cf80c6b3fda8e3dfc006adc315");
}

TEST(AesBridge, Base64DecoderSkipsLineBreaksAndBlanksAndRefusesGarbage) {
    auto b = bridge();
    EXPECT_EQ(call(*b, u"DecodeBase64", {Variant(u" Zm9v\r\nYmFy\t")}).bytes(), ascii("foobar"));
    for (const char16_t* bad : {u"Zm9v!", u"Z", u"Zg==Zg==", u"Zg==="}) {
        EXPECT_THROW(call(*b, u"DecodeBase64", {Variant(bad)}), ComError)
            << std::string(bad, bad + 1);
    }
}

TEST(AesBridge, DigestsAreTheStandardOnes) {
    auto b = bridge();
    const std::pair<const char16_t*, const char16_t*> digests[] = {
        {u"HashSha1", u"a9993e364706816aba3e25717850c26c9cd0d89d"},
        {u"HashSha256", u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {u"HashSha384",
         u"cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
         u"34c825a7"},
        {u"HashSha512",
         u"ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23"
         u"a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
    };
    for (const auto& [member, hex] : digests)
        EXPECT_EQ(call(*b, u"ValueToText", {call(*b, member, {Variant(ascii("abc"))})}).text(),
                  hex);
}

TEST(AesBridge, CompressionAndCipherRoundTrip) {
    auto b = bridge();
    std::u16string text(5000, u'가');
    Variant packed = call(*b, u"CompressData", {Variant(text)});
    EXPECT_LT(packed.bytes().size(), 1000u);
    EXPECT_EQ(call(*b, u"DecompressData", {packed}).toText(), text);
    EXPECT_THROW(call(*b, u"DecompressData", {Variant(ascii("not zlib"))}), ComError);

    auto keyed = [&](const char16_t* key) {
        auto o = bridge();
        call(*o, u"SetCipherMode", {Variant(1)});
        call(*o, u"SetKeySize", {Variant(128)});
        call(*o, u"SetKeyText", {Variant(key)});
        return o;
    };
    Variant sealed = call(*keyed(u"secret"), u"EncryptData", {packed});
    Variant again = call(*keyed(u"secret"), u"EncryptData", {packed});
    EXPECT_NE(sealed.bytes(), again.bytes()) << "a fresh IV every time";
    Variant opened = call(*keyed(u"secret"), u"DecryptData", {sealed});
    EXPECT_EQ(opened.bytes(), packed.bytes());
    EXPECT_THROW(call(*keyed(u"other"), u"DecryptData", {sealed}), ComError);

    auto wrongSize = bridge();
    call(*wrongSize, u"SetKeySize", {Variant(256)});
    EXPECT_THROW(call(*wrongSize, u"EncryptData", {packed}), ComError);
}

TEST(AesBridge, CreationFailureCanBeSimulated) {
    platform::outside::ensureRegistered();
    setCreationFailure(CLSID_AesBridge, REGDB_E_CLASSNOTREG);
    std::shared_ptr<Dispatch> object;
    EXPECT_EQ(CoCreateInstance(CLSID_AesBridge, object, CLSCTX_ALL), REGDB_E_CLASSNOTREG);
    setCreationFailure(CLSID_AesBridge, S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_AesBridge, object, CLSCTX_ALL), S_OK);
}
