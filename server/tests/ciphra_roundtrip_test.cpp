// The set-up request against the real message cipher library: libCiphra.so registered in a
// temporary machine folder, created through the COM layer by its class identifier, and the kept
// parameter text decrypted again with the library's Des class.
#include <gtest/gtest.h>

#include "fakes.h"
#include "platform/com/runtime.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "server/issue.h"
#include "server/paramstring.h"
#include "server_process.h"

using namespace tessel;
using namespace tessel::server;
namespace com = platform::com;
namespace text = platform::text;

namespace {

class Ciphra : public ::testing::Test {
  protected:
    void SetUp() override {
        auto reg = platform::testing::runProgram(REGSVR, {CIPHRA_LIBRARY});
        ASSERT_EQ(reg.exitCode, 0) << reg.err;
    }
    std::u16string decrypt(std::u16string_view cipherText) {
        auto des = com::createObject(u"Ciphra.Des");
        return com::call(*des, u"decode", {com::Variant(cipherText)}).toText();
    }
    platform::testing::TempMachine machine;
};

}  // namespace

TEST_F(Ciphra, KeptParameterTextDecryptsToTheParameterString) {
    iniTool ini;
    ini.FileName(text::fromUtf8((machine.path() / "server.ini").string()));
    ini.WriteValue(u"CERTPARAM", u"WinTitle", u"주민등록표 등본 발급");
    ServerSettings settings = readSettings(ini, u"/opt/tessel");
    tessel::server::testing::FixedClock clock;
    ComParamCipher cipher;
    IssueState issue;
    IssueRequests requests(issue, cipher, clock);
    ASSERT_EQ(requests.FSetupIssue(u"{\"pages\":1,\"usedefaultprinter\":\"1\","
                                   u"\"ExceptPrinterDriver\":\"한글 드라이버\"}",
                                   settings),
              IssueRequests::Outcome::Done)
        << text::toUtf8(issue.errorMessage);
    ASSERT_TRUE(issue.paramCipherText.starts_with(kParamCipherPrefix));
    std::u16string plain = decrypt(issue.paramCipherText.substr(kParamCipherPrefix.size()));
    EXPECT_EQ(text::toUtf8(plain),
              text::toUtf8(MakeParamString(settings, clock.now()) +
                           u"usedefaultprinter==1|ExceptPrinterDriver==한글 드라이버|"));
    auto entries = text::Split(plain, u"|");
    ASSERT_EQ(entries.size(), 41u);  // 38 + 2 + the empty text after the last "|"
    EXPECT_EQ(entries[3], u"WinTitle==주민등록표 등본 발급");
}

TEST_F(Ciphra, TheRealServerSetsUpAnIssue) {
    tessel::server::testing::ServerProcess server(
        machine.path(), "[SYSTEM]\nLocalIP=127.0.0.1\n[CERTPARAM]\nWinTitle=한글 증명서\n",
        tessel::server::testing::StartPort::AnyFree);
    const int port = server.port();
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    tessel::server::testing::Client client(port);
    client.sendText(
        tessel::server::testing::request(u"CE00", u"{\"pages\":1,\"usedefaultprinter\":\"1\"}"));
    auto reply = client.reply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(text::toUtf8(reply->substr(35)), "CE000001");
    client.sendText(tessel::server::testing::request(u"CE09"));
    reply = client.reply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(text::toUtf8(reply->substr(35)), "CE0901");
}
