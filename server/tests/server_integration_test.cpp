// The real TesselServer, started in a temporary machine folder with its own INI and driven over
// loopback TCP.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "lib/initool/initool.h"
#include "platform/testing/run_program.h"
#include "server_process.h"

using namespace tessel;
using namespace tessel::server;
using namespace tessel::server::testing;
namespace text = platform::text;
namespace fs = std::filesystem;

namespace {

std::string u8(const std::optional<std::u16string>& s) {
    return s ? text::toUtf8(*s) : std::string("<none>");
}

// The reply without its timestamp: length, "CI", then the body.
std::string shape(const std::optional<std::u16string>& reply) {
    if (!reply || reply->size() < 35) return u8(reply);
    EXPECT_EQ(reply->substr(8, 8), u"SMATM001");
    return text::toUtf8(reply->substr(0, 8) + u" " + reply->substr(33));
}

class Server : public ::testing::Test {
  protected:
    std::string iniFor(const std::string& extra = "") {
        return "[SYSTEM]\r\nLocalIP=127.0.0.1\r\n" + extra;
    }
    // The real server, listening from its start on a free port the system picks: `port`.
    ServerProcess& start(const std::string& ini) {
        server_.emplace(machine.path(), ini, StartPort::AnyFree);
        port = server_->port();
        return *server_;
    }
    std::u16string iniValue(const ServerProcess& server, const char16_t* key) {
        iniTool ini;
        ini.FileName(text::fromUtf8(server.iniPath().string()));
        return ini.GetValue(u"SYSTEM", key, u"<none>");
    }
    platform::testing::TempMachine machine;
    std::optional<ServerProcess> server_;
    int port = 0;
};

}  // namespace

TEST_F(Server, AnswersPollsVersionsAndUnknownCodes) {
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    Client client(port);
    ASSERT_TRUE(client.connected());
    struct Case {
        const char16_t* code;
        const char* reply;
    } cases[] = {
        {u"CE09", "00000041 CICE0900"},   {u"ce09", "00000041 CIce0900"},
        {u"CE91", "00000041 CICE9100"},   {u"CE55", "00000041 CICE5560"},
        {u"CE30", "00000043 CICE300001"}, {u"CE40", "00000043 CICE400001"},
        {u"CE01", "00000043 CICE010000"}, {u"CE02", "00000043 CICE020200"},
    };
    for (const auto& c : cases) {
        client.sendText(request(c.code));
        EXPECT_EQ(shape(client.reply()), c.reply) << text::toUtf8(c.code);
    }
    // Page data and a poll in one arrival: both answered, in order.
    client.sendText(request(u"CE01", u"0001,AAAA") + request(u"CE01", u"0002,BBBB") +
                    request(u"CE09"));
    EXPECT_EQ(shape(client.reply()), "00000043 CICE010000");
    EXPECT_EQ(shape(client.reply()), "00000043 CICE010000");
    EXPECT_EQ(shape(client.reply()), "00000041 CICE0900");
}

TEST_F(Server, SplitFramesWaitAndBadHeadersClose) {
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    {
        // The frame in three separate writes, cut inside the header and inside the code.
        Client client(port);
        std::u16string poll = request(u"CE09");
        client.sendText(poll.substr(0, 12));
        client.sendText(poll.substr(12, 25));
        client.sendText(poll.substr(37));
        EXPECT_EQ(shape(client.reply()), "00000041 CICE0900");
        client.send("HELLO\r\n");
        EXPECT_TRUE(client.closedByServer());
    }
    // The slot is free again and the old bytes are gone.
    Client next(port);
    next.sendText(request(u"CE09"));
    EXPECT_EQ(shape(next.reply()), "00000041 CICE0900");
}

TEST_F(Server, ASecondClientIsRefused) {
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    Client first(port);
    first.sendText(request(u"CE09"));
    ASSERT_EQ(shape(first.reply()), "00000041 CICE0900");
    Client second(port);
    EXPECT_TRUE(second.closedByServer());
    first.sendText(request(u"CE09"));
    EXPECT_EQ(shape(first.reply()), "00000041 CICE0900");
}

