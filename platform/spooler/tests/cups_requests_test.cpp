// The requests of the CUPS backend: a refused job is never taken for a printed one, a queue
// that rejects jobs does not read as ready, a failed listing is reported, unknown control
// commands change nothing, one listing serves a step, and a scheduler that hangs, closes or
// answers garbage is reported as such by name within the deadline.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
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
    // One listing (one request, the default printer with it), each queue's jobs and PPD once.
    EXPECT_LE(six, 1u + 2u * 6u);
    EXPECT_GT(requestsOf(judgeAll), 3 * six);  // without a scope every call lists again

    // With a hundred queues more the cost per queue stays what it was.
    ASSERT_EQ(cupsd_->addRawQueues("Tessel_Q", 100), "");
    EXPECT_LE(inScope(), 1u + 2u * 106u);

    // A change made within the step is read back, not the listing from before it.
    ListingScope listing;
    auto h = PrinterHandle::open(u"Tessel_USB", PRINTER_ACCESS_ADMINISTER);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->info2()->status, 0u);
    EXPECT_EQ(h->control(PRINTER_CONTROL_PAUSE), kOk);
    EXPECT_EQ(h->info2()->status & 0x1, 0x1u);
}

// What one issue through the printer selection asks of the scheduler, step by step as the
// viewer and the dialog take them: the availability (ports and printers), the dialog's load and
// its judging of the default queue, the print button's checks, and the printing (the chosen
// queue's paper and the job). Only the chosen queue's jobs, PPD and paper are asked for.
void issueSteps() {
    {
        ListingScope availability;
        ASSERT_TRUE(enumPorts());
        ASSERT_FALSE(printerNames().empty());
    }
    for (int step = 0; step < 2; ++step) {  // the selection step, then the print button's
        ListingScope judging;
        for (const auto& name : printerNames()) (void)name;
        const auto chosen = getDefaultPrinter();
        ASSERT_TRUE(chosen) << chosen.error;
        auto h = PrinterHandle::open(*chosen);
        ASSERT_TRUE(h);
        ASSERT_TRUE(h->info2());
        ASSERT_TRUE(h->enumJobs(0, 100));
        ASSERT_TRUE(h->driver2());
    }
    ListingScope printing;
    const auto chosen = getDefaultPrinter();
    ASSERT_TRUE(chosen);
    ASSERT_TRUE(cups::pageLayout(toUtf8(*chosen)));
}

TEST_F(CupsRequests, AnIssueAsksTheSameOfTheSchedulerWhateverTheNumberOfQueues) {
    ASSERT_EQ(cupsd_->run("lpadmin", {"-d", "Tessel_Socket"}).exitCode, 0);
    const auto served = [&] {
        const std::size_t before = cupsd_->requestsServed();
        issueSteps();
        return cupsd_->requestsServed() - before;
    };
    const std::size_t six = served();
    // Four listings (one a step), the chosen queue's jobs and PPD in each of the two judging
    // steps and its paper once.
    EXPECT_LE(six, 4u + 2u * 2u + 1u);
    ASSERT_EQ(cupsd_->addRawQueues("Tessel_Q", 300), "");
    EXPECT_EQ(served(), six);
}

// A few hundred queues are listed whole every time: a large answer that comes in pieces is
// read to its end (not taken for no answer when a piece is slow), in one request.
TEST_F(CupsRequests, AFewHundredQueuesAreListedEveryTime) {
    ASSERT_EQ(cupsd_->addRawQueues("Tessel_Q", 300), "");
    ASSERT_EQ(cupsd_->run("lpadmin", {"-d", "Tessel_Q17"}).exitCode, 0);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE("listing " + std::to_string(i));
        const std::size_t before = cupsd_->requestsServed();
        std::uint32_t error = 0;
        const auto all = cups::queues(&error);
        EXPECT_EQ(error, 0u) << cups::schedulerFailure();
        EXPECT_EQ(cups::schedulerFailure(), "");
        ASSERT_EQ(all.size(), 306u);
        EXPECT_EQ(cupsd_->requestsServed() - before, 1u);
        std::vector<std::string> defaults;
        for (const auto& q : all)
            if (q.isDefault) defaults.push_back(q.name);
        EXPECT_EQ(defaults, std::vector<std::string>{"Tessel_Q17"});
    }
}

