#include "platform/print/print.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

#include <atomic>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "platform/spooler/cups_backend.h"
#include "platform/spooler/spooler.h"
#include "platform/system/description.h"
#include "platform/system/machine.h"
#include "platform/text/codepage.h"
#include "platform/text/strings.h"

namespace platform::print {

namespace {

// The paper of the PDF printers: A4 with the whole sheet printable.
constexpr AreaHiMetric kA4{21000, 29700};

std::string fileSafe(std::u16string_view name) {
    std::string out;
    for (char c : text::toUtf8(name)) {
        const bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                          (c >= 'a' && c <= 'z') || c == '-' || c == '_';
        out += keep ? c : '_';
    }
    return out.empty() ? std::string("printer") : out;
}

// A job's file: the device name, the time and a counter, unique within the folder.
std::filesystem::path newJobFile(const std::filesystem::path& folder, std::u16string_view device) {
    static std::atomic<unsigned> counter{0};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (;;) {
        const std::string name = fileSafe(device) + "-" + stamp + "-" +
                                 std::to_string(static_cast<long>(::getpid())) + "-" +
                                 std::to_string(counter++) + ".pdf";
        std::error_code ec;
        if (!std::filesystem::exists(folder / name, ec)) return folder / name;
    }
}

// What the painting printers share: the device name, the orientation of the next page, pages
// opened by the first drawing on them, and pictures painted in device units.
class PaintingPrinter : public Printer {
  public:
    explicit PaintingPrinter(std::u16string name) : name_(std::move(name)) {}

    std::u16string deviceName() const override { return name_; }
    Orientation orientation() const override { return orientation_; }
    bool setOrientation(Orientation orientation) override {
        if (pageOpen_) return fail(u"a page is open");
        orientation_ = orientation;
        return true;
    }
    bool drawPicture(const imaging::Picture& picture, double x, double y, double width,
                     double height) override {
        if (!openPage()) return false;
        QImage image(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width,
                     picture.height, picture.width * 4, QImage::Format_RGB32);
        if (monochrome_) image = image.convertToFormat(QImage::Format_Grayscale8);
        // The painter works in device units of the device's resolution.
        const double perHiMetric = resolution() / 2540.0;
        painter_.drawImage(
            QRectF(x * perHiMetric, y * perHiMetric, width * perHiMetric, height * perHiMetric),
            image);
        return true;
    }
    // The PDF engine takes an opaque 32-bit picture as it is and holds its JPEG form while it
    // writes it: at most about a byte a pixel at the engine's quality, in a buffer that grows to
    // twice what it holds. A grey picture is our 8-bit copy, which the engine converts to a
    // 32-bit copy of its own before it codes it.
    std::size_t drawingBytes(const imaging::Picture& picture) const override {
        const std::size_t pixels =
            static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
        constexpr std::size_t kCoded = 2;  // bytes a pixel of the JPEG form and its buffer
        return monochrome_ ? pixels * (1 + 4 + kCoded) : pixels * kCoded;
    }
    bool newPage() override {
        pageOpen_ = false;
        return true;
    }
    std::u16string lastError() const override { return error_; }

  protected:
    // Opens a page (and the job with the first one) when none is open.
    virtual bool openPage() = 0;
    virtual int resolution() const = 0;
    bool fail(std::u16string why) {
        error_ = std::move(why);
        return false;
    }

    std::u16string name_;
    QPainter painter_;
    Orientation orientation_ = Orientation::Portrait;
    bool pageOpen_ = false;
    bool monochrome_ = false;  // pictures are painted in grey
    std::u16string error_;
};

class PdfPrinter : public PaintingPrinter {
  public:
    PdfPrinter(std::u16string name, std::filesystem::path folder)
        : PaintingPrinter(std::move(name)), folder_(std::move(folder)) {}
    ~PdfPrinter() override { abort(); }

    AreaHiMetric printableArea() const override {
        return pageOpen_ ? pageArea_ : areaOf(orientation_);
    }
    bool end() override {
        if (!writer_) return true;  // nothing was drawn: no file
        painter_.end();
        writer_.reset();
        std::error_code ec;
        std::filesystem::rename(part_, file_, ec);
        if (ec) {
            std::filesystem::remove(part_, ec);
            return fail(u"the output file could not be written");
        }
        pageOpen_ = false;
        return true;
    }
    void abort() override {
        if (!writer_) return;
        if (painter_.isActive()) painter_.end();
        writer_.reset();
        std::error_code ec;
        std::filesystem::remove(part_, ec);
        pageOpen_ = false;
    }

