// The layout-server request against a loopback HTTP server: the form data on the wire (its
// values URL-encoded), the answer turned into the page list and the layout file, layout file
// names that would leave the layouts folder, "[E]" answers, failed exchanges and the time-out.
#include <gtest/gtest.h>

#include "fakes.h"
#include "platform/testing/http_server.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "server/layoutrequest.h"

using namespace tessel;
using namespace tessel::server;
using tessel::server::testing::FakeCipher;
using tessel::server::testing::FixedClock;
namespace text = platform::text;

namespace {

// A data frame whose second field (4 characters in, 3 wide) is the layout code "ABC".
const std::u16string kFrame = u"0001ABC한 글&x=1";
const std::string kFrameEncoded = "0001ABC%C7%D1%20%B1%DB%26x%3D1";
const std::string kNowEncoded = "2020-03-02%2009%3A05%3A03";

class LayoutServer : public ::testing::Test {
  protected:
    void configure(const std::u16string& getType, const std::string& url) {
        ini.FileName(text::fromUtf8((machine.path() / "server.ini").string()));
        ini.WriteValue(u"XML", u"GETTYPE", getType);
        ini.WriteValue(u"XML", u"URLPATH", text::fromUtf8(url));
        ini.WriteValue(u"XML", u"CharSet", u"utf-8");
        ini.WriteValue(u"DATAFRAME", u"DIGIT", u"4,3,9");
        ini.WriteValue(u"DATAFRAME", u"LAYOUTCODE", u"2");
        ini.WriteValue(u"LAYOUTFILE", u"ABC", u"cert.exml");
        settings = readSettings(ini, u"/opt/tessel");
    }
    LayoutServerRequest request(std::chrono::milliseconds timeout = kLayoutServerTimeout) {
        return LayoutServerRequest({issue, settings, ini, cipher, clock, u"/opt/tessel"}, timeout);
    }
    std::u16string expectedParam(const std::u16string& layoutFile) {
        return std::u16string(kParamCipherPrefix) + u"<" + MakeParamString(settings, clock.now()) +
               u"FileUrl==/opt/tessel/layouts/" + layoutFile + u"|>";
    }

    platform::testing::TempMachine machine;
    platform::testing::HttpServer server;
    iniTool ini;
    ServerSettings settings;
    IssueState issue;
    FakeCipher cipher;
    FixedClock clock;
};

}  // namespace

TEST_F(LayoutServer, PlainFormValuesAreUrlEncodedOnTheWire) {
    configure(u"0", server.url("/tessel/layout.jsp"));
    EXPECT_EQ(layoutCodeOf(kFrame, settings), u"ABC");
    server.setReply("  p1,p2,  ");
    ASSERT_TRUE(request().FLayoutRequest(1, kFrame)) << text::toUtf8(issue.errorMessage);

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "POST /tessel/layout.jsp HTTP/1.1");
    auto& headers = requests[0].headerLines;
    EXPECT_NE(std::find(headers.begin(), headers.end(),
                        "Content-type: application/x-www-form-urlencoded"),
              headers.end());
    EXPECT_NE(std::find(headers.begin(), headers.end(), "pragma: no-cache"), headers.end());
    EXPECT_EQ(requests[0].body, "TimeStamp=" + kNowEncoded +
                                    "&rcode=ABC&layout=ABC&framedata=" + kFrameEncoded + "&type=0");

    // The trimmed answer goes through the cipher into the page list; the layout file comes
    // from [LAYOUTFILE].
    EXPECT_EQ(issue.pageImageList.text(), u"<p1,p2,>");
    EXPECT_EQ(text::toUtf8(issue.paramCipherText), text::toUtf8(expectedParam(u"cert.exml")));
    EXPECT_EQ(issue.stateCode, state::SetUp);
    EXPECT_EQ(issue.layoutStatus, u"200");
    EXPECT_EQ(issue.statusLabel, kIssueReadyLabel);
}

TEST_F(LayoutServer, EncryptedFormAndLayoutFileFromTheAnswer) {
    configure(u"1", server.url("/tessel/layout.jsp"));
    cipher.calls.clear();
    server.setReply("p1,p2,|form2");
    ASSERT_TRUE(request().FLayoutRequest(1, kFrame)) << text::toUtf8(issue.errorMessage);

    ASSERT_GE(cipher.calls.size(), 1u);
    EXPECT_EQ(text::toUtf8(cipher.calls[0].plain),
              "TimeStamp=2020-03-02 09:05:03&rcode=ABC&layout=ABC&framedata=" +
                  text::toUtf8(kFrame) + "&type=1");
    EXPECT_EQ(cipher.calls[0].charset, u"utf-8");
    const std::string sealed = "<" + text::toUtf8(cipher.calls[0].plain) + ">";
    EXPECT_EQ(
        server.requests().at(0).body,
        "Param=" + text::toUtf8(urlEncodeBase64(text::fromUtf8(sealed))) + "&type=1&rcode=ABC");
    EXPECT_EQ(issue.pageImageList.text(), u"p1,p2,");
    EXPECT_EQ(text::toUtf8(issue.paramCipherText), text::toUtf8(expectedParam(u"form2.exml")));

    // An answer that names its file with the extension keeps the name as it is.
    server.setReply("p3,|form3.exml");
    ASSERT_TRUE(request().FLayoutRequest(1, kFrame));
    EXPECT_EQ(issue.pageImageList.text(), u"p3,");
    EXPECT_EQ(text::toUtf8(issue.paramCipherText), text::toUtf8(expectedParam(u"form3.exml")));
}

