#include "platform/print/print.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>
#include <QGuiApplication>
#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/print/pdf_pages.h"
#include "platform/spooler/cups_backend.h"
#include "platform/spooler/spooler.h"
#include "platform/system/description.h"
#include "platform/testing/cupsd.h"
#include "platform/testing/environment.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/codepage.h"

namespace {

using namespace platform::print;
using platform::imaging::Picture;

Picture solid(int width, int height) {
    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.assign(static_cast<std::size_t>(width * height), 0xFF336699u);
    return p;
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) files.push_back(e.path());
    return files;
}

TEST(PrintBackend, QueueWinsOverFolderAndFoldersLieInTheMachine) {
    struct Row {
        const char* name;
        std::string queue, output;
        Backend backend;
        std::string target;
    };
    const Row rows[] = {
        {"queue only", "Office_Laser", "", Backend::Queue, "Office_Laser"},
        {"queue and folder", "Office_Laser", "print", Backend::Queue, "Office_Laser"},
        {"relative folder", "", "print", Backend::PdfFolder, "/m/print"},
        {"absolute folder", "", "/srv/out", Backend::PdfFolder, "/srv/out"},
        {"neither", "", "", Backend::None, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const BackendChoice c = chooseBackend(row.queue, row.output, "/m");
        EXPECT_EQ(c.backend, row.backend);
        EXPECT_EQ(c.target, row.target);
        EXPECT_EQ(c.why.empty(), row.backend != Backend::None);
    }
}

TEST(PrintBackend, TheQueueNameSurvivesTheMachineFile) {
    platform::testing::TempMachine machine;
    ASSERT_TRUE(platform::system::describeMachine(
        R"({"printers": [{"device": "Office", "cupsQueue": "Office_Laser"},
                         {"device": "Plain"}]})"));
    const auto m = platform::system::loadMachine();
    EXPECT_EQ(m.findPrinter(u"office")->cupsQueue, "Office_Laser");
    ASSERT_TRUE(platform::system::writeMachine(m));
    const auto again = platform::system::loadMachine();
    EXPECT_EQ(again.findPrinter(u"Office")->cupsQueue, "Office_Laser");
    EXPECT_EQ(again.findPrinter(u"Plain")->cupsQueue, "");
    std::u16string why;
    EXPECT_FALSE(openPrinter(u"Plain", &why));
    EXPECT_EQ(why, u"the printer has no output folder");
}

class PdfPrinterTest : public ::testing::Test {
  protected:
    platform::testing::TempMachine machine_;
    std::filesystem::path output() const { return machine_.path() / "print"; }
};

TEST_F(PdfPrinterTest, OneFilePerJobWithEachPagesOrientationAndNoTrailingBlankPage) {
    auto printer = openPrinter(u"tessel printer");  // the default machine's, any letter case
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->deviceName(), u"Tessel Printer");
    const Orientation order[] = {Orientation::Portrait, Orientation::Landscape,
                                 Orientation::Portrait};
    for (Orientation o : order) {
        ASSERT_TRUE(printer->setOrientation(o));
        const AreaHiMetric area = printer->printableArea();
        EXPECT_EQ(area.width > area.height, o == Orientation::Landscape);
        ASSERT_TRUE(printer->drawPicture(solid(20, 10), 0, 0, area.width, area.height / 2));
        // A page keeps the orientation it started with.
        EXPECT_FALSE(printer->setOrientation(Orientation::Landscape));
        ASSERT_TRUE(printer->newPage());
    }
    ASSERT_TRUE(printer->end());

    const auto files = filesIn(output());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].extension(), ".pdf");
    const auto pages = platform::print::testing::pdfPages(files[0]);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_FALSE(pages[0].landscape());
    EXPECT_TRUE(pages[1].landscape());
    EXPECT_FALSE(pages[2].landscape());
    EXPECT_NEAR(pages[0].width, 595.0, 1.0);  // A4 in points
    EXPECT_NEAR(pages[0].height, 842.0, 1.0);
}

TEST_F(PdfPrinterTest, AnAbortedJobLeavesNoFileAndAJobWithoutDrawingWritesNone) {
    auto printer = openPrinter(u"Tessel Printer");
    ASSERT_TRUE(printer);
    ASSERT_TRUE(printer->drawPicture(solid(2, 2), 0, 0, 100, 100));
    printer->abort();
    EXPECT_TRUE(filesIn(output()).empty());

    auto idle = openPrinter(u"Tessel Printer");
    ASSERT_TRUE(idle);
    EXPECT_TRUE(idle->newPage());
    EXPECT_TRUE(idle->end());
    EXPECT_TRUE(filesIn(output()).empty());
}