  private:
    int resolution() const override { return writer_ ? writer_->resolution() : 300; }
    static AreaHiMetric areaOf(Orientation o) {
        return o == Orientation::Landscape ? AreaHiMetric{kA4.height, kA4.width} : kA4;
    }
    QPageLayout layout() const {
        return QPageLayout(
            QPageSize(QPageSize::A4),
            orientation_ == Orientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
            QMarginsF(0, 0, 0, 0));
    }
    bool openPage() override {
        if (pageOpen_) return true;
        if (!writer_) {
            std::error_code ec;
            std::filesystem::create_directories(folder_, ec);
            file_ = newJobFile(folder_, name_);
            part_ = file_;
            part_ += ".part";
            writer_ = std::make_unique<QPdfWriter>(QString::fromStdString(part_.string()));
            writer_->setResolution(300);
            writer_->setCreator(QStringLiteral("Tessel"));
            writer_->setPageLayout(layout());
            if (!painter_.begin(writer_.get())) {
                writer_.reset();
                return fail(u"the printer's output cannot be opened");
            }
        } else {
            writer_->setPageLayout(layout());
            if (!writer_->newPage()) return fail(u"a new page could not be started");
        }
        pageArea_ = areaOf(orientation_);
        pageOpen_ = true;
        return true;
    }

