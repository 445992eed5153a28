// Issues of 1, 10 and 30 A4 pages scanned at 200 dpi, printed to the machine's PDF printer
// through the real TesselServer over loopback (set-up, the page frames and the run, whose reply
// comes once the PDF file is complete), against Qt alone decoding the same images and writing the
// same PDF fitted to A4 (tessel-bench-qt, a process of its own as the server is). The two sides
// are measured by turns, round after round, so a change in the machine's load falls on both
// alike; each gives the median of its rounds by the clock and by peak memory and the mean of its
// processor time, read from outside the same way for both. Both first prove their PDF has its
// pages.
#include <QByteArray>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

#include "bench/helper_process.h"
#include "bench/page_images.h"
#include "bench/process_figures.h"
#include "bench/reference.h"
#include "bench/server_fixture.h"
#include "platform/print/pdf_pages.h"
#include "platform/text/text.h"

namespace tessel::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kIssuePages[] = {1, 10, 30};
constexpr int kRounds = 5;

// The PDF files in a folder.
std::vector<fs::path> pdfsIn(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".pdf") files.push_back(e.path());
    return files;
}

// Empty when the file holds `count` A4 portrait pages, else what is wrong with it.
std::string checkPdf(const fs::path& file, int count) {
    const auto pages = platform::print::testing::pdfPages(file);
    if (pages.size() != static_cast<std::size_t>(count))
        return "the PDF has " + std::to_string(pages.size()) + " pages, not " +
               std::to_string(count);
    for (const auto& page : pages)
        if (std::abs(page.width - 595.3) > 1 || std::abs(page.height - 841.9) > 1)
            return "a page of the PDF is not A4 portrait";
    return {};
}

// ---- ours: the real server ----

class PrintRoad {
  public:
    PrintRoad() : server_({"libCiphra.so", "libVistrel.so"}) {
        if (!server_.ready()) return;
        client_ = std::make_unique<st::Client>(server_.port());
        client_->setTimeout(300);
        const int most = *std::max_element(std::begin(kIssuePages), std::end(kIssuePages));
        for (int page = 0; page < most; ++page) {
            const QByteArray& bytes = pageFiles()[static_cast<std::size_t>(page % kPages)];
            const std::u16string number = platform::text::zeroPad(page + 1, 4);
            pages_.push_back(wire(st::request(
                u"CE01", number + u"," + QString::fromLatin1(bytes.toBase64()).toStdU16String())));
        }
        run_ = wire(st::request(u"CE02"));
    }

    // One issue of `count` pages; empty when its PDF was written, else why not.
    std::string issue(int count) {
        if (!server_.ready()) return "the server did not start: " + server_.errors();
        const std::string setup = wire(
            st::request(u"CE00", u"{\"pages\":" + platform::text::fromUtf8(std::to_string(count)) +
                                     u",\"usedefaultprinter\":\"1\"}"));
        if (auto why = ask(setup, u"CE0000")) return "set-up: " + *why;
        for (int page = 0; page < count; ++page)
            if (auto why = ask(pages_[static_cast<std::size_t>(page)], u"CE0100"))
                return "page: " + *why;
        if (auto why = ask(run_, u"CE0200")) return "run: " + *why;
        return {};
    }
    pid_t pid() const { return server_.pid(); }
    fs::path outputFolder() const { return server_.machine() / "print"; }
    void removePdfs() {
        std::error_code ec;
        for (const auto& file : pdfsIn(outputFolder())) fs::remove(file, ec);
    }

  private:
    // nullopt when the reply begins with the expected code and result.
    std::optional<std::string> ask(const std::string& frame, std::u16string_view expected) {
        client_->send(frame);
        auto reply = client_->reply();
        if (!reply) return "no reply: " + noReply(*client_) + "; " + server_.errors();
        if (reply->size() < 41 || reply->substr(35, 6) != expected)
            return "the reply " + platform::text::toUtf8(reply->substr(0, 80));
        return std::nullopt;
    }

    RunningServer server_;
    std::unique_ptr<st::Client> client_;
    std::string run_;
    std::vector<std::string> pages_;
};

// ---- the reference: Qt alone, in tessel-bench-qt ----

class QtRoad {
  public:
    QtRoad() {
        for (int page = 0; page < kPages; ++page) {
            const fs::path file = folder_.path() / pageFileName(page);
            std::ofstream out(file, std::ios::binary);
            const QByteArray& bytes = pageFiles()[static_cast<std::size_t>(page)];
            out.write(bytes.constData(), bytes.size());
            files_.push_back(file.string());
        }
        std::vector<std::string> args{"issue"};
        args.insert(args.end(), files_.begin(), files_.end());
        helper_ = std::make_unique<HelperProcess>(args);
        ready_ = helper_->pid() > 0 && helper_->line() == "ready";
    }
    fs::path output() const { return folder_.path() / "issue.pdf"; }
    std::string issue(int count) {
        if (!ready_) return "tessel-bench-qt did not start";
        if (!helper_->send(std::to_string(count) + " " + output().string()) ||
            helper_->line() != "ok")
            return "Qt could not write the PDF";
        return {};
    }
    pid_t pid() const { return helper_->pid(); }

