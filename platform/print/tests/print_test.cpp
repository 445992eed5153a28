#include "platform/print/print.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/print/pdf_pages.h"
#include "platform/system/description.h"
#include "platform/testing/temp_machine.h"

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

}  // namespace