    std::filesystem::path folder_, file_, part_;
    std::unique_ptr<QPdfWriter> writer_;
    AreaHiMetric pageArea_{};
};

// A real print queue: the pages are painted as PDF on the queue's own paper and printable area
// (as the spooler's guarded request reads them: no other library asks the scheduler), and the
// finished document is handed to the queue as one job; the job counts as printed only once
// CUPS has taken it whole.
class QueuePrinter : public PaintingPrinter {
  public:
    QueuePrinter(std::u16string name, const std::string& queue,
                 const spooler::cups::PageLayout& paper, bool monochrome)
        : PaintingPrinter(std::move(name)),
          queue_(queue),
          media_(paper.media),
          portrait_(QPageSize(QSizeF(paper.width / 100.0, paper.height / 100.0),
                              QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                    QPageLayout::Portrait,
                    QMarginsF(paper.left / 100.0, paper.top / 100.0, paper.right / 100.0,
                              paper.bottom / 100.0),
                    QPageLayout::Millimeter) {
        // In colour unless the device mode asks for monochrome, whatever the queue's own default
        // (a raw queue's is monochrome): the pages are drawn so and the job asks CUPS for it.
        monochrome_ = monochrome;
    }
    void setDocumentName(std::u16string name) override { documentName_ = std::move(name); }
    ~QueuePrinter() override { abort(); }

    AreaHiMetric printableArea() const override {
        const QRectF mm = layout().paintRect(QPageLayout::Millimeter);
        return {mm.width() * 100, mm.height() * 100};
    }
    bool end() override {
        if (!writer_) return true;  // nothing was drawn: no job
        const bool painted = painter_.end();
        writer_.reset();
        pageOpen_ = false;
        const std::string pdf = document_.toStdString();
        document_.clear();
        if (!painted) return fail(u"the job could not be made");
        std::vector<std::pair<std::string, std::string>> options;
        if (!media_.empty()) options.emplace_back("media", media_);
        options.emplace_back("print-color-mode", monochrome_ ? "monochrome" : "color");
        const auto taken = spooler::cups::submit(queue_, text::toUtf8(documentName_), pdf, options);
        if (taken.jobId == 0 || !taken.error.empty()) return fail(text::fromUtf8(taken.error));
        return true;
    }
    void abort() override {
        if (!writer_) return;
        if (painter_.isActive()) painter_.end();
        writer_.reset();
        document_.clear();
        pageOpen_ = false;
    }

  private:
    int resolution() const override { return writer_ ? writer_->resolution() : 300; }
    QPageLayout layout() const {
        QPageLayout layout = portrait_;
        layout.setOrientation(orientation_ == Orientation::Landscape ? QPageLayout::Landscape
                                                                     : QPageLayout::Portrait);
        return layout;
    }
    bool openPage() override {
        if (pageOpen_) return true;
        if (!writer_) {
            document_.clear();
            buffer_ = std::make_unique<QBuffer>(&document_);
            buffer_->open(QIODevice::WriteOnly);
            writer_ = std::make_unique<QPdfWriter>(buffer_.get());
            writer_->setResolution(300);
            writer_->setCreator(QStringLiteral("Tessel"));
            writer_->setPageLayout(layout());
            if (!painter_.begin(writer_.get())) {
                writer_.reset();
                return fail(u"the print queue cannot be opened");
            }
        } else {
            writer_->setPageLayout(layout());
            if (!writer_->newPage()) return fail(u"a new page could not be started");
        }
        pageOpen_ = true;
        return true;
    }

    std::string queue_;
    std::string media_;            // the media keyword the job asks for ("" none)
    std::u16string documentName_;  // the job's name
    QPageLayout portrait_;         // the queue's paper, upright
    QByteArray document_;
    std::unique_ptr<QBuffer> buffer_;
    std::unique_ptr<QPdfWriter> writer_;
};

// A queue printer on the queue's paper; nullptr when the scheduler does not say what it is.
std::unique_ptr<Printer> queuePrinter(std::u16string name, const std::string& queue,
                                      bool monochrome, std::u16string* error) {
    const auto paper = spooler::cups::pageLayout(queue);
    if (!paper) {
        if (error) {
            *error = text::fromUtf8(spooler::cups::schedulerFailure());
            if (error->empty())
                *error = paper.error == spooler::kInvalidPrinterName
                             ? u"the print queue is not available"
                             : u"the print queue's paper cannot be read";
        }
        return nullptr;
    }
    return std::make_unique<QueuePrinter>(std::move(name), queue, *paper, monochrome);
}

// Whether a device mode asks for monochrome printing.
bool asksMonochrome(const std::optional<spooler::DevMode>& devMode) {
    constexpr std::size_t kFields = 40, kColor = 60;
    constexpr std::uint32_t DM_COLOR = 0x800;
    constexpr std::int16_t DMCOLOR_MONOCHROME = 1;
    if (!devMode || devMode->size() < kColor + 2) return false;
    const auto& b = *devMode;
    const std::uint32_t fields = std::uint32_t(b[kFields]) | std::uint32_t(b[kFields + 1]) << 8 |
                                 std::uint32_t(b[kFields + 2]) << 16 |
                                 std::uint32_t(b[kFields + 3]) << 24;
    const auto color = std::int16_t(std::uint16_t(b[kColor] | b[kColor + 1] << 8));
    return (fields & DM_COLOR) && color == DMCOLOR_MONOCHROME;
}

std::string number(double v) {
    return std::to_string(static_cast<long long>(std::llround(v)));
}

}  // namespace

BackendChoice chooseBackend(const std::string& cupsQueue, const std::string& output,
                            const std::string& machineFolder) {
    BackendChoice choice;
    if (!cupsQueue.empty()) {
        choice.backend = Backend::Queue;
        choice.target = cupsQueue;
    } else if (!output.empty()) {
        std::filesystem::path folder(output);
        if (folder.is_relative()) folder = std::filesystem::path(machineFolder) / folder;
        choice.backend = Backend::PdfFolder;
        choice.target = folder.string();
    } else {
        choice.why = u"the printer has no output folder";
    }
    return choice;
}

std::unique_ptr<Printer> openPrinter(std::u16string_view deviceName, std::u16string* error) {
    if (spooler::realQueues()) {
        // The printers are the CUPS queues: each one's jobs go to the queue of its name. CUPS
        // keeps no device mode of a queue, so none asks for monochrome.
        for (const auto& name : spooler::printerNames())
            if (text::equalsNoCase(name, deviceName))
                return queuePrinter(name, text::toUtf8(name), false, error);
        if (error) *error = u"the printer is not installed";
        return nullptr;
    }
    const auto machine = system::loadMachine();
    const auto* printer = machine.findPrinter(deviceName);
    if (!printer) {
        if (error) *error = u"the printer is not installed";
        return nullptr;
    }
    const BackendChoice choice =
        chooseBackend(printer->cupsQueue, printer->output, system::machineFolder().string());
    switch (choice.backend) {
        case Backend::Queue:
            return queuePrinter(printer->deviceName, choice.target,
                                asksMonochrome(printer->devMode), error);
        case Backend::PdfFolder:
            return std::make_unique<PdfPrinter>(printer->deviceName, choice.target);
        case Backend::None:
            break;
    }
    if (error) *error = choice.why;
    return nullptr;
}

bool RecordingPrinter::setOrientation(Orientation orientation) {
    if (refuseOrientation || pageOpen_) {
        error_ = u"orientation refused";
        return false;
    }
    orientation_ = orientation;
    steps.push_back("orientation " + std::to_string(static_cast<int>(orientation)));
    return true;
}

AreaHiMetric RecordingPrinter::printableArea() const {
    return orientation_ == Orientation::Landscape ? AreaHiMetric{portrait_.height, portrait_.width}
                                                  : portrait_;
}

bool RecordingPrinter::drawPicture(const imaging::Picture& picture, double x, double y,
                                   double width, double height) {
    if (failDraw && ++draws_ == failDraw) {
        error_ = u"the printer is out of paper";
        return false;
    }
    if (!pageOpen_) {
        steps.push_back("page " + std::to_string(static_cast<int>(orientation_)));
        pageOpen_ = true;
    }
    steps.push_back("draw " + number(x) + " " + number(y) + " " + number(width) + " " +
                    number(height) + " (" + std::to_string(picture.width) + "x" +
                    std::to_string(picture.height) + " px)");
    return true;
}

bool RecordingPrinter::newPage() {
    steps.push_back("newpage");
    pageOpen_ = false;
    return true;
}

bool RecordingPrinter::end() {
    steps.push_back("end");
    pageOpen_ = false;
    return true;
}

void RecordingPrinter::abort() {
    steps.push_back("abort");
    pageOpen_ = false;
}

}  // namespace platform::print