  private:
    platform::testing::TempMachine folder_;
    std::vector<std::string> files_;
    std::unique_ptr<HelperProcess> helper_;
    bool ready_ = false;
};

// ---- the two by turns ----

struct IssueFigures {
    double wallMs = 0, cpuMs = 0, startMB = 0, peakMB = 0, faults = 0;
    std::string error;
};
struct IssueComparison {
    IssueFigures ours[std::size(kIssuePages)], ref[std::size(kIssuePages)];
};

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Samples {
    std::vector<double> wall, cpu, start, peak, faults;
};

double mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

// One measured issue of a side: the clock around it as its client sees it, and the process's
// processor time (all its threads, those that ended during the issue too), page faults, its size
// when the issue starts and its peak size during the issue (counted afresh from the size it
// starts with).
template <class Road>
std::string measure(Road& road, int count, Samples& samples) {
    resetPeak(road.pid());
    const double startBytes = statusBytes(road.pid(), "VmRSS");
    const auto before = processUsage(road.pid());
    const auto start = std::chrono::steady_clock::now();
    if (auto why = road.issue(count); !why.empty()) return why;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    const auto after = processUsage(road.pid());
    samples.wall.push_back(took.count());
    samples.cpu.push_back(after.cpuMs - before.cpuMs);
    samples.start.push_back(startBytes / 1e6);
    samples.peak.push_back(statusBytes(road.pid(), "VmHWM") / 1e6);
    samples.faults.push_back(after.pageFaults - before.pageFaults);
    return {};
}

const IssueComparison& issueComparison() {
    static const IssueComparison result = [] {
        IssueComparison c;
        PrintRoad ours;
        QtRoad ref;
        Samples mine[std::size(kIssuePages)], theirs[std::size(kIssuePages)];
        // A first issue of each length on each side proves its PDF and is not counted.
        for (std::size_t k = 0; k < std::size(kIssuePages); ++k) {
            const int count = kIssuePages[k];
            std::string why = ours.issue(count);
            if (why.empty()) {
                const auto pdfs = pdfsIn(ours.outputFolder());
                why = pdfs.size() != 1
                          ? "the run left " + std::to_string(pdfs.size()) + " PDF files"
                          : checkPdf(pdfs[0], count);
            }
            ours.removePdfs();
            c.ours[k].error = why;
            why = ref.issue(count);
            c.ref[k].error = why.empty() ? checkPdf(ref.output(), count) : why;
        }
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t k = 0; k < std::size(kIssuePages); ++k) {
                const int count = kIssuePages[k];
                // Each side goes first in every other round.
                for (int turn = 0; turn < 2; ++turn) {
                    const bool oursNow = (turn == 0) == (round % 2 == 0);
                    IssueFigures& figures = oursNow ? c.ours[k] : c.ref[k];
                    Samples& samples = oursNow ? mine[k] : theirs[k];
                    if (!figures.error.empty()) continue;
                    figures.error =
                        oursNow ? measure(ours, count, samples) : measure(ref, count, samples);
                    if (oursNow) ours.removePdfs();
                }
            }
        }
        for (std::size_t k = 0; k < std::size(kIssuePages); ++k) {
            for (auto [figures, samples] :
                 {std::pair{&c.ours[k], &mine[k]}, std::pair{&c.ref[k], &theirs[k]}}) {
                figures->wallMs = median(samples->wall);
                // The system counts processor time in clock ticks (10 ms); their sum over the
                // rounds is exact to one tick, so the mean stands where a median of ticks would
                // not.
                figures->cpuMs = mean(samples->cpu);
                figures->startMB = median(samples->start);
                figures->peakMB = median(samples->peak);
                figures->faults = median(samples->faults);
            }
        }
        return c;
    }();
    return result;
}

void issueRow(benchmark::State& state, std::size_t k, bool oursSide) {
    const IssueFigures& figures = oursSide ? issueComparison().ours[k] : issueComparison().ref[k];
    for (auto _ : state) {
    }
    if (!figures.error.empty()) {
        state.SkipWithError(figures.error.c_str());
        return;
    }
    state.counters["wall_ms"] = figures.wallMs;
    state.counters["cpu_ms"] = figures.cpuMs;
    state.counters["start_MB"] = figures.startMB;
    state.counters["peak_MB"] = figures.peakMB;
    state.counters["faults"] = figures.faults;
    state.counters["rounds"] = kRounds;
}

const bool registered = [] {
    for (std::size_t k = 0; k < std::size(kIssuePages); ++k) {
        const std::string subject = "Issue-" + std::to_string(kIssuePages[k]) + "xA4-PDF";
        for (bool oursSide : {true, false})
            benchmark::RegisterBenchmark((subject + (oursSide ? "/ours" : "/ref")).c_str(),
                                         issueRow, k, oursSide)
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
}  // namespace tessel::bench
