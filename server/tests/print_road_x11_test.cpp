// The print road's failure on a real X display (a private Xvfb): the real issuing server shows
// the failure box, and the reason is a line of its log while the box waits for the operator.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QIODevice>
#include <QImage>

#include <optional>
#include <sstream>
#include <string>

#include "page_frames.h"
#include "platform/testing/environment.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/testing/xvfb.h"
#include "server_process.h"

using namespace tessel::server::testing;

namespace {

// The visible windows titled exactly `title`, by xdotool's search.
std::vector<std::string> windowsTitled(const std::string& title) {
    const auto found =
        platform::testing::runProgram(platform::testing::onPath("xdotool"),
                                      {"search", "--onlyvisible", "--name", "^" + title + "$"});
    std::vector<std::string> ids;
    std::istringstream lines(found.out);
    for (std::string id; std::getline(lines, id);)
        if (!id.empty()) ids.push_back(id);
    return ids;
}

TEST(PrintRoadOnX11, AFailedPrintShowsItsBoxAndTheLogSaysWhy) {
    platform::testing::TempMachine machine;
    platform::testing::XvfbDisplay display;
    TESSEL_START_XVFB(display, machine.path());
    for (const char* library : {VISTREL_LIBRARY, CIPHRA_LIBRARY}) {
        auto reg = platform::testing::runProgram(REGSVR, {library});
        ASSERT_EQ(reg.exitCode, 0) << reg.err;
    }
    // Room for no decoded page: printing the page fails.
    std::optional<platform::testing::ScopedVariable> memory(std::in_place, "TESSEL_PAGE_MEMORY_MB",
                                                            "1");
    ServerProcess server(machine.path(), "[SYSTEM]\r\nLocalIP=127.0.0.1\r\n", StartPort::AnyFree);
    memory.reset();
    const int port = server.port();
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    Client client(port);
    ASSERT_TRUE(client.connected());
    client.setTimeout(60);
    client.sendText(request(u"CE00", u"{\"pages\":1,\"usedefaultprinter\":\"1\"}"));
    ASSERT_EQ(body(client.reply()), "CE000001") << server.errors();
    client.sendText(request(u"CE01", pngPage(1000, 1000)));
    ASSERT_EQ(body(client.reply()).substr(0, 6), "CE0100") << server.errors();
    client.sendText(request(u"CE02"));

    // The box is up and the run waits for it; the log already says why.
    EXPECT_TRUE(server.waitLogLine("인쇄 실패: 페이지 1 이미지가 너무 커서 담을 수 없습니다."))
        << server.errors();
    std::vector<std::string> boxes;
    ASSERT_TRUE(waitFor([&] { return !(boxes = windowsTitled("TesselServer")).empty(); }))
        << server.errors();
    EXPECT_EQ(server.errors().find("[message box]"), std::string::npos) << server.errors();

    // The operator answers it; the run then replies that nothing was printed.
    const std::string xdotool = platform::testing::onPath("xdotool");
    auto focus = platform::testing::runProgram(xdotool, {"windowfocus", "--sync", boxes[0]});
    ASSERT_EQ(focus.exitCode, 0) << focus.err;
    auto key = platform::testing::runProgram(xdotool, {"key", "Return"});
    ASSERT_EQ(key.exitCode, 0) << key.err;
    EXPECT_EQ(body(client.reply()), "CE020231") << server.errors();
    EXPECT_TRUE(windowsTitled("TesselServer").empty());
}

}  // namespace