TEST_F(PdfPrinterTest, PrintersWithoutOutputOrNotInstalledGiveNone) {
    ASSERT_TRUE(platform::system::describeMachine(R"({"defaultPrinter": "Plain",
        "printers": [{"device": "Plain", "port": "USB001", "driver": "Tessel Laser"}]})"));
    std::u16string why;
    EXPECT_FALSE(openPrinter(u"Plain", &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(openPrinter(u"Tessel Printer", &why));
}

TEST(RecordingPrinter, RecordsPagesInTheOrientationTheyStartedWith) {
    RecordingPrinter printer(u"Fake", {19000, 27000});
    EXPECT_EQ(printer.printableArea().width, 19000);
    printer.setOrientation(Orientation::Landscape);
    EXPECT_EQ(printer.printableArea().width, 27000);
    printer.drawPicture(solid(3, 2), 0, 0, 27000, 18000);
    EXPECT_FALSE(printer.setOrientation(Orientation::Portrait));
    printer.newPage();
    printer.end();
    EXPECT_EQ(printer.steps,
              (std::vector<std::string>{"orientation 2", "page 2", "draw 0 0 27000 18000 (3x2 px)",
                                        "newpage", "end"}));
}

// The first picture a PDF paints, decoded (a null image when there is none Qt can read).
QImage firstPicture(const std::string& pdf) {
    const auto image = pdf.find("/Subtype /Image");
    if (image == std::string::npos) return {};
    const auto stream = pdf.find("stream", image);
    const auto end = pdf.find("endstream", stream);
    if (stream == std::string::npos || end == std::string::npos) return {};
    std::size_t start = stream + 6;
    if (pdf.compare(start, 2, "\r\n") == 0)
        start += 2;
    else if (pdf[start] == '\n')
        start += 1;
    return QImage::fromData(QByteArray(pdf.data() + start, qsizetype(end - start)));
}

// The print-color-mode a job of the socket queue asks for ("" when none).
std::string jobColourMode(int port, int jobId) {
    ipp_t* r = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const std::string uri = "ipp://127.0.0.1:" + std::to_string(port) + "/printers/Tessel_Socket";
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    http_t* http =
        httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 30000, nullptr);
    if (!http) return "no connection";
    ipp_t* answer = cupsDoRequest(http, r, "/");
    std::string mode;
    if (ipp_attribute_t* a = ippFindAttribute(answer, "print-color-mode", IPP_TAG_KEYWORD))
        mode = ippGetString(a, 0, nullptr);
    ippDelete(answer);
    httpClose(http);
    return mode;
}

// A colour page on a kiosk's raw CUPS queue (whose default is monochrome), as the PDF that reaches
// the network printer behind it.
class QueuePrinterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TESSEL_REQUIRE_CUPSD();
        // Qt's printer needs an application.
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "print_tests";
            static char* argv[] = {name, nullptr};
            static QGuiApplication app(argc, argv);
        }
        kiosk_.emplace();
        ASSERT_EQ(kiosk_->problem(), "");
        // libcups keeps the server it first read; this test's scheduler is a new one.
        cupsSetServer(nullptr);
    }
    // Prints one colour page on `device` as `document`, held in the queue until the job list
    // is read; the document name CUPS lists and the bytes the printer received.
    std::pair<std::u16string, std::string> printHeld(std::u16string_view device,
                                                     const std::u16string& document) {
        const auto& cupsd = kiosk_->cupsd;
        EXPECT_EQ(cupsd.run("cupsdisable", {"Tessel_Socket"}).exitCode, 0);
        std::u16string why;
        auto printer = openPrinter(device, &why);
        EXPECT_TRUE(printer) << platform::text::toUtf8(why) << " "
                             << platform::spooler::cups::schedulerFailure();
        if (!printer) return {};
        printer->setDocumentName(document);
        Picture red;
        red.width = red.height = 64;
        red.pixels.assign(64 * 64, 0xFFD02020u);
        EXPECT_TRUE(printer->drawPicture(red, 0, 0, 5000, 5000));
        EXPECT_TRUE(printer->end()) << platform::text::toUtf8(printer->lastError());
        std::u16string listed;
        int jobId = 0;
        EXPECT_TRUE(platform::testing::waitFor([&] {
            // The job as the spooler over the CUPS queues lists it.
            std::optional<platform::testing::ScopedVariable> spooler;
            spooler.emplace("TESSEL_SPOOLER", "cups");
            auto h = platform::spooler::PrinterHandle::open(u"Tessel_Socket");
            auto jobs =
                h ? h->enumJobs(0, 10)
                  : platform::spooler::Result<std::vector<platform::spooler::JobInfo2>>::failure(
                        h.error);
            spooler.reset();
            if (!jobs || jobs->empty()) return false;
            listed = jobs->front().document;
            jobId = int(jobs->front().jobId);
            return true;
        }));
        colourMode = jobColourMode(cupsd.port(), jobId);
        EXPECT_EQ(cupsd.run("cupsenable", {"Tessel_Socket"}).exitCode, 0);
        const auto bytes = kiosk_->printer.job(0);
        EXPECT_TRUE(bytes) << cupsd.log();
        return {listed, bytes.value_or("")};
    }

    platform::testing::TempMachine machine_;
    std::optional<platform::testing::CupsKiosk> kiosk_;
    std::string colourMode;  // the held job's print-color-mode
};

