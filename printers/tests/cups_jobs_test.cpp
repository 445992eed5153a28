// The printer model's job control over a private cupsd: what the model does to a job is what
// CUPS then shows for it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/system/description.h"
#include "platform/testing/cupsd.h"
#include "platform/testing/temp_machine.h"
#include "printers/printers.h"

namespace {

TEST(RealCupsJobs, HeldReleasedAndCancelledInCups) {
    TESSEL_REQUIRE_CUPSD();
    platform::testing::TempMachine machine;
    platform::testing::CupsKiosk kiosk;
    ASSERT_EQ(kiosk.problem(), "");
    const auto& cupsd = kiosk.cupsd;
    ASSERT_TRUE(platform::system::describeMachine(R"({"spooler": "cups"})"));
    // A stopped queue keeps its jobs.
    ASSERT_EQ(cupsd.run("cupsdisable", {"Tessel_USB"}).exitCode, 0);
    const auto file = cupsd.folder() / "job.txt";
    std::ofstream(file) << "a certificate\n";
    ASSERT_EQ(cupsd.run("lp", {"-d", "Tessel_USB", "-t", "certificate", file.string()}).exitCode,
              0);
    auto listing = [&] { return cupsd.run("lpstat", {"-l", "-o", "Tessel_USB"}).out; };
    const auto held = "job-hold-until-specified";

    printers::CPrinterJobs jobs;
    jobs.setDeviceName(u"Tessel_USB");
    ASSERT_EQ(jobs.Count(), 1);
    const auto job = jobs.Item(1);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->Document(), u"certificate");
    const std::uint32_t id = job->JobId();
    const std::string name = "Tessel_USB-" + std::to_string(id);
    EXPECT_NE(listing().find(name), std::string::npos);

    EXPECT_TRUE(jobs.ControlPause(id));
    EXPECT_NE(listing().find(held), std::string::npos) << listing();
    EXPECT_TRUE(jobs.ControlResume(id));
    EXPECT_EQ(listing().find(held), std::string::npos) << listing();
    EXPECT_NE(listing().find(name), std::string::npos);
    // CUPS keeps its own order: a move is refused and the job stays.
    EXPECT_FALSE(jobs.PositionMoveDown(id));
    EXPECT_TRUE(jobs.ControlCancel(id));
    EXPECT_EQ(listing().find(name), std::string::npos) << listing();
    EXPECT_EQ(jobs.Count(), 0);
}

}  // namespace
