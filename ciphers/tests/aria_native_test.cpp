// The aria provider and the headed format over the real native cipher library: both
// libraries registered with regsvr, the native class created by its class identifier.
#include <gtest/gtest.h>

#include "ciphers/headed.h"
#include "ciphers/periphery.h"
#include "ciphers/state.h"
#include "platform/com/runtime.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

using platform::testing::runProgram;
using namespace ciphra;
namespace text = platform::text;

namespace {

class AriaNative : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* library : {SEALWYN_LIBRARY, CIPHRA_LIBRARY}) {
            auto reg = runProgram(REGSVR, {library});
            ASSERT_EQ(reg.exitCode, 0) << library << ": " << reg.err;
        }
        resetState();
    }
    void TearDown() override { resetState(); }
    static std::string comcall(const std::vector<std::string>& args) {
        auto r = runProgram(COMCALL, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
        return r.out;
    }
    std::u16string encodeWith(int algorithm, int keyLength, std::u16string_view plain) {
        state().headed.native = createNativeCrypt();
        state().headed.algorithmSetting = algorithm;
        state().headed.keyLength = keyLength;
        return encodeSealwyn(plain);
    }
    platform::testing::TempMachine machine;
};

const std::u16string kPlain = u"WinTitle==전자증명서|name==홍길동|title==똠방각하|";

}  // namespace

TEST_F(AriaNative, SeedAndAriaAtEachKeyLengthRoundTrip) {
    std::u16string seed = encodeWith(1, 0, kPlain);
    ASSERT_FALSE(seed.empty()) << text::toUtf8(headedError());
    EXPECT_EQ(decodeSealwyn(seed, false), kPlain);
    for (int kl : {128, 192, 256}) {
        std::u16string cipher = encodeWith(2, kl, kPlain);
        ASSERT_FALSE(cipher.empty()) << kl << ": " << text::toUtf8(headedError());
        state().headed.keyLength = 256 + 128 - kl % 256;  // decoding reads it from the header
        EXPECT_EQ(decodeSealwyn(cipher, false), kPlain) << kl;
        // The body is the native library's lower-case hexadecimal.
        std::u16string rest = cipher;
        extractSessionKey(rest);
        std::u16string body = rest.substr(rest.find(u'|') + 1);
        EXPECT_EQ(body.find_first_not_of(u"0123456789abcdef"), std::u16string::npos);
        EXPECT_EQ(body.size() % 32, 0u);
    }
}

TEST_F(AriaNative, TamperedBodyIsRefused) {
    std::u16string cipher = encodeWith(2, 256, kPlain);
    ASSERT_FALSE(cipher.empty());
    std::size_t at = cipher.size() - 5;
    cipher[at] = cipher[at] == u'0' ? u'1' : u'0';
    EXPECT_EQ(decodeSealwyn(cipher, false), u"");
    EXPECT_EQ(headedError(), kTampered);
}

TEST_F(AriaNative, AriaProviderThroughComcall) {
    const std::string plain = text::toUtf8(kPlain);
    std::string cipher = comcall({"Ciphra.Crypt", "Provider=Velmora/Aria", "encode", plain});
    ASSERT_GT(cipher.size(), 64u);
    EXPECT_EQ(comcall({"Ciphra.Crypt", "Provider=velmora/ARIA", "decode", cipher}), plain);
    std::string tampered = cipher;
    tampered[tampered.size() - 2] = tampered[tampered.size() - 2] == '0' ? '1' : '0';
    EXPECT_EQ(comcall({"Ciphra.Crypt", "Provider=Velmora/Aria", "decode", tampered}), "");
}

TEST_F(AriaNative, SeedAndAriaMembersPassThroughToTheNativeLibrary) {
    namespace com = platform::com;
    auto native = createNativeCrypt();
    const std::u16string pwd = u"비밀번호 pw";
    const std::u16string seed = seedEncrypt(pwd, kPlain);
    EXPECT_EQ(seed, com::invoke(*native, SeedEncrypt, com::DISPATCH_METHOD,
                                {com::Variant(pwd), com::Variant(kPlain)})
                        .toText());
    EXPECT_EQ(seedDecrypt(pwd, seed), kPlain);
    EXPECT_TRUE(state().headed.native);
    for (std::int32_t keyLength : {128, 192, 256}) {
        const std::u16string aria = ariaEncrypt(pwd, keyLength, kPlain);
        EXPECT_EQ(aria,
                  com::invoke(*native, AriaEncrypt, com::DISPATCH_METHOD,
                              {com::Variant(pwd), com::Variant(keyLength), com::Variant(kPlain)})
                      .toText());
        EXPECT_EQ(ariaDecrypt(pwd, keyLength, aria), kPlain) << keyLength;
    }
    const std::string plain = text::toUtf8(kPlain);
    std::string cipher = comcall({"Ciphra.Crypt", "seedEncrypt", "pw", plain});
    EXPECT_EQ(comcall({"Ciphra.Crypt", "seedDecrypt", "pw", cipher}), plain);
}
