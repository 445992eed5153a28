// One issue of ten A4 pages scanned at 200 dpi, printed to the machine's PDF printer through the
// real TesselServer over loopback (set-up, the ten page frames and the run, whose reply comes once
// the PDF file is complete), against Qt alone decoding the same ten images and writing the same
// ten-page PDF fitted to A4. Both first prove their PDF has the ten pages.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

#include "bench/reference.h"
#include "bench/server_fixture.h"
#include "platform/print/pdf_pages.h"
#include "platform/text/text.h"

namespace tessel::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kPages = 10;
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

// Empty when the file holds ten A4 portrait pages, else what is wrong with it.
std::string checkPdf(const fs::path& file) {
    const auto pages = platform::print::testing::pdfPages(file);
    if (pages.size() != kPages)
        return "the PDF has " + std::to_string(pages.size()) + " pages, not ten";
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
        setup_ = wire(st::request(u"CE00", u"{\"pages\":10,\"usedefaultprinter\":\"1\"}"));
        for (int page = 0; page < kPages; ++page) {
            const QByteArray& bytes = pageFiles()[static_cast<std::size_t>(page)];
            const std::u16string number = platform::text::zeroPad(page + 1, 4);
            pages_.push_back(wire(st::request(
                u"CE01", number + u"," + QString::fromLatin1(bytes.toBase64()).toStdU16String())));
        }
        run_ = wire(st::request(u"CE02"));
    }

    // One issue; empty when its PDF was written, else why not.
    std::string issue() {
        if (!server_.ready()) return "the server did not start: " + server_.errors();
        if (auto why = ask(setup_, u"CE0000")) return "set-up: " + *why;
        for (const auto& page : pages_)
            if (auto why = ask(page, u"CE0100")) return "page: " + *why;
        if (auto why = ask(run_, u"CE0200")) return "run: " + *why;
        return {};
    }
    fs::path outputFolder() const { return server_.machine() / "print"; }
    // What the server has used so far: processor time in milliseconds and page faults.
    struct Usage {
        double cpuMs = 0;
        double pageFaults = 0;
    };
    Usage serverUsage() const {
        std::ifstream in("/proc/" + std::to_string(server_.pid()) + "/stat");
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // The fields after the program's name (which is in parentheses) start with the state;
        // minor and major faults are the 8th and 10th of them, user and system time the 12th and
        // 13th, in clock ticks.
        std::istringstream fields(all.substr(all.rfind(')') + 2));
        std::string field;
        double user = 0, system = 0;
        Usage usage;
        for (int i = 1; i <= 13 && fields >> field; ++i) {
            if (i == 8 || i == 10) usage.pageFaults += std::stod(field);
            if (i == 12) user = std::stod(field);
            if (i == 13) system = std::stod(field);
        }
        usage.cpuMs = (user + system) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
        return usage;
    }
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
    std::string setup_, run_;
    std::vector<std::string> pages_;
};

void ours(benchmark::State& state) {
    PrintRoad road;  // the server ends with the benchmark, whichever way it leaves
    if (auto why = road.issue(); !why.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    const auto pdfs = pdfsIn(road.outputFolder());
    if (pdfs.size() != 1) {
        state.SkipWithError(("the run left " + std::to_string(pdfs.size()) + " PDF files").c_str());
        return;
    }
    if (auto why = checkPdf(pdfs[0]); !why.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    road.removePdfs();
    const auto before = road.serverUsage();
    for (auto _ : state) {
        if (auto why = road.issue(); !why.empty()) {
            state.SkipWithError(why.c_str());
            return;
        }
        state.PauseTiming();
        road.removePdfs();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations());
    // What the server itself spent on an issue, which a busy machine disturbs less than the
    // time on the clock.
    const auto after = road.serverUsage();
    const auto issues = static_cast<double>(state.iterations());
    state.counters["server_cpu_ms"] = (after.cpuMs - before.cpuMs) / issues;
    state.counters["server_faults"] = (after.pageFaults - before.pageFaults) / issues;
}

// ---- the reference: Qt alone ----

// Decodes the pages and writes them to `file` as the PDF printer does: A4 at 300 dpi with the
// whole sheet printable, each page fitted to it from the top-left corner.
bool referenceIssue(const fs::path& file) {
    QPdfWriter writer(QString::fromStdString(file.string()));
    writer.setResolution(300);
    writer.setCreator(QStringLiteral("Tessel"));
    QPainter painter;
    for (int page = 0; page < kPages; ++page) {
        QImage image;
        if (!image.loadFromData(pageFiles()[static_cast<std::size_t>(page)])) return false;
        const QPageLayout layout(
            QPageSize(QPageSize::A4),
            image.height() >= image.width() ? QPageLayout::Portrait : QPageLayout::Landscape,
            QMarginsF(0, 0, 0, 0));
        writer.setPageLayout(layout);
        if (page == 0 ? !painter.begin(&writer) : !writer.newPage()) return false;
        const QRectF area(QPointF(0, 0), layout.fullRectPixels(writer.resolution()).size());
        QSizeF fitted = image.size().toSizeF().scaled(area.size(), Qt::KeepAspectRatio);
        painter.drawImage(QRectF(QPointF(0, 0), fitted), image);
    }
    return painter.end();
}

void reference(benchmark::State& state) {
    platform::testing::TempMachine folder;
    const fs::path file = folder.path() / "issue.pdf";
    if (!referenceIssue(file)) {
        state.SkipWithError("Qt could not write the PDF");
        return;
    }
    if (auto why = checkPdf(file); !why.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    for (auto _ : state) {
        if (!referenceIssue(file)) {
            state.SkipWithError("Qt could not write the PDF");
            return;
        }
    }
    ::getrusage(RUSAGE_SELF, &after);
    state.SetItemsProcessed(state.iterations());
    state.counters["faults"] = static_cast<double>((after.ru_minflt + after.ru_majflt) -
                                                   (before.ru_minflt + before.ru_majflt)) /
                               static_cast<double>(state.iterations());
    double imageBytes = 0;
    for (const auto& bytes : pageFiles()) imageBytes += static_cast<double>(bytes.size());
    state.counters["images_MB"] = imageBytes / 1e6;
    state.counters["pdf_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
}

const bool registered = [] {
    for (auto* b : {benchmark::RegisterBenchmark("Issue-10xA4-PDF/ours", ours),
                    benchmark::RegisterBenchmark("Issue-10xA4-PDF/ref", reference)})
        b->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace tessel::bench
