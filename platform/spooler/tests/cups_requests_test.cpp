// The requests of the CUPS backend: a refused job is never taken for a printed one, a queue
// that rejects jobs does not read as ready, a failed listing is reported, unknown control
// commands change nothing, one listing serves a step, and a scheduler that hangs, closes or
// answers garbage is reported as such by name within the deadline.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "platform/spooler/cups_backend.h"
#include "platform/spooler/spooler.h"
#include "platform/testing/cupsd.h"
#include "platform/testing/environment.h"
#include "platform/testing/fake_scheduler.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/codepage.h"

using namespace platform::spooler;
using platform::testing::FakeScheduler;
using platform::text::fromUtf8;
using platform::text::toUtf8;

namespace {

// A minimal one-page PDF.
const std::string kPdf =
    "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
    "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
    "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]>>endobj\n"
    "trailer<</Root 1 0 R>>\n%%EOF\n";

using Environment = platform::testing::ScopedVariable;

class CupsRequests : public ::testing::Test {
  protected:
    void SetUp() override {
        TESSEL_REQUIRE_CUPSD();
        kiosk_.emplace();
        ASSERT_EQ(kiosk_->problem(), "");
        cupsd_ = &kiosk_->cupsd;
    }
    std::string jobsListing() const { return cupsd_->run("lpstat", {"-o"}).out; }

    platform::testing::TempMachine machine_;
    Environment spooler_{"TESSEL_SPOOLER", "cups"};
    std::optional<platform::testing::CupsKiosk> kiosk_;
    const platform::testing::PrivateCupsd* cupsd_ = nullptr;
};

TEST_F(CupsRequests, ARejectingQueueIsNotAvailableAndItsRefusalIsNoJob) {
    ASSERT_EQ(cupsd_->run("cupsreject", {"Tessel_Socket"}).exitCode, 0);
    auto h = PrinterHandle::open(u"Tessel_Socket");
    ASSERT_TRUE(h) << h.error;
    // Exactly the one status bit, so that the selection reads it as an error.
    EXPECT_EQ(h->info2()->status, 0x1000u);

    const auto refused = cups::submit("Tessel_Socket", "certificate", kPdf);
    EXPECT_EQ(refused.jobId, 0u);
    EXPECT_NE(refused.error.find("Create-Job"), std::string::npos)
        << refused.error << cupsd_->log();
    EXPECT_NE(refused.error.find("not-accepting-jobs"), std::string::npos) << refused.error;
    EXPECT_EQ(jobsListing(), "");

    ASSERT_EQ(cupsd_->run("cupsaccept", {"Tessel_Socket"}).exitCode, 0);
    EXPECT_EQ(h->info2()->status, 0u);
    const auto taken = cups::submit("Tessel_Socket", "certificate", kPdf);
    EXPECT_GT(taken.jobId, 0u);
    EXPECT_EQ(taken.error, "");
    ASSERT_GT(taken.jobId, 0u) << taken.error << cupsd_->log();
    const auto job = kiosk_->printer.job(0);
    ASSERT_TRUE(job) << cupsd_->log();
    EXPECT_TRUE(job->starts_with("%PDF-"));
}

TEST_F(CupsRequests, UnknownControlCommandsAreRefusedAndChangeNothing) {
    ASSERT_EQ(cupsd_->run("cupsdisable", {"Tessel_USB"}).exitCode, 0);
    const auto file = cupsd_->folder() / "job.txt";
    std::ofstream(file) << "a job that must stay\n";
    ASSERT_EQ(cupsd_->run("lp", {"-d", "Tessel_USB", "-H", "hold", file.string()}).exitCode, 0);
    auto h = PrinterHandle::open(u"Tessel_USB", PRINTER_ACCESS_ADMINISTER);
    ASSERT_TRUE(h);
    const auto before = h->enumJobs(0, 10);
    ASSERT_TRUE(before);
    ASSERT_EQ(before->size(), 1u);
    const std::uint32_t id = before->front().jobId;

    const struct {
        bool printer;
        std::uint32_t command;
    } rows[] = {
        {true, 0},  {true, 4},  {true, 99}, {true, 0xFFFFFFFF},
        {false, 0}, {false, 6}, {false, 7}, {false, 0xFFFFFFFF},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE((row.printer ? "printer command " : "job command ") +
                     std::to_string(row.command));
        const std::uint64_t sent = cups::requestsSent();
        EXPECT_EQ(row.printer ? cups::control("Tessel_USB", row.command)
                              : cups::controlJob("Tessel_USB", id, row.command),
                  kInvalidParameter);
        EXPECT_EQ(cups::requestsSent(), sent);  // refused before the server is asked
        const auto jobs = h->enumJobs(0, 10);
        ASSERT_TRUE(jobs);
        ASSERT_EQ(jobs->size(), 1u) << jobsListing();
        EXPECT_EQ(jobs->front().status, 0x1u);  // still held
    }
    // The known commands still reach the server.
    EXPECT_EQ(cups::controlJob("Tessel_USB", id, JOB_CONTROL_RESUME), kOk);
    EXPECT_EQ(h->enumJobs(0, 10)->front().status, 0u);
    EXPECT_EQ(cups::control("Tessel_USB", PRINTER_CONTROL_PURGE), kOk);
    EXPECT_TRUE(h->enumJobs(0, 10)->empty());
}

// What judging every printer asks of the spooler, as the printer selection does.
void judgeAll() {
    for (const auto& name : printerNames()) {
        auto h = PrinterHandle::open(name);
        ASSERT_TRUE(h) << toUtf8(name);
        ASSERT_TRUE(h->info2());
        ASSERT_TRUE(h->enumJobs(0, 100));
        ASSERT_TRUE(h->driver2());
        (void)getDefaultPrinter();
    }
}

TEST_F(CupsRequests, OneListingServesAStepAndAChangeIsSeenAtOnce) {
    const auto requestsOf = [](auto&& step) {
        const std::uint64_t before = cups::requestsSent();
        step();
        return cups::requestsSent() - before;
    };
    const auto inScope = [&] {
        return requestsOf([] {
            ListingScope listing;
            judgeAll();
        });
    };
    const std::uint64_t six = inScope();
    // One listing (two requests), the default printer once, each queue's jobs and PPD once.
    EXPECT_LE(six, 3u + 2u * 6u);
    EXPECT_GT(requestsOf(judgeAll), 3 * six);  // without a scope every call lists again

    // With a hundred queues more the cost per queue stays what it was.
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(cupsd_->addQueue("Tessel_Q" + std::to_string(i), "socket://192.0.2.1").exitCode,
                  0);
    EXPECT_LE(inScope(), 3u + 2u * 106u);

    // A change made within the step is read back, not the listing from before it.
    ListingScope listing;
    auto h = PrinterHandle::open(u"Tessel_USB", PRINTER_ACCESS_ADMINISTER);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->info2()->status, 0u);
    EXPECT_EQ(h->control(PRINTER_CONTROL_PAUSE), kOk);
    EXPECT_EQ(h->info2()->status & 0x1, 0x1u);
}