TEST_F(Server, ReloadKeepsTheAddressAndReadsThePort) {
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    int newPort = freePort();
    std::ofstream(server.iniPath(), std::ios::binary)
        << "[SYSTEM]\r\nLocalIP=127.0.0.2\r\nPORT=" << newPort << "\r\n";
    Client client(port);
    client.sendText(request(u"CE90"));
    EXPECT_TRUE(client.closedByServer());  // no reply; the restart drops the client
    EXPECT_TRUE(server.waitListening(newPort)) << server.errors();
    EXPECT_FALSE(listening(kLoopback, port));
    EXPECT_FALSE(listening(0x7F000002, newPort));
    Client again(newPort);
    again.sendText(request(u"CE09"));
    EXPECT_EQ(shape(again.reply()), "00000041 CICE0900");
}

TEST_F(Server, UnavailableAddressFallsBackToLoopback) {
    ServerProcess& server = start("[SYSTEM]\nLocalIP=192.0.2.1\n");
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    EXPECT_EQ(iniValue(server, u"LocalIP"), u"127.0.0.1");
    EXPECT_TRUE(server.running());
}

// An INI path that names a named pipe is not read (the server starts on its defaults) nor
// written over, and the log says why the loopback address could not be stored.
TEST_F(Server, AnIniThatIsANamedPipeIsRefusedAndTheLogSaysWhy) {
    const fs::path pipe = machine.path() / "server.ini";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ServerProcess& server = start("");
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    const std::string expected = "LocalIP=127.0.0.1 을 " + pipe.string() +
                                 " 에 쓸 수 없습니다: " + pipe.string() +
                                 " is a named pipe, not a regular file";
    EXPECT_TRUE(waitFor([&] { return server.errors().find(expected) != std::string::npos; }))
        << server.errors();
    struct stat st {};
    ASSERT_EQ(::stat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(Server, PortInUseEndsTheProgram) {
    // Occupy a port, then point the server at it.
    HeldPort blocker(true);
    ASSERT_GT(blocker.port(), 0);
    ServerProcess server(machine.path(), iniFor("PORT=" + std::to_string(blocker.port()) + "\r\n"));
    auto code = server.waitExit();
    ASSERT_TRUE(code.has_value());
    EXPECT_NE(*code, 0);
    EXPECT_NE(server.errors().find("10048 (address already in use)"), std::string::npos)
        << server.errors();
}

TEST_F(Server, OversizeFrameClosesTheClient) {
    ServerProcess& server = start(iniFor("MaxFrameLength=1000\r\n"));
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    Client client(port);
    client.sendText(request(u"CE01", u"0001," + std::u16string(5000, u'A')));
    EXPECT_TRUE(client.closedByServer());
    Client next(port);
    next.sendText(request(u"CE09"));
    EXPECT_EQ(shape(next.reply()), "00000041 CICE0900");
}

TEST_F(Server, SetUpWithoutTheCipherLibraryAnswers02) {
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    Client client(port);
    client.sendText(request(u"CE00", u"{\"pages\":1,\"usedefaultprinter\":\"1\"}"));
    auto reply = client.reply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->substr(35, 7), u"CE0002;");
    EXPECT_NE(reply->find(u"암호화"), std::u16string::npos) << u8(reply);
    client.sendText(request(u"CE09"));
    EXPECT_EQ(shape(client.reply()), "00000041 CICE0900");
    // A body that is not an object, and a value that would inject entries.
    client.sendText(request(u"CE00", u"[1]"));
    EXPECT_EQ(client.reply()->substr(35, 7), u"CE0002;");
    client.sendText(request(u"CE00", u"{\"ExceptPrinterDriver\":\"x|PrintOnly==1\"}"));
    EXPECT_EQ(client.reply()->substr(35, 7), u"CE0002;");
}

TEST_F(Server, ProtocolClientSendsFilesAndPrintsReplies) {
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    std::ofstream(machine.path() / "page.bin", std::ios::binary) << std::string("\x89PNG\x01", 5);
    std::string client = (platform::testing::binFolder() / "tessel-client").string();
    auto r =
        platform::testing::runProgram(client, {"--port", std::to_string(port), "poll", "page",
                                               (machine.path() / "page.bin").string(), "page64",
                                               (machine.path() / "page.bin").string(), "version",
                                               "raw", "ce55", "--body", "한글", "run", "poll"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Each line: the reply, a TAB, what it means.
    EXPECT_EQ(r.out,
              "CE09 00 \tpoll: idle: the configuration was loaded, no issue is set up\n"
              "CE01 00 00\tdone; state 00: idle: the configuration was loaded, no issue is set "
              "up\n"
              "CE01 00 00\tdone; state 00: idle: the configuration was loaded, no issue is set "
              "up\n"
              "CE91 00 \tthe viewer's version\n"
              "ce55 60 \tunknown command\n"
              "CE02 02 00\tnot run: nothing was set up\n"
              "CE09 00 \tpoll: idle: the configuration was loaded, no issue is set up\n");

    auto bad = platform::testing::runProgram(
        client, {"--port", std::to_string(port), "frame", "GET / HTTP/1.0"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(platform::testing::runProgram(client, {"nothing"}).exitCode, 2);
}

// The client's own checks: what it refuses before connecting, why a connection failed, the
// byte-order mark of a set-up file, and the code table.
TEST_F(Server, ProtocolClientExplainsItsFailuresAndItsCodes) {
    std::string client = (platform::testing::binFolder() / "tessel-client").string();
    for (const char* timeout : {"abc", "12x", "0", "-3", ""}) {
        auto r = platform::testing::runProgram(client, {"--timeout", timeout, "poll"});
        EXPECT_EQ(r.exitCode, 2) << timeout;
        EXPECT_NE(r.err.find("--timeout"), std::string::npos) << r.err;
    }
    {
        // Nothing listens on the port.
        HeldPort unused(false);
        ASSERT_GT(unused.port(), 0);
        const std::string port = std::to_string(unused.port());
        auto refused = platform::testing::runProgram(client, {"--port", port, "poll"});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(refused.err.find("127.0.0.1 port " + port + ": connection refused"),
                  std::string::npos)
            << refused.err;
    }
    auto unknown =
        platform::testing::runProgram(client, {"--host", "no-such-host.invalid", "poll"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no-such-host.invalid port 9900: host or port not found"),
              std::string::npos)
        << unknown.err;

    auto codes = platform::testing::runProgram(client, {"--codes"});
    EXPECT_EQ(codes.exitCode, 0);
    for (const char* row :
         {"| `30` | printed |", "| `31` | the viewer ran and nothing was printed |",
          "| `CE02 02 01` | not run: no printer available, or no page; or refused during another "
          "run |"})
        EXPECT_NE(codes.out.find(row), std::string::npos) << row << "\n" << codes.out;

    // A set-up file with a byte-order mark is the same JSON without it: the server sees an
    // object (no cipher library is registered here, so the set-up says so, not "not JSON").
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    std::ofstream(machine.path() / "setup.json", std::ios::binary) << "\xEF\xBB\xBF{\"pages\": 1}";
    auto setup = platform::testing::runProgram(client, {"--port", std::to_string(port), "setup",
                                                        (machine.path() / "setup.json").string()});
    EXPECT_EQ(setup.exitCode, 0) << setup.err;
    EXPECT_NE(setup.out.find("암호화"), std::string::npos) << setup.out;
}

// --help is asked for, not a mistake: the usage goes to standard output and the exit code is 0.
// A wrong command line still gets the usage on standard error and 2.
TEST_F(Server, ProtocolClientHelpPrintsTheUsage) {
    std::string client = (platform::testing::binFolder() / "tessel-client").string();
    for (const char* flag : {"--help", "-h"}) {
        auto help = platform::testing::runProgram(client, {flag});
        EXPECT_EQ(help.exitCode, 0) << flag << help.err;
        EXPECT_EQ(help.out.rfind("usage: tessel-client", 0), 0u) << help.out;
        for (const char* part : {"setup FILE.json", "--timeout SECONDS", "Exit code"})
            EXPECT_NE(help.out.find(part), std::string::npos) << part << "\n" << help.out;
        EXPECT_EQ(help.err, "");
    }
    for (std::vector<std::string> wrong :
         {std::vector<std::string>{}, {"--nonsense"}, {"frobnicate"}}) {
        auto r = platform::testing::runProgram(client, wrong);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("usage: tessel-client", 0), 0u) << r.err;
    }
}

// The server serves one client and closes any other connection at once, without a reply. The
// client turned away says that another client is the likely cause; once the first client has
// gone, the same command is answered.
TEST_F(Server, AProtocolClientTurnedAwayNamesAnotherClientAsTheLikelyCause) {
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    std::string client = (platform::testing::binFolder() / "tessel-client").string();
    const std::vector<std::string> poll = {"--timeout", "30", "--port", std::to_string(port),
                                           "poll"};
    {
        Client first(port);
        first.sendText(request(u"CE09"));
        ASSERT_EQ(shape(first.reply()), "00000041 CICE0900");
        for (int attempt = 0; attempt < 3; ++attempt) {
            auto turned = platform::testing::runProgram(client, poll);
            EXPECT_EQ(turned.exitCode, 1);
            EXPECT_EQ(turned.out, "");
            EXPECT_NE(turned.err.find("no reply to poll: the server closed the connection before "
                                      "answering; it serves one client at a time, so another "
                                      "client is probably connected"),
                      std::string::npos)
                << turned.err;
        }
        EXPECT_NE(server.errors().find("Client 접속초과"), std::string::npos) << server.errors();
    }
    EXPECT_TRUE(waitFor([&] { return platform::testing::runProgram(client, poll).exitCode == 0; }))
        << server.errors();
}

// Headless, the platform has no real windows; Qt's notes that it cannot raise or size one say
// nothing to the operator and stay out of the log on standard error.
TEST_F(Server, AHeadlessStartWritesNoPlatformWindowNotes) {
    ASSERT_NE(std::getenv("QT_QPA_PLATFORM"), nullptr) << "the tests run headless";
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    ASSERT_TRUE(waitFor([&] { return server.errors().find("트레이 대신") != std::string::npos; }))
        << server.errors();
    Client client(port);
    client.sendText(request(u"CE09"));
    ASSERT_EQ(shape(client.reply()), "00000041 CICE0900");
    EXPECT_EQ(server.errors().find("This plugin does not support"), std::string::npos)
        << server.errors();
}

TEST_F(Server, AFrameLeftUnfinishedIsClosedAfterTheTimeOut) {
    ServerProcess& server = start(iniFor("IncompleteFrameTimeout=1\r\n"));
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    Client stalled(port);
    stalled.sendText(request(u"CE09").substr(0, 20));
    EXPECT_TRUE(stalled.closedByServer());
    Client next(port);
    next.sendText(request(u"CE09"));
    EXPECT_EQ(shape(next.reply()), "00000041 CICE0900");
}

TEST_F(Server, AClientThatClosesAndReconnectsAtOnceIsAlwaysAccepted) {
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    int refused = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        Client client(port);
        client.sendText(request(u"CE09"));
        if (shape(client.reply()) != "00000041 CICE0900") ++refused;
    }
    EXPECT_EQ(refused, 0);
}

// CP949's postal mark (A2 E8) is one character wherever it arrives: alone, where it once crashed
// the decoder, and inside a page body, where the byte after it once went missing and left the
// frame a character short.
TEST_F(Server, ThePostalMarkBytesAreOneCharacterAndTheServerGoesOnAnswering) {
    ServerProcess& server = start(iniFor());
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    {
        Client raw(port);
        raw.send("\xA2\xE8");
        EXPECT_TRUE(raw.closedByServer());  // not a header
    }
    Client client(port);
    ASSERT_TRUE(client.connected());
    auto bytes = text::toAnsi(request(u"CE01", u"0001,#A"));
    std::string frame(bytes.begin(), bytes.end());
    frame.replace(frame.find('#'), 1, "\xA2\xE8");
    client.send(frame);
    EXPECT_EQ(shape(client.reply()), "00000043 CICE010000");
    client.sendText(request(u"CE09"));
    EXPECT_EQ(shape(client.reply()), "00000041 CICE0900");
}

// SIGTERM and SIGINT end the server through its loop: exit code 0, the port closed, the
// client disconnected, the INI file whole. Every log line went to standard error with its
// time stamp, and a desktop without a tray shows the window instead (offscreen has none).
TEST_F(Server, EndSignalsEndTheServerCleanlyAndTheLogIsOnStandardError) {
    for (int number : {SIGTERM, SIGINT}) {
        const std::string name = number == SIGTERM ? "SIGTERM" : "SIGINT";
        const std::string ini = iniFor("LogLevel=10\r\n");
        ServerProcess& server = start(ini);
        ASSERT_TRUE(server.waitListening(port)) << server.errors();
        Client client(port);
        client.sendText(request(u"CE09"));
        ASSERT_EQ(shape(client.reply()), "00000041 CICE0900");
        ::kill(server.pid(), number);
        EXPECT_EQ(server.waitExit(), std::optional<int>(0)) << name << server.errors();
        EXPECT_TRUE(client.closedByServer()) << name;
        EXPECT_FALSE(listening(kLoopback, port)) << name;
        std::ifstream in(server.iniPath(), std::ios::binary);
        EXPECT_EQ(
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            ini)
            << name;

        const std::string errors = server.errors();
        const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )";
        for (const std::string& line :
             {stamp + "Tessel 소켓 기동,0",
              stamp + "시스템 트레이가 없어 트레이 대신 창을 보입니다\\.",
              stamp + "1 << 39,00000039SMATM001.*CE09", stamp + "1 >> 00000041SMATM001.*CE0900",
              stamp + name + ": 서버를 끝냅니다\\.", stamp + "Tessel 소켓 중지,0"})
            EXPECT_TRUE(std::regex_search(errors, std::regex("(^|\n)" + line + "(\n|$)")))
                << line << "\n"
                << errors;
    }
}

// A connection that sends nothing, or got its reply and stays silent, would hold the only
// client slot: it is closed after IncompleteFrameTimeout, and the next client is served.
TEST_F(Server, AnIdleConnectionIsClosedAfterTheTimeOut) {
    ServerProcess& server = start(iniFor("IncompleteFrameTimeout=1\r\n"));
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    {
        Client silent(port);
        ASSERT_TRUE(silent.connected());
        EXPECT_TRUE(silent.closedByServer()) << server.errors();
    }
    {
        Client answered(port);
        answered.sendText(request(u"CE09"));
        EXPECT_EQ(shape(answered.reply()), "00000041 CICE0900");
        EXPECT_TRUE(answered.closedByServer()) << server.errors();
    }
    Client next(port);
    next.sendText(request(u"CE09"));
    EXPECT_EQ(shape(next.reply()), "00000041 CICE0900") << server.errors();
    EXPECT_NE(server.errors().find("초 동안 요청이 없어 접속을 끊습니다"), std::string::npos)
        << server.errors();
}

// A client that sends its request and closes without reading the reply: the next client,
// connecting at once, is served every time.
TEST_F(Server, AClientThatLeavesWithoutReadingItsReplyFreesTheSlotAtOnce) {
    ServerProcess& server = start(iniFor("LogLevel=1\r\n"));
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    int refused = 0;
    for (int cycle = 0; cycle < 2000; ++cycle) {
        {
            Client leaving(port);
            leaving.sendText(request(u"CE09"));
        }
        Client next(port);
        next.sendText(request(u"CE09"));
        if (shape(next.reply()) != "00000041 CICE0900") ++refused;
    }
    EXPECT_EQ(refused, 0);
    std::printf("refused connects in 2000 reconnects: %d\n", refused);
}
