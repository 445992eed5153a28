// The sample certificate issued end to end on a kiosk whose printers are its real CUPS queues:
// the real issuing server, viewer control and message cipher library, a private cupsd whose
// default queue is a network printer on loopback, and the protocol client.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "platform/print/pdf_pages.h"
#include "platform/system/description.h"
#include "platform/testing/cupsd.h"
#include "platform/testing/environment.h"
#include "platform/testing/fake_scheduler.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "server_process.h"

using namespace tessel::server::testing;

namespace {

// The issuing server of a kiosk whose printers are the CUPS queues (the description chooses
// them and describes no printer of its own), with the libraries registered in its machine.
std::unique_ptr<ServerProcess> cupsServer(const platform::testing::TempMachine& machine) {
    EXPECT_TRUE(platform::system::describeMachine(R"({"spooler": "cups"})"));
    for (const char* library : {VISTREL_LIBRARY, CIPHRA_LIBRARY}) {
        auto reg = platform::testing::runProgram(REGSVR, {library});
        EXPECT_EQ(reg.exitCode, 0) << reg.err;
    }
    return std::make_unique<ServerProcess>(machine.path(), "[SYSTEM]\r\nLocalIP=127.0.0.1\r\n",
                                           StartPort::AnyFree);
}

// The sample issue through the protocol client; `timeout` bounds how long a poll may go
// unanswered.
platform::testing::ProgramResult issue(int port, const std::filesystem::path& setup,
                                       int timeout = 120) {
    return platform::testing::runProgram(
        (platform::testing::binFolder() / "tessel-client").string(),
        {"--port", std::to_string(port), "--timeout", std::to_string(timeout), "setup",
         setup.string(), "page", SAMPLES "/page1.png", "run", "poll"});
}

TEST(RealCupsIssue, TheSampleCertificateReachesTheSocketPrinter) {
    TESSEL_REQUIRE_CUPSD();
    platform::testing::TempMachine machine;
    platform::testing::CupsKiosk kiosk;
    ASSERT_EQ(kiosk.problem(), "");
    const auto& cupsd = kiosk.cupsd;
    ASSERT_EQ(cupsd.run("lpadmin", {"-d", "Tessel_Socket"}).exitCode, 0);
    auto server = cupsServer(machine);
    ASSERT_TRUE(server->waitListening(server->port())) << server->errors();
    auto r = issue(server->port(), SAMPLES "/sample.json");
    EXPECT_EQ(r.exitCode, 0) << r.err << server->errors();
    EXPECT_NE(r.out.find("CE02 00 30\t"), std::string::npos) << r.out << server->errors();

    // The queue hands the job (Qt's PDF, the queue being raw) to the printer as it is.
    const auto job = kiosk.printer.job(0);
    ASSERT_TRUE(job) << cupsd.log() << cupsd.run("lpstat", {"-l", "-o"}).out;
    ASSERT_TRUE(job->starts_with("%PDF-")) << job->substr(0, 64);
    const auto file = machine.path() / "received.pdf";
    std::ofstream(file, std::ios::binary) << *job;
    EXPECT_EQ(platform::print::testing::pdfPages(file).size(), 1u);
}

// A default queue that rejects jobs, printed on as it is ("usedefaultprinter" "1"), is no
// printed certificate: CUPS's refusal of the job ends the run as a failed print and is told.
TEST(RealCupsIssue, ARejectingDefaultQueueEndsTheRunAsAFailedPrint) {
    TESSEL_REQUIRE_CUPSD();
    platform::testing::TempMachine machine;
    platform::testing::CupsKiosk kiosk;
    ASSERT_EQ(kiosk.problem(), "");
    const auto& cupsd = kiosk.cupsd;
    ASSERT_EQ(cupsd.run("lpadmin", {"-d", "Tessel_Socket"}).exitCode, 0);
    ASSERT_EQ(cupsd.run("cupsreject", {"Tessel_Socket"}).exitCode, 0);
    auto server = cupsServer(machine);
    ASSERT_TRUE(server->waitListening(server->port())) << server->errors();
    auto r = issue(server->port(), SAMPLES "/sample.json");
    EXPECT_EQ(r.exitCode, 0) << r.err << server->errors();
    EXPECT_NE(r.out.find("CE02 02 31"), std::string::npos) << r.out << server->errors();
    EXPECT_NE(r.out.find("CE09 31"), std::string::npos) << r.out;
    // The reason is a line of the server's log (on standard error), not only the box's text.
    EXPECT_TRUE(
        server->waitLogLine("인쇄 실패: the queue Tessel_Socket refused the job at "
                            "Create-Job: server-error-not-accepting-jobs"))
        << server->errors();
    EXPECT_EQ(cupsd.run("lpstat", {"-o"}).out, "");
}

// A scheduler that cannot be used (it takes the connection and never answers, trickles its
// answer a byte every 50 ms, closes at once, answers garbage, or nothing listens) is a machine
// without an available printer, as a Windows machine whose spooler is stopped: the viewer is
// not run and the reply is "02" "01", with no message box; meanwhile the server keeps
// answering polls (the client gives up on any poll left unanswered for 3 s). The server's log
// names the scheduler and the true cause.
TEST(RealCupsIssue, AnUnusableSchedulerIsNoAvailablePrinterWhilePollsAreAnswered) {
    using Mode = platform::testing::FakeScheduler::Mode;
    const struct {
        std::optional<Mode> mode;  // nullopt: nothing listens
        const char* says;
    } rows[] = {
        {Mode::Silent, " did not answer within 5 seconds"},
        {Mode::Trickle, " did not answer within 5 seconds"},
        {Mode::Close, " gave no IPP answer"},
        {Mode::Garbage, " gave no IPP answer"},
        {std::nullopt, " cannot be reached (Connection refused)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.says);
        platform::testing::TempMachine machine;
        std::optional<platform::testing::FakeScheduler> fake;
        std::optional<platform::testing::HeldPort> nobody;
        std::string name;
        if (row.mode) {
            fake.emplace(*row.mode);
            name = fake->server();
        } else {
            nobody.emplace(false);  // bound, not listening: connections are refused
            name = "127.0.0.1:" + std::to_string(nobody->port());
            setenv("CUPS_SERVER", name.c_str(), 1);
        }
        auto server = cupsServer(machine);
        if (!row.mode) unsetenv("CUPS_SERVER");
        ASSERT_TRUE(server->waitListening(server->port())) << server->errors();
        const auto started = std::chrono::steady_clock::now();
        auto r = issue(server->port(), SAMPLES "/sample.json", 3);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(r.exitCode, 0) << r.err << server->errors();
        EXPECT_NE(r.out.find("CE02 02 01"), std::string::npos) << r.out << server->errors();
        EXPECT_NE(r.out.find("CE09 01"), std::string::npos) << r.out;
        // Ended by the deadline, however the bytes came (a bound that proves it ends).
        EXPECT_LT(took, std::chrono::seconds(20));
        const std::string log = server->errors();
        EXPECT_NE(log.find("사용할 수 있는 프린터가 없습니다."), std::string::npos) << log;
        EXPECT_NE(log.find("프린터 목록을 읽을 수 없습니다: the CUPS scheduler " + name + row.says),
                  std::string::npos)
            << log;
        EXPECT_EQ(log.find("[message box]"), std::string::npos) << log;
        EXPECT_EQ(log.find("(Success)"), std::string::npos) << log;
        EXPECT_EQ(log.find("Bad file descriptor"), std::string::npos) << log;
        if (fake) {
            EXPECT_GT(fake->connections(), 0);
        }
    }
}

// The printer selection with the kiosk's queues, Print pressed on the default queue: a
// scheduler that goes quiet from then on, or trickles its answers a byte every 50 ms, ends the
// run as a failed print within a few deadlines, while every poll is answered. Nothing but the
// spooler's own guarded requests asks the scheduler anything (no print library waiting on it by
// itself).
TEST(RealCupsIssue, ASchedulerThatFailsAfterPrintEndsTheRunWhilePollsAreAnswered) {
    TESSEL_REQUIRE_CUPSD();
    using Mode = platform::testing::SchedulerProxy::Mode;
    for (const Mode mode : {Mode::Quiet, Mode::Trickle}) {
        SCOPED_TRACE(mode == Mode::Quiet ? "quiet" : "trickling");
        platform::testing::TempMachine machine;
        platform::testing::CupsKiosk kiosk;
        ASSERT_EQ(kiosk.problem(), "");
        ASSERT_EQ(kiosk.cupsd.run("lpadmin", {"-d", "Tessel_Socket"}).exitCode, 0);
        const auto script = machine.path() / "dialog-script";
        const auto pressed = std::filesystem::path(script.string() + ".done");
        platform::testing::SchedulerProxy proxy(
            kiosk.cupsd.port(), mode, [pressed] { return std::filesystem::exists(pressed); });
        std::ofstream(machine.path() / "setup.json") << R"({"pages": 1, "usedefaultprinter": "0"})";
        std::ofstream(script) << "print";
        platform::testing::ScopedVariable dialog("TESSEL_PRINTER_DIALOG_SCRIPT", script.string());
        auto server = cupsServer(machine);
        ASSERT_TRUE(server->waitListening(server->port())) << server->errors();
        const auto started = std::chrono::steady_clock::now();
        auto r = issue(server->port(), machine.path() / "setup.json", 3);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(r.exitCode, 0) << r.err << server->errors();
        EXPECT_TRUE(std::filesystem::exists(pressed)) << r.out << server->errors();
        EXPECT_NE(r.out.find("CE02 02 31"), std::string::npos) << r.out << server->errors();
        EXPECT_NE(r.out.find("CE09 31"), std::string::npos) << r.out;
        EXPECT_LT(took, std::chrono::seconds(60));
        EXPECT_GT(proxy.passed(), 0);
        EXPECT_GT(proxy.refused(), 0);
        EXPECT_FALSE(kiosk.printer.job(0, std::chrono::seconds(1)));
    }
}

}  // namespace
