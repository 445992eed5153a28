// The sample certificate issued end to end on a kiosk whose printers are its real CUPS queues:
// the real issuing server, viewer control and message cipher library, a private cupsd whose
// default queue is a network printer on loopback, and the protocol client.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "platform/print/pdf_pages.h"
#include "platform/system/description.h"
#include "platform/testing/cupsd.h"
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
    EXPECT_NE(server->errors().find("Create-Job: server-error-not-accepting-jobs"),
              std::string::npos)
        << server->errors();
    EXPECT_EQ(cupsd.run("lpstat", {"-o"}).out, "");
}

// A scheduler that takes the connection and never answers: the server keeps answering polls
// (the client gives up on any poll left unanswered for 3 s) and the run ends as a failed print
// that names the scheduler. One that closes at once or answers garbage, or where nothing
// listens, is told as such too, never as a machine without printers ("02" "01").
TEST(RealCupsIssue, ABrokenSchedulerIsReportedWhilePollsAreAnswered) {
    using Mode = platform::testing::FakeScheduler::Mode;
    const struct {
        std::optional<Mode> mode;  // nullopt: nothing listens
        const char* says;
    } rows[] = {
        {Mode::Silent, " did not answer within 5 seconds"},
        {Mode::Close, " gave no IPP answer"},
        {Mode::Garbage, " gave no IPP answer"},
        {std::nullopt, " cannot be reached"},
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
        auto r = issue(server->port(), SAMPLES "/sample.json", 3);
        EXPECT_EQ(r.exitCode, 0) << r.err << server->errors();
        EXPECT_NE(r.out.find("CE02 02 31"), std::string::npos) << r.out << server->errors();
        EXPECT_NE(r.out.find("CE09 31"), std::string::npos) << r.out;
        EXPECT_NE(server->errors().find("the CUPS scheduler " + name + row.says), std::string::npos)
            << server->errors();
        if (fake) {
            EXPECT_GT(fake->connections(), 0);
        }
    }
}

}  // namespace