// A scheduler that answers every request with a status line and then a byte every 50 ms (here
// a proxy in front of the private cupsd, so the status line comes while the request is still
// being sent): each kind of request a step makes fails by its deadline and says so; none is
// taken for an answer (a PPD cut off after "200 OK" is no empty PPD).
TEST_F(CupsRequests, EveryRequestEndsByItsDeadlineWhenTheSchedulerTrickles) {
    platform::testing::SchedulerProxy proxy(
        cupsd_->port(), platform::testing::SchedulerProxy::Mode::Trickle, [] { return true; });
    cups::Queue socketQueue;
    socketQueue.name = "Tessel_Socket";
    const struct {
        const char* what;
        std::function<std::uint32_t()> call;
    } rows[] = {
        {"listing",
         [] {
             std::uint32_t error = 0;
             cups::queues(&error);
             return error;
         }},
        {"jobs", [&] { return cups::jobs(socketQueue, 0, 10).error; }},
        {"PPD", [&] { return cups::driver2(socketQueue).error; }},
        {"paper", [] { return cups::pageLayout("Tessel_Socket").error; }},
        {"job", [] { return cups::submit("Tessel_Socket", "t", kPdf).jobId == 0 ? 1722u : 0u; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(row.call(), 1722u);
        EXPECT_LT(std::chrono::steady_clock::now() - started,
                  std::chrono::milliseconds(cups::kRequestDeadlineMs + 2000));
        EXPECT_NE(cups::schedulerFailure().find("did not answer within 5 seconds"),
                  std::string::npos)
            << cups::schedulerFailure();
    }
    EXPECT_GT(proxy.refused(), 0);
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
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(cups::queues(&error).empty());
    // However the scheduler sends its bytes, the request ends by its deadline.
    EXPECT_LT(std::chrono::steady_clock::now() - started,
              std::chrono::milliseconds(cups::kRequestDeadlineMs + 2000));
    EXPECT_EQ(error, 1722u);
    const std::string why = cups::schedulerFailure();
    EXPECT_NE(why.find(name), std::string::npos) << why;
    EXPECT_NE(why.find(b.says), std::string::npos) << why;
    // The cause is the true one, never the errno of whatever ran after the failure.
    EXPECT_EQ(why.find("Success"), std::string::npos) << why;
    EXPECT_EQ(why.find("Bad file descriptor"), std::string::npos) << why;
    EXPECT_EQ(toUtf8(serverFailure()), why);
    // The other calls fail the same way, and a job is never reported taken.
    EXPECT_EQ(getDefaultPrinter().error, 1722u);
    const auto job = cups::submit("Tessel_Socket", "certificate", kPdf);
    EXPECT_EQ(job.jobId, 0u);
    EXPECT_NE(job.error.find(name), std::string::npos) << job.error;
    if (b.mode == FakeScheduler::Mode::Silent || b.mode == FakeScheduler::Mode::Trickle) {
        EXPECT_GT(turns, 10);  // the loop kept turning
    }
    setWaitHook({});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenScheduler,
    ::testing::Values(Broken{"absent", std::nullopt, "cannot be reached (Connection refused)"},
                      Broken{"silent", FakeScheduler::Mode::Silent, "did not answer within 5"},
                      Broken{"trickling", FakeScheduler::Mode::Trickle, "did not answer within 5"},
                      Broken{"closing", FakeScheduler::Mode::Close, "gave no IPP answer"},
                      Broken{"garbage", FakeScheduler::Mode::Garbage, "gave no IPP answer"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(FailedListing, AListingRequestThatFailsFailsTheListing) {
    platform::testing::TempMachine machine;
    Environment spooler{"TESSEL_SPOOLER", "cups"};
    // The printers are listed once; asked again, the scheduler fails.
    int listings = 0;
    FakeScheduler fake(FakeScheduler::Mode::Scripted, [&](int, ipp_op_t op, int id) {
        if (op == IPP_OP_CUPS_GET_PRINTERS && listings++ == 0)
            return FakeScheduler::answer(id, IPP_STATUS_OK, {"Tessel_Jammed"});
        return FakeScheduler::answer(id, IPP_STATUS_ERROR_INTERNAL);
    });
    std::uint32_t error = 0;
    EXPECT_EQ(cups::queues(&error).size(), 1u);
    EXPECT_EQ(error, 0u);
    EXPECT_TRUE(cups::queues(&error).empty());
    EXPECT_EQ(error, 1722u);
    EXPECT_NE(cups::schedulerFailure().find("refused to list its printers"), std::string::npos)
        << cups::schedulerFailure();
    EXPECT_TRUE(printerNames().empty());
    EXPECT_EQ(PrinterHandle::open(u"Tessel_Jammed").error, 1722u);
    EXPECT_FALSE(enumPorts());
    EXPECT_EQ(getDefaultPrinter().error, 1722u);
}

// A healthy scheduler whose answer comes in two pieces with a pause between (as a busy cupsd
// sends a large listing) is read whole.
TEST(FailedListing, AnAnswerThatPausesMidwayIsReadWhole) {
    platform::testing::TempMachine machine;
    Environment spooler{"TESSEL_SPOOLER", "cups"};
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) names.push_back("Tessel_Q" + std::to_string(i));
    FakeScheduler fake(FakeScheduler::Mode::Scripted, [&](int, ipp_op_t, int id) {
        return FakeScheduler::answer(id, IPP_STATUS_OK, names);
    });
    fake.pauseMidway(std::chrono::milliseconds(400));
    std::uint32_t error = 0;
    EXPECT_EQ(cups::queues(&error).size(), 300u) << cups::schedulerFailure();
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(cups::schedulerFailure(), "");
}

}  // namespace
