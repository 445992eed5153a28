// The sample certificate issued end to end on a kiosk whose printers are its real CUPS queues:
// the real issuing server, viewer control and message cipher library, a private cupsd whose
// default queue is a network printer on loopback, and the protocol client.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/print/pdf_pages.h"
#include "platform/system/description.h"
#include "platform/testing/cupsd.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "server_process.h"

using namespace tessel::server::testing;

namespace {

TEST(RealCupsIssue, TheSampleCertificateReachesTheSocketPrinter) {
    TESSEL_REQUIRE_CUPSD();
    platform::testing::TempMachine machine;
    platform::testing::CupsKiosk kiosk;
    ASSERT_EQ(kiosk.problem(), "");
    const auto& cupsd = kiosk.cupsd;
    ASSERT_EQ(cupsd.run("lpadmin", {"-d", "Tessel_Socket"}).exitCode, 0);
    // The description chooses the CUPS queues; it describes no printer of its own.
    ASSERT_TRUE(platform::system::describeMachine(R"({"spooler": "cups"})"));
    for (const char* library : {VISTREL_LIBRARY, CIPHRA_LIBRARY}) {
        auto reg = platform::testing::runProgram(REGSVR, {library});
        ASSERT_EQ(reg.exitCode, 0) << reg.err;
    }

    ServerProcess server(machine.path(), "[SYSTEM]\r\nLocalIP=127.0.0.1\r\n", StartPort::AnyFree);
    const int port = server.port();
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    auto r = platform::testing::runProgram(
        (platform::testing::binFolder() / "tessel-client").string(),
        {"--port", std::to_string(port), "setup", SAMPLES "/sample.json", "page",
         SAMPLES "/page1.png", "run", "poll"});
    EXPECT_EQ(r.exitCode, 0) << r.err << server.errors();
    EXPECT_NE(r.out.find("CE02 00 30\t"), std::string::npos) << r.out << server.errors();

    // The queue hands the job (Qt's PDF, the queue being raw) to the printer as it is.
    const auto job = kiosk.printer.job(0);
    ASSERT_TRUE(job) << cupsd.log() << cupsd.run("lpstat", {"-l", "-o"}).out;
    ASSERT_TRUE(job->starts_with("%PDF-")) << job->substr(0, 64);
    const auto file = machine.path() / "received.pdf";
    std::ofstream(file, std::ios::binary) << *job;
    EXPECT_EQ(platform::print::testing::pdfPages(file).size(), 1u);
}

}  // namespace
