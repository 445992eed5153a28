// The library as its callers use it: registered with regsvr, created by ProgID in another
// process through comcall, every provider's round trip there.
#include <gtest/gtest.h>

#include "ciphers/ciphers.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

using platform::testing::runProgram;

namespace {

class CiphraCom : public ::testing::Test {
  protected:
    void SetUp() override {
        auto reg = runProgram(REGSVR, {CIPHRA_LIBRARY});
        ASSERT_EQ(reg.exitCode, 0) << reg.err;
    }
    // comcall's answer without its newline; fails the test on a COM error.
    static std::string comcall(const std::vector<std::string>& args) {
        auto r = runProgram(COMCALL, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
        return r.out;
    }
    platform::testing::TempMachine machine;
};

const std::string kParam =
    "WinTitle==전자증명서 발급|name==홍길동|title==똠방각하|usedefaultprinter==1|";

}  // namespace

TEST_F(CiphraCom, MessageCipherAndBlowfishRoundTripThroughTheFacade) {
    for (std::string provider : {"Velmora/Des", "VELMORA/BLOWFISH"}) {
        std::string cipher = comcall({"Ciphra.Crypt", "Provider=" + provider, "encode", kParam});
        ASSERT_FALSE(cipher.empty());
        EXPECT_EQ(cipher.find("Error"), std::string::npos) << cipher;
        EXPECT_EQ(cipher.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                           "0123456789+/="),
                  std::string::npos);
        EXPECT_EQ(comcall({"Ciphra.Crypt", "Provider=" + provider, "decode", cipher}), kParam);
        // A short text survives as well.
        std::string shortCipher =
            comcall({"Ciphra.Crypt", "Provider=" + provider, "encode", "a=1|"});
        EXPECT_EQ(comcall({"Ciphra.Crypt", "Provider=" + provider, "decode", shortCipher}), "a=1|");
    }
    // The classes on their own.
    std::string cipher = comcall({"Ciphra.Des", "encode", kParam});
    EXPECT_EQ(comcall({"Ciphra.Des", "decode", cipher}), kParam);
    EXPECT_EQ(comcall({"Ciphra.Blowfish", "decode", comcall({"Ciphra.Blowfish", "encode", "bf"})}),
              "bf");
}

TEST_F(CiphraCom, RsaRoundTripWithAGeneratedPair) {
    auto [pub, priv] = ciphra::rsaKeyGenerate();
    const std::string pubText = platform::text::toUtf8(pub),
                      privText = platform::text::toUtf8(priv);
    std::string cipher = comcall({"Ciphra.RSA", "encode", kParam, pubText});
    ASSERT_FALSE(cipher.empty());
    EXPECT_EQ(comcall({"Ciphra.RSA", "decode", cipher, privText}), kParam);
    EXPECT_EQ(comcall({"Ciphra.RSA", "PublicKey"}), "");
}

TEST_F(CiphraCom, FacadeTextsPlaceholderAndKeyCheck) {
    EXPECT_EQ(comcall({"Ciphra.Crypt", "encode", "x"}), "Provider가 정의되어 있지 않습니다.");
    EXPECT_EQ(comcall({"Ciphra.Crypt", "Provider=Velmora/Rot13", "encode", "x"}),
              "암호화 알고리즘 Velmora/Rot13이(가) 정의되어 있지 않습니다.");
    EXPECT_EQ(comcall({"Ciphra.Crypt", "Provider=initech/inisafenet", "encode", "x"}), "");
    EXPECT_EQ(comcall({"Ciphra.IniCrypt", "decode", "x"}), "");
    EXPECT_EQ(comcall({"Ciphra.Des", "CheckKey", "1020011400124001220013350"}), "True");
    EXPECT_EQ(comcall({"Ciphra.RSA", "CheckKey", "1020011400124001220013351"}), "False");
    EXPECT_EQ(comcall({"Ciphra.Crypt", "charset"}), "euc-kr");
    std::string key = comcall({"Ciphra.Crypt", "GenerateKey"});
    EXPECT_EQ(key.size(), 25u);
    EXPECT_EQ(comcall({"Ciphra.Crypt", "CheckKey", key}), "True");
    EXPECT_FALSE(comcall({"Ciphra.Crypt", "Version"}).empty());

    auto raised = runProgram(COMCALL, {"Ciphra.Crypt", "Provider=Velmora", "encode", "x"});
    EXPECT_EQ(raised.exitCode, 1);
    EXPECT_EQ(raised.err, "error 0x800A0009: Subscript out of range\n");
}
