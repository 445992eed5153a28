// The library as its callers use it: registered with regsvr, created by ProgID in another
// process through comcall, every provider's round trip there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

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

TEST_F(CiphraCom, EveryProviderRoundTripsThroughOneObject) {
    // comcall prints one line per call on the same object.
    auto lines = [](const std::string& out) {
        std::vector<std::string> v;
        std::size_t start = 0;
        for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
            v.push_back(out.substr(start, end - start));
        v.push_back(out.substr(start));
        return v;
    };
    for (std::string provider : {"Velmora/pki", "Velmora/Des", "Velmora/Blowfish"}) {
        std::vector<std::string> args = {"Ciphra.Crypt", "Provider=" + provider};
        if (provider == "Velmora/pki") args.insert(args.end(), {"PKIKeyGenerate", "--"});
        args.insert(args.end(), {"encode", kParam});
        std::vector<std::string> out = lines(comcall(args));
        const std::string cipher = out.back();
        ASSERT_FALSE(cipher.empty()) << provider;
        EXPECT_EQ(cipher.find("Error"), std::string::npos) << cipher;
        if (provider != "Velmora/pki") {
            EXPECT_EQ(comcall({"Ciphra.Crypt", "Provider=" + provider, "decode", cipher}), kParam);
            continue;
        }
        // The pair goes through a key file into a second object.
        std::vector<std::string> keyed =
            lines(comcall({"Ciphra.Crypt", "Provider=" + provider, "PKIKeyGenerate", "--",
                           "getPKIKey", "--", "encode", kParam}));
        ASSERT_EQ(keyed.size(), 3u);
        const std::string keyFile = (machine.path() / "pair.key").string();
        std::ofstream(keyFile) << keyed[1];
        std::vector<std::string> loaded =
            lines(comcall({"Ciphra.Crypt", "Provider=" + provider, "LoadKey", keyFile, "--",
                           "decode", keyed[2]}));
        ASSERT_EQ(loaded.size(), 2u);
        EXPECT_EQ(loaded[1], kParam);
    }
    EXPECT_EQ(comcall({"Ciphra.Crypt", "getPKIKey"}), "fAA=");
    EXPECT_EQ(comcall({"Ciphra.Crypt", "setQuery", " a = 1 & b=2", "--", "getQuery", "A"}), "\n1");
    EXPECT_EQ(comcall({"Ciphra.Crypt", "replaceAll", "Abc abc", "ABC", "x"}), "x x");
    EXPECT_EQ(comcall({"Ciphra.Crypt", "getDateAdd2", "m", "0", "yyyy"}).size(), 4u);
    // Values at the ends of their types: the whole number, and a move out of the years a date
    // holds as the invalid-argument error.
    EXPECT_EQ(comcall({"Ciphra.Crypt", "aspFormat", "200000000000000000", "0.00"}),
              "200000000000000000.00");
    auto beyond =
        runProgram(COMCALL, {"Ciphra.Crypt", "getDateAdd2", "yyyy", "2147483647", "yyyy"});
    EXPECT_EQ(beyond.exitCode, 1);
    EXPECT_NE(beyond.err.find("Invalid procedure call or argument"), std::string::npos)
        << beyond.err;
}

TEST_F(CiphraCom, LayoutAndLibsAreCreatable) {
    const auto dir = machine.path() / "layouts";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "a.rpx") << "report";
    std::string cipher = comcall(
        {"Ciphra.Layout", "Provider=Velmora/Des", "Path=" + dir.string(), "GetLayout", "a.rpx"});
    EXPECT_EQ(comcall({"Ciphra.Des", "decode", cipher}), "a.rpx\x07report");
    EXPECT_EQ(comcall({"Ciphra.Layout", "CheckKey", "1020011400124001220013350"}), "True");
    EXPECT_EQ(comcall({"Ciphra.Libs", "b64encodeFile", (dir / "a.rpx").string(), "param"}),
              "cmVwb3J0");
    EXPECT_EQ(comcall({"Ciphra.Crypt", "readFile", (dir / "a.rpx").string(), ""}), "report");
    EXPECT_EQ(comcall({"Ciphra.Crypt", "Provider=Velmora/Des", "Path=" + dir.string(), "GetLayout",
                       "zz.rpx"}),
              "오류 발생: ");
}

// A file a caller names is read only when it is a regular file of a size its kind may have:
// a named pipe with no writer, an endless device and a folder are refused at once (before,
// LoadKey and Sign waited on the pipe for ever and read /dev/zero until memory ran out).
TEST_F(CiphraCom, NamedFilesThatAreNotRegularOrTooLargeAreRefusedUnread) {
    namespace fs = std::filesystem;
    const fs::path dir = machine.path();
    const std::string pipe = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_directories(dir / "folder");
    fs::create_directories(dir / "layouts");
    // Sparse: no disk is used for their size.
    auto sized = [&](const fs::path& file, std::uintmax_t bytes) {
        std::ofstream(file) << "x";
        fs::resize_file(file, bytes);
        return file.string();
    };
    const std::string bigKey = sized(dir / "big.key", (1 << 20) + 1);
    const std::string bigFile = sized(dir / "big.bin", (16 << 20) + 1);
    sized(dir / "layouts" / "big.rpx", (16 << 20) + 1);
    const std::string layouts = "Path=" + (dir / "layouts").string() + "/";

    struct Case {
        std::vector<std::string> call;
        std::string answer;  // whole, or (with `part`) a piece of it
        bool part = false;
    };
    const Case cases[] = {
        {{"Ciphra.Crypt", "LoadKey", pipe}, "Path/File access error"},
        {{"Ciphra.Crypt", "LoadKey", "/dev/zero"}, "Path/File access error"},
        {{"Ciphra.Crypt", "LoadKey", (dir / "folder").string()}, "Path/File access error"},
        {{"Ciphra.Crypt", "LoadKey", bigKey}, "Out of memory"},
        {{"Ciphra.Crypt", "Sign", "data", pipe, "pw"}, "is a named pipe", true},
        {{"Ciphra.Crypt", "Sign", "data", "/dev/zero", "pw"}, "is a character device", true},
        {{"Ciphra.Crypt", "Sign", "data", bigKey, "pw"}, "larger than 1048576 bytes", true},
        {{"Ciphra.Crypt", "Sign", "data", (dir / "none").string(), "pw"},
         "The certificate file cannot be opened"},
        {{"Ciphra.Crypt", "readFile", bigFile, ""}, "&오류 발생: Out of memory"},
        {{"Ciphra.Libs", "b64encodeFile", bigFile, ""}, "&오류 발생: Out of memory"},
        {{"Ciphra.Libs", "GetCertWatermark", pipe}, "&파일 " + pipe + "을(를) 찾을 수 없습니다."},
        {{"Ciphra.Layout", "Provider=Velmora/Des", layouts, "GetLayout", "big.rpx"},
         "오류 발생: Out of memory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call[1] + " " + c.call.back());
        const std::string answer = comcall(c.call);
        if (c.part)
            EXPECT_NE(answer.find(c.answer), std::string::npos) << answer;
        else
            EXPECT_EQ(answer, c.answer);
    }
}