TEST_F(LayoutServer, RefusedAnswers) {
    configure(u"1", server.url("/layout"));
    struct Case {
        std::string status;
        std::string body;
        std::u16string error;  // empty: any
        std::u16string layoutStatus;
    } cases[] = {
        {"200 OK", "p|../../etc/passwd", {}, u"200"},
        {"200 OK", "p|sub/form", {}, u"200"},
        {"200 OK", "p|sub\\form", {}, u"200"},
        {"200 OK", "p|..exml", {}, u"200"},
        {"200 OK", "p|form|FileUrl==/etc/x", {}, u"200"},
        {"200 OK", "[E] 레이아웃이 없습니다", u"[E] 레이아웃이 없습니다", u"200"},
        {"200 OK", "   ", {}, u"200"},
        {"404 Not Found", "p|form", u"Not Found", u"404"},
        {"503 Service Unavailable", "p|form", u"Service Unavailable", u"503"},
    };
    for (const Case& c : cases) {
        issue = IssueState{};
        issue.pageImageList.assign(u"kept,");
        server.setReply(c.body, c.status);
        EXPECT_FALSE(request().FLayoutRequest(1, kFrame)) << c.body;
        EXPECT_FALSE(issue.resultFlag) << c.body;
        EXPECT_TRUE(issue.paramCipherText.empty()) << c.body;
        EXPECT_EQ(issue.pageImageList.text(), u"kept,") << c.body;
        EXPECT_EQ(issue.layoutStatus, c.layoutStatus) << c.body;
        if (!c.error.empty()) {
            EXPECT_EQ(issue.errorMessage, c.error) << c.body;
        }
        if (c.body.find('|') != std::string::npos && c.status.starts_with("200")) {
            EXPECT_FALSE(issue.errorMessage.empty()) << c.body;
        }
    }
}

TEST_F(LayoutServer, FailedExchangesLeaveStateFortyOne) {
    platform::testing::SilentServer silent;
    struct Case {
        std::string url;
        std::chrono::milliseconds timeout;
    } cases[] = {
        {silent.url("/layout"), std::chrono::milliseconds(300)},  // no answer: time-out
        {"not a url", kLayoutServerTimeout},
        {"", kLayoutServerTimeout},
    };
    for (const Case& c : cases) {
        configure(u"1", c.url);
        issue = IssueState{};
        EXPECT_FALSE(request(c.timeout).FLayoutRequest(1, kFrame)) << c.url;
        EXPECT_EQ(issue.stateCode, state::LayoutServerError) << c.url;
        EXPECT_FALSE(issue.resultFlag);
        EXPECT_FALSE(issue.layoutSuccess);
        EXPECT_FALSE(issue.errorMessage.empty()) << c.url;
        EXPECT_TRUE(issue.paramCipherText.empty());
    }
}

// The layout answer is held only up to the client's ceiling, even when the page list may be
// longer, and a server that trickles its answer is cut off: the run fails with "41".
TEST_F(LayoutServer, AnswersAboveTheClientsLimitOrNeverEndingFail) {
    platform::testing::LoweredHttpLimits lowered({100, std::chrono::milliseconds(200)});
    configure(u"1", server.url("/layout"));
    server.setReply(std::string(101, 'r'));
    EXPECT_EQ(request().FHttpSend(text::fromUtf8(server.url("/")), u"", false), u"");
    EXPECT_NE(text::toUtf8(issue.errorMessage).find("larger than 100 bytes"), std::string::npos)
        << text::toUtf8(issue.errorMessage);
    EXPECT_EQ(issue.stateCode, state::LayoutServerError);
    issue = IssueState{};
    server.setRawReply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nfirst");
    server.setTrickle(20);
    EXPECT_EQ(request().FHttpSend(text::fromUtf8(server.url("/")), u"", false), u"");
    EXPECT_NE(text::toUtf8(issue.errorMessage).find("timed out"), std::string::npos)
        << text::toUtf8(issue.errorMessage);
    EXPECT_EQ(issue.stateCode, state::LayoutServerError);
}

TEST_F(LayoutServer, GetSendsNoBodyAndTheUpperCaseMethod) {
    configure(u"1", server.url("/"));
    server.setReply("answer 한글");
    EXPECT_EQ(request().FHttpSend(text::fromUtf8(server.url("/q?a=1")), u"ignored", false),
              u"answer 한글");
    auto r = server.requests().at(0);
    EXPECT_EQ(r.requestLine, "GET /q?a=1 HTTP/1.1");
    EXPECT_TRUE(r.body.empty());
    EXPECT_NE(std::find(r.headerLines.begin(), r.headerLines.end(), "pragma: no-cache"),
              r.headerLines.end());
    for (const auto& h : r.headerLines) EXPECT_FALSE(h.starts_with("Content-type")) << h;
    EXPECT_TRUE(issue.layoutSuccess);
}
