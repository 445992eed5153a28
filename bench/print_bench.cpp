// Issues of 1, 10 and 30 A4 pages scanned at 200 dpi, printed to the machine's PDF printer
// through the real TesselServer over loopback (set-up, the page frames and the run, whose reply
// comes once the PDF file is complete), against Qt alone decoding the same images and writing the
// same PDF fitted to A4 (tessel-bench-qt, a process of its own as the server is). The two sides
// are measured by turns, round after round, so a change in the machine's load falls on both
// alike; each gives the median of its rounds by the clock and by peak memory and the mean of its
// processor time, read from outside the same way for both. Both first prove their PDF has its
// pages.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

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
#include "bench/process_figures.h"
#include "bench/reference.h"
#include "bench/server_fixture.h"
#include "platform/print/pdf_pages.h"
#include "platform/text/text.h"

namespace tessel::bench {
namespace {

namespace fs = std::filesystem;

// The ten distinct page images; longer issues take them by turns.
constexpr int kPages = 10;
constexpr int kIssuePages[] = {1, 10, 30};
constexpr int kRounds = 5;
// An A4 sheet scanned at 200 dpi.
constexpr int kWidth = 1654;
constexpr int kHeight = 2339;

// Deterministic small numbers for the page drawings.
class Dice {
  public:
    explicit Dice(std::uint32_t seed) : x_(seed * 2654435761u + 7) {}
    int below(int n) {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 17;
        x_ ^= x_ << 5;
        return static_cast<int>(x_ % static_cast<std::uint32_t>(n));
    }

  private:
    std::uint32_t x_;
};

// A line of text-like strokes: words of glyphs, each glyph a few anti-aliased pen strokes in its
// cell, as a scanned printed page looks to an image coder.
void strokeLine(QPainter& painter, Dice& dice, double x, double baseline, double right,
                double cell) {
    while (x < right - cell * 3) {
        const int letters = 2 + dice.below(8);
        for (int g = 0; g < letters && x < right - cell; ++g, x += cell) {
            const int strokes = 2 + dice.below(3);
            for (int s = 0; s < strokes; ++s) {
                const double x0 = x + cell * 0.15 + dice.below(60) * cell * 0.01;
                const double x1 = x + cell * 0.15 + dice.below(60) * cell * 0.01;
                const double y0 = baseline - dice.below(100) * cell * 0.013;
                const double y1 = baseline - dice.below(100) * cell * 0.013;
                painter.drawLine(QPointF(x0, y0), QPointF(x1, y1));
            }
        }
        x += cell * 0.8;  // the space between words
    }
}

// A certificate page: a light security pattern, a framed border, a heading, paragraphs of text,
// a table and a red seal; `page` varies the text.
QImage pageImage(int page) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    Dice dice(static_cast<std::uint32_t>(page + 1));

    painter.setPen(QPen(QColor(214, 226, 240), 1.2));
    for (int wave = 0; wave < kHeight; wave += 18) {
        QPainterPath path(QPointF(0, wave));
        for (int x = 0; x <= kWidth; x += 12)
            path.lineTo(x, wave + 7 * std::sin(x / 55.0 + wave / 90.0));
        painter.drawPath(path);
    }
    painter.setPen(QPen(QColor(40, 60, 110), 6));
    painter.drawRect(QRectF(70, 70, kWidth - 140, kHeight - 140));
    painter.setPen(QPen(QColor(40, 60, 110), 2));
    painter.drawRect(QRectF(86, 86, kWidth - 172, kHeight - 172));

    painter.setPen(QPen(QColor(15, 15, 15), 5, Qt::SolidLine, Qt::RoundCap));
    strokeLine(painter, dice, 520, 260, kWidth - 520, 56);
    painter.setPen(QPen(QColor(20, 20, 20), 2.4, Qt::SolidLine, Qt::RoundCap));
    double y = 400;
    for (int paragraph = 0; paragraph < 4; ++paragraph) {
        const int lines = 5 + dice.below(6);
        for (int l = 0; l < lines; ++l, y += 34)
            strokeLine(painter, dice, 180, y, l + 1 == lines ? 900 + dice.below(500) : kWidth - 180,
                       17);
        y += 30;
    }
    painter.setPen(QPen(QColor(30, 30, 30), 2));
    const double top = y + 20;
    for (int row = 0; row <= 12; ++row)
        painter.drawLine(QPointF(180, top + row * 44), QPointF(kWidth - 180, top + row * 44));
    for (double column : {180.0, 420.0, 900.0, 1200.0, kWidth - 180.0})
        painter.drawLine(QPointF(column, top), QPointF(column, top + 12 * 44));
    painter.setPen(QPen(QColor(20, 20, 20), 2.2, Qt::SolidLine, Qt::RoundCap));
    for (int row = 0; row < 12; ++row)
        for (double column : {190.0, 430.0, 910.0, 1210.0})
            strokeLine(painter, dice, column, top + row * 44 + 32, column + 160 + dice.below(60),
                       16);
    painter.setPen(QPen(QColor(200, 30, 30), 7));
    painter.drawEllipse(QPointF(kWidth - 330, kHeight - 330), 110, 110);
    painter.setPen(QPen(QColor(200, 30, 30), 3));
    painter.drawEllipse(QPointF(kWidth - 330, kHeight - 330), 90, 90);
    strokeLine(painter, dice, kWidth - 400, kHeight - 315, kWidth - 250, 30);
    return image;
}

// The ten page files: PNG and JPEG by turns, as scanners and issuing programs give them.
const std::vector<QByteArray>& pageFiles() {
    static const std::vector<QByteArray> files = [] {
        std::vector<QByteArray> out;
        for (int page = 0; page < kPages; ++page) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            pageImage(page).save(&buffer, page % 2 ? "JPEG" : "PNG", page % 2 ? 85 : -1);
            out.push_back(bytes);
        }
        return out;
    }();
    return files;
}

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
            const fs::path file =
                folder_.path() / ("page" + std::to_string(page) + (page % 2 ? ".jpg" : ".png"));
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