TEST_F(QueuePrinterTest, TheJobCarriesItsDocumentNameAndItsColours) {
    setenv("TESSEL_SPOOLER", "cups", 1);
    const auto [document, pdf] = printHeld(u"Tessel_Socket", u"Quillon Enterprise 증명서");
    unsetenv("TESSEL_SPOOLER");
    EXPECT_EQ(document, u"Quillon Enterprise 증명서");
    EXPECT_EQ(colourMode, "color");
    ASSERT_TRUE(pdf.starts_with("%PDF-")) << pdf.substr(0, 64);
    // The page picture, in its colour: red stays red.
    const QImage picture = firstPicture(pdf);
    ASSERT_FALSE(picture.isNull());
    const QColor c = picture.pixelColor(picture.width() / 2, picture.height() / 2);
    EXPECT_GT(c.red(), 150) << c.red() << " " << c.green() << " " << c.blue();
    EXPECT_LT(c.green(), 90);
}

TEST_F(QueuePrinterTest, ADeviceModeThatAsksForMonochromePrintsGrey) {
    // A described printer on the queue whose device mode asks for monochrome.
    ASSERT_TRUE(platform::system::describeMachine(
        R"({"printers": [{"device": "Front Desk", "cupsQueue": "Tessel_Socket",
                          "devMode": {"color": 1}}]})"));
    const auto [document, pdf] = printHeld(u"Front Desk", u"grey");
    EXPECT_EQ(colourMode, "monochrome");
    ASSERT_TRUE(pdf.starts_with("%PDF-")) << pdf.substr(0, 64);
    // The page picture in grey.
    const QImage picture = firstPicture(pdf);
    ASSERT_FALSE(picture.isNull());
    const QColor c = picture.pixelColor(picture.width() / 2, picture.height() / 2);
    EXPECT_LE(std::abs(c.red() - c.green()), 8) << c.red() << " " << c.green() << " " << c.blue();
    EXPECT_LE(std::abs(c.green() - c.blue()), 8);
}

// The queue printer's paper is the queue's own as the scheduler gives it: a PostScript PPD's A4
// with its quarter-inch imageable margins, a raw queue's default paper; and opening one asks the
// scheduler once for it.
TEST_F(QueuePrinterTest, ThePaperIsTheQueuesOwn) {
    platform::testing::ScopedVariable spooler("TESSEL_SPOOLER", "cups");
    std::u16string why;
    auto ps = openPrinter(u"Tessel_PS", &why);
    ASSERT_TRUE(ps) << platform::text::toUtf8(why);
    const AreaHiMetric area = ps->printableArea();
    EXPECT_NEAR(area.width, 21000 - 2 * 635, 2);
    EXPECT_NEAR(area.height, 29700 - 2 * 635, 2);
    ASSERT_TRUE(ps->setOrientation(Orientation::Landscape));
    EXPECT_NEAR(ps->printableArea().width, 29700 - 2 * 635, 2);

    auto raw = openPrinter(u"Tessel_Socket", &why);
    ASSERT_TRUE(raw) << platform::text::toUtf8(why);
    EXPECT_GT(raw->printableArea().width, 19000);
    EXPECT_GT(raw->printableArea().height, 26000);

    EXPECT_FALSE(openPrinter(u"No_Such_Queue", &why));
}

}  // namespace
