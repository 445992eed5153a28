// The protocol client over a run that waits in the printer selection: the real server with the
// real viewer and cipher libraries, and the selection driven by its script file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QImage>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "server_process.h"

using namespace tessel::server::testing;
namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::size_t pdfCount(const fs::path& folder) {
    std::size_t n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".pdf") ++n;
    return n;
}

class ClientRun : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* library : {VISTREL_LIBRARY, CIPHRA_LIBRARY}) {
            auto reg = platform::testing::runProgram(REGSVR, {library});
            ASSERT_EQ(reg.exitCode, 0) << reg.err;
        }
        QImage image(210, 297, QImage::Format_RGB32);
        image.fill(QColor(20, 40, 160));
        ASSERT_TRUE(image.save(QString::fromStdString((machine.path() / "page.png").string())));
        // Without the default printer the run waits in the selection until the script speaks.
        std::ofstream(machine.path() / "setup.json") << R"({"pages": 1, "usedefaultprinter": "0"})";
        setenv("TESSEL_PRINTER_DIALOG_SCRIPT", script.c_str(), 1);
        server.emplace(machine.path(), "[SYSTEM]\r\nLocalIP=127.0.0.1\r\n", StartPort::AnyFree);
        unsetenv("TESSEL_PRINTER_DIALOG_SCRIPT");
        port = server->port();
        ASSERT_TRUE(server->waitListening(port)) << server->errors();
    }

    // The client started in the background, its output and errors in files.
    void startClient(std::vector<std::string> commands) {
        platform::process::SpawnOptions options;
        options.argv = {client, "--timeout", "1", "--port", std::to_string(port)};
        options.argv.insert(options.argv.end(), commands.begin(), commands.end());
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        options.stdoutFd = out;
        options.stderrFd = err;
        ASSERT_EQ(platform::process::spawn(options, background), 0);
        ::close(out);
        ::close(err);
    }
    bool clientSaidRunning() {
        return waitFor([&] { return readText(errFile).find("state 10") != std::string::npos; });
    }
    void choosePrint() {
        std::ofstream(script.string() + ".tmp") << "print";
        fs::rename(script.string() + ".tmp", script);
    }
    std::string poll() {
        auto r = platform::testing::runProgram(client, {"--port", std::to_string(port), "poll"});
        return r.out.substr(0, r.out.find('\t'));
    }

    platform::testing::TempMachine machine;
    int port = 0;  // the server's, once it started
    fs::path script = machine.path() / "dialog-script";
    fs::path outFile = machine.path() / "client.out";
    fs::path errFile = machine.path() / "client.err";
    std::string client = (platform::testing::binFolder() / "tessel-client").string();
    std::optional<ServerProcess> server;
    platform::process::Child background;
};

// The operator stays in the dialog longer than the client's time-out: the client keeps
// polling, tells the state, and reports the print when it happens.
TEST_F(ClientRun, ARunLongerThanTheTimeOutIsWaitedForAndReportedPrinted) {
    startClient({"setup", (machine.path() / "setup.json").string(), "page",
                 (machine.path() / "page.png").string(), "run", "poll"});
    ASSERT_TRUE(clientSaidRunning()) << readText(errFile) << server->errors();
    // Three times the client's time-out in the dialog.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_FALSE(background.exited()) << readText(outFile) << readText(errFile);
    choosePrint();
    const int status = background.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readText(errFile);
    const std::string out = readText(outFile);
    EXPECT_NE(out.find("CE02 00 30\tprinted\n"), std::string::npos) << out << readText(errFile);
    EXPECT_NE(out.find("CE09 30 \tpoll: printed\n"), std::string::npos) << out;
    // Polls are told on standard error, not mixed into the replies.
    EXPECT_EQ(out.find("CE09 10"), std::string::npos) << out;
    EXPECT_EQ(pdfCount(machine.path() / "print"), 1u) << server->errors();
}

// A client that leaves during the run: the run goes on, and a new client reads its end state.
TEST_F(ClientRun, AClientThatLeftMidRunReadsTheFinalStateWithPoll) {
    startClient({"setup", (machine.path() / "setup.json").string(), "page",
                 (machine.path() / "page.png").string(), "run"});
    ASSERT_TRUE(clientSaidRunning()) << readText(errFile) << server->errors();
    ::kill(background.pid(), SIGKILL);
    background.wait();

    EXPECT_TRUE(waitFor([&] { return poll() == "CE09 10 "; })) << server->errors();
    choosePrint();
    EXPECT_TRUE(waitFor([&] { return poll() == "CE09 30 "; })) << server->errors();
    EXPECT_EQ(pdfCount(machine.path() / "print"), 1u) << server->errors();
}

// A client that sends its run and then says nothing is not closed as idle while the run lasts.
TEST_F(ClientRun, ASilentClientKeepsItsConnectionWhileItsRunLasts) {
    Client silent(port);
    ASSERT_TRUE(silent.connected());
    silent.setTimeout(30);
    auto body = [](const std::optional<std::u16string>& reply) {
        return reply && reply->size() > 35 ? platform::text::toUtf8(reply->substr(35))
                                           : std::string("<none>");
    };
    silent.sendText(request(u"CE00", u"{\"pages\":1,\"usedefaultprinter\":\"0\"}"));
    ASSERT_EQ(body(silent.reply()), "CE000001") << server->errors();
    std::ifstream in(machine.path() / "page.png", std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    silent.sendText(request(
        u"CE01", u"0001," + platform::text::toHex(std::span(
                                reinterpret_cast<const std::uint8_t*>(png.data()), png.size()))));
    ASSERT_EQ(body(silent.reply()).substr(0, 6), "CE0100") << server->errors();
    silent.sendText(request(u"CE02"));
    // Three idle time-outs in the selection, without a word from the client.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    choosePrint();
    EXPECT_EQ(body(silent.reply()), "CE020030") << server->errors();
}

}  // namespace