// ---- schedulers that do not work ----

struct Broken {
    const char* what;
    std::optional<FakeScheduler::Mode> mode;  // nullopt: nothing listens at all
    const char* says;
};

class BrokenScheduler : public ::testing::TestWithParam<Broken> {
  protected:
    platform::testing::TempMachine machine_;
    Environment spooler_{"TESSEL_SPOOLER", "cups"};
};

TEST_P(BrokenScheduler, IsReportedByNameAndNotAsAMachineWithoutPrinters) {
    const Broken& b = GetParam();
    std::optional<FakeScheduler> fake;
    std::optional<platform::testing::HeldPort> nobody;
    std::optional<Environment> server;
    std::string name;
    if (b.mode) {
        fake.emplace(*b.mode);
        name = fake->server();
    } else {
        nobody.emplace(false);  // bound, not listening: connections are refused
        name = "127.0.0.1:" + std::to_string(nobody->port());
        server.emplace("CUPS_SERVER", name.c_str());
    }
    int turns = 0;
    setWaitHook([&] { ++turns; });
    std::uint32_t error = 0;
    EXPECT_TRUE(cups::queues(&error).empty());
    EXPECT_EQ(error, 1722u);
    const std::string why = cups::schedulerFailure();
    EXPECT_NE(why.find(name), std::string::npos) << why;
    EXPECT_NE(why.find(b.says), std::string::npos) << why;
    EXPECT_EQ(toUtf8(serverFailure()), why);
    // The other calls fail the same way, and a job is never reported taken.
    EXPECT_EQ(getDefaultPrinter().error, 1722u);
    const auto job = cups::submit("Tessel_Socket", "certificate", kPdf);
    EXPECT_EQ(job.jobId, 0u);
    EXPECT_NE(job.error.find(name), std::string::npos) << job.error;
    if (b.mode == FakeScheduler::Mode::Silent) {
        EXPECT_GT(turns, 10);  // the loop kept turning
    }
    setWaitHook({});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenScheduler,
    ::testing::Values(Broken{"absent", std::nullopt, "cannot be reached"},
                      Broken{"silent", FakeScheduler::Mode::Silent, "did not answer within"},
                      Broken{"closing", FakeScheduler::Mode::Close, "gave no IPP answer"},
                      Broken{"garbage", FakeScheduler::Mode::Garbage, "gave no IPP answer"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(FailedListing, ASecondListingRequestThatFailsFailsTheListing) {
    platform::testing::TempMachine machine;
    Environment spooler{"TESSEL_SPOOLER", "cups"};
    // The printers are listed once; asked again, the scheduler fails. There is no default.
    int listings = 0;
    FakeScheduler fake(FakeScheduler::Mode::Scripted, [&](int, ipp_op_t op, int id) {
        if (op == IPP_OP_CUPS_GET_DEFAULT)
            return FakeScheduler::answer(id, IPP_STATUS_ERROR_NOT_FOUND);
        if (op == IPP_OP_CUPS_GET_PRINTERS && listings++ == 0)
            return FakeScheduler::answer(id, IPP_STATUS_OK, {"Tessel_Jammed"});
        return FakeScheduler::answer(id, IPP_STATUS_ERROR_INTERNAL);
    });
    std::uint32_t error = 0;
    EXPECT_TRUE(cups::queues(&error).empty());
    EXPECT_EQ(error, 1722u);
    EXPECT_TRUE(printerNames().empty());
    EXPECT_EQ(PrinterHandle::open(u"Tessel_Jammed").error, 1722u);
    EXPECT_FALSE(enumPorts());
}

}  // namespace
