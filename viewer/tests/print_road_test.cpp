// The viewer's print road with a recording printer: the run, the fit of each page, the
// orientation per page, and every way printing fails with PrintResult(False).
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "platform/com/events.h"
#include "platform/imaging/imaging.h"
#include "platform/print/print.h"
#include "platform/system/description.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/notice.h"
#include "viewer/control/page_pictures.h"
#include "viewer/control/viewer.h"
#include "viewer/state/print_settings.h"
#include "viewer_fixture.h"

using namespace vistrel;
using namespace vistrel::testing;
using namespace platform::com;
namespace print = platform::print;

namespace {

TEST(PageFit, FillsTheWidthOrTheHeightOfThePrintableArea) {
    struct Case {
        double pw, ph, aw, ah, w, h;
    };
    const Case cases[] = {
        {2100, 2970, 19000, 27000, 19000, 26871.43},  // slightly wider than the paper
        {1900, 2700, 19000, 27000, 19000, 27000},     // equal aspects take the width
        {1000, 2000, 19000, 27000, 13500, 27000},     // narrower: full height
        {2970, 2100, 27000, 19000, 26871.43, 19000},  // landscape on landscape
    };
    for (const Case& c : cases) {
        const FittedSize f = fitToArea(c.pw, c.ph, c.aw, c.ah);
        EXPECT_NEAR(f.width, c.w, 0.01) << c.pw << "x" << c.ph;
        EXPECT_NEAR(f.height, c.h, 0.01) << c.pw << "x" << c.ph;
    }
}

class PrintRoad : public ViewerTest {
  protected:
    void SetUp() override {
        ViewerTest::SetUp();
        boxes = std::make_shared<platform::ui::HeadlessMessageBoxes>();
        platform::ui::setMessageBoxes(boxes);
        notices = std::make_shared<platform::ui::HeadlessNotices>(false);
        platform::ui::setNotices(notices);
        makeViewer();
    }
    // A new viewer with the test's page decoding.
    void makeViewer() {
        ViewerParts parts;
        parts.pageDecoding = decoding;
        parts.printers = [this](std::u16string_view device,
                                std::u16string* why) -> std::unique_ptr<print::Printer> {
            opened.emplace_back(device);
            if (printerHook) printerHook();
            if (device != u"Tessel Printer") {
                if (why) *why = u"not installed";
                return nullptr;
            }
            auto p = std::make_unique<Recorder>(this);
            p->failDraw = failDraw;
            p->refuseOrientation = refuseOrientation;
            return p;
        };
        parts.pages = display;
        parts.chooser = [this] {
            ++dialogs;
            if (chooserHook) chooserHook();
            printSettings().SelectedPrinterName = choice;
            return choice.empty() ? cancelled : std::u16string();
        };
        viewer = std::make_shared<Viewer>(std::move(parts));
        auto sink = std::make_shared<SinkDispatch>();
        sink->on(event::PrintResult, [this](std::vector<Variant>& a) {
            results.push_back(a.at(0).toBool());
            noticesAtResult = notices->given().size();
        });
        sink->on(event::LoadCompleted, [this](std::vector<Variant>&) { ++loads; });
        std::uint32_t cookie = 0;
        viewer->Advise(DIID___Viewer, sink, cookie);
    }
    void TearDown() override {
        platform::ui::setMessageBoxes(nullptr);
        platform::ui::setNotices(nullptr);
        ViewerTest::TearDown();
    }
    // What the page area is given to show, in order: each picture's width and its pixel at
    // (3, 3), read while it is shown (0, 0 for an empty page).
    struct Display : PageDisplay {
        void showPicture(const platform::imaging::Picture* picture,
                         const std::u16string&) override {
            shown.emplace_back(picture ? picture->width : 0, picture ? picture->pixel(3, 3) : 0);
            if (onShow) onShow();
        }
        std::vector<std::pair<std::int32_t, std::uint32_t>> shown;
        std::function<void()> onShow;
    };
    // A recording printer whose steps outlive it.
    struct Recorder : print::RecordingPrinter {
        explicit Recorder(PrintRoad* t) : RecordingPrinter(u"Tessel Printer"), test(t) {}
        ~Recorder() override {
            test->steps = steps;
            test->documentName = documentName;
        }
        bool drawPicture(const platform::imaging::Picture& picture, double x, double y,
                         double width, double height) override {
            test->drawn.push_back(picture);
            return RecordingPrinter::drawPicture(picture, x, y, width, height);
        }
        PrintRoad* test;
    };
    void pagesOf(const std::u16string& list) {
        invoke(*viewer, dispid::xml, DISPATCH_PROPERTYPUT, {Variant(list)});
    }
    void run(bool printing = true) {
        invoke(*viewer, dispid::RunViewer, DISPATCH_METHOD, {Variant(printing)});
    }
    // Portrait 20x30, landscape 30x20 (Base64), square 20x20.
    static std::u16string threePages() {
        return text::toHex(bmpOf(20, 30)) + u"," + text::toBase64(bmpOf(30, 20)) + u"," +
               text::toHex(bmpOf(20, 20)) + u",";
    }

    std::shared_ptr<platform::ui::HeadlessMessageBoxes> boxes;
    std::shared_ptr<platform::ui::HeadlessNotices> notices;
    std::size_t noticesAtResult = 0;  // notices given when PrintResult last came
    std::shared_ptr<Display> display = std::make_shared<Display>();
    std::shared_ptr<Viewer> viewer;
    std::vector<std::u16string> opened;
    std::vector<std::string> steps;
    std::u16string documentName;                    // the job's name
    std::vector<platform::imaging::Picture> drawn;  // every picture printed, in order
    std::optional<PageDecoding> decoding;
    std::vector<bool> results;
    int loads = 0;
    int dialogs = 0;
    int failDraw = 0;
    bool refuseOrientation = false;
    std::function<void()> chooserHook;
    std::function<void()> printerHook;  // when a printer is opened
    std::u16string choice = u"Tessel Printer";
    std::u16string cancelled = u"프린터 선택 창에서 취소했습니다.";  // the chooser's why
};

TEST_F(PrintRoad, DefaultPrinterRunPrintsEveryPageInItsOwnOrientation) {
    printSettings().UseDefaultPrinter = true;
    pagesOf(threePages());
    run();
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(opened, std::vector<std::u16string>{u"Tessel Printer"});
    EXPECT_EQ(steps, (std::vector<std::string>{
                         "page 1", "draw 0 0 18000 27000 (20x30 px)", "newpage", "orientation 2",
                         "page 2", "draw 0 0 27000 18000 (30x20 px)", "newpage", "orientation 1",
                         "page 1", "draw 0 0 19000 19000 (20x20 px)", "newpage", "end"}));
    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_EQ(loads, 3);  // every page was shown on the walk
    EXPECT_TRUE(boxes->shown().empty());
}

TEST_F(PrintRoad, TheJobIsNamedByTheCertificatesTitle) {
    printSettings().UseDefaultPrinter = true;
    pagesOf(threePages());
    run();
    EXPECT_EQ(documentName, u"Vistrel");  // no title given: the library's
    viewerState().settings.wintitle = u"Quillon Enterprise 증명서";
    run();
    EXPECT_EQ(documentName, u"Quillon Enterprise 증명서");
    EXPECT_EQ(results, (std::vector<bool>{true, true}));
}

TEST_F(PrintRoad, APrinterThatKeepsItsOrientationStillPrintsEveryPage) {
    printSettings().UseDefaultPrinter = true;
    refuseOrientation = true;
    pagesOf(threePages());
    run();
    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "page 1"), 3);  // all portrait
    EXPECT_EQ(steps[4], "draw 0 0 19000 12667 (30x20 px)");          // fitted to the portrait area
}

TEST_F(PrintRoad, TheDialogsChoiceIsUsedAndACancelPrintsNothing) {
    pagesOf(threePages());
    run();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(results, std::vector<bool>{true});

    choice.clear();  // cancelled
    run();
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(results, (std::vector<bool>{true, false}));

    choice = u"Gone Printer";  // nothing installed by that name
    run();
    EXPECT_EQ(results, (std::vector<bool>{true, false, false}));
}

TEST_F(PrintRoad, FailuresAnswerPrintResultFalse) {
    printSettings().UseDefaultPrinter = true;
    // A page that decodes to nothing leaves its slot empty: no duplicate of the page before.
    pagesOf(text::toHex(bmpOf(20, 30)) + u",zz-not-an-image,");
    run();
    EXPECT_EQ(results, std::vector<bool>{false});
    EXPECT_EQ(steps.back(), "abort");
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(boxes->shown()[0].text.rfind(u"인쇄 실패\r\n", 0), 0u);

    // The printer fails on the second page: the job is discarded.
    failDraw = 2;
    pagesOf(threePages());
    run();
    EXPECT_EQ(results, (std::vector<bool>{false, false}));
    EXPECT_EQ(steps.back(), "abort");
    failDraw = 0;

    // An empty page list never reprints the document before it.
    pagesOf(u"");
    run();
    EXPECT_EQ(results, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(invoke(*viewer, dispid::PageTotal, DISPATCH_PROPERTYGET).toI4(), 0);

    // No selection dialog in the process: nothing is printed.
    printSettings().UseDefaultPrinter = false;
    ViewerParts bare;
    bare.printers = [](std::u16string_view, std::u16string*) { return nullptr; };
    auto lone = std::make_shared<Viewer>(std::move(bare));
    std::vector<bool> loneResults;
    auto sink = std::make_shared<SinkDispatch>();
    sink->on(event::PrintResult,
             [&](std::vector<Variant>& a) { loneResults.push_back(a.at(0).toBool()); });
    std::uint32_t cookie = 0;
    lone->Advise(DIID___Viewer, sink, cookie);
    invoke(*lone, dispid::xml, DISPATCH_PROPERTYPUT, {Variant(threePages())});
    invoke(*lone, dispid::RunViewer, DISPATCH_METHOD, {Variant(true)});
    EXPECT_EQ(loneResults, std::vector<bool>{false});
}

// Every run that ends without printing says why in one notice (the host's log line) before
// PrintResult(False); only a print error also shows the failure box.
TEST_F(PrintRoad, EveryRunThatEndsWithoutPrintingSaysWhyBeforePrintResult) {
    const std::u16string twoPages = text::toHex(bmpOf(20, 30)) + u",zz-not-an-image,";
    const struct {
        const char* name;
        bool defaultPrinter;
        std::u16string pages;
        std::u16string choice;
        std::u16string chooserWhy;
        std::u16string says;
        std::u16string box;  // empty: none
    } cases[] = {
        {"cancelled in the dialog", false, threePages(), u"", u"프린터 선택 창에서 취소했습니다.",
         u"인쇄하지 않음: 프린터 선택 창에서 취소했습니다.", u""},
        {"the dialog handed back nothing and said nothing", false, threePages(), u"", u"",
         u"인쇄하지 않음: 선택한 프린터가 없습니다.", u""},
        {"the chosen printer is not installed", false, threePages(), u"Gone Printer", u"",
         u"인쇄 실패: 프린터를 열 수 없습니다: Gone Printer (not installed)", u""},
        {"a page that cannot be decoded", true, twoPages, u"", u"",
         u"인쇄 실패: 페이지 2 이미지가 없습니다.", u"인쇄 실패\r\n페이지 2 이미지가 없습니다."},
        {"no pages", true, u"", u"", u"", u"인쇄하지 않음: 페이지 목록이 비어 있습니다.", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        notices->clear();
        boxes->clear();
        results.clear();
        printSettings().UseDefaultPrinter = c.defaultPrinter;
        choice = c.choice;
        cancelled = c.chooserWhy;
        pagesOf(c.pages);
        run();
        EXPECT_EQ(results, std::vector<bool>{false});
        EXPECT_EQ(notices->given(), std::vector<std::u16string>{c.says});
        EXPECT_EQ(noticesAtResult, 1u);
        const auto shown = boxes->shown();
        ASSERT_EQ(shown.size(), c.box.empty() ? 0u : 1u);
        if (!c.box.empty()) {
            EXPECT_EQ(shown[0].text, c.box);
        }
    }

    // A process without a printer selection dialog says so.
    notices->clear();
    printSettings().UseDefaultPrinter = false;
    ViewerParts bare;
    auto lone = std::make_shared<Viewer>(std::move(bare));
    invoke(*lone, dispid::xml, DISPATCH_PROPERTYPUT, {Variant(threePages())});
    invoke(*lone, dispid::RunViewer, DISPATCH_METHOD, {Variant(true)});
    EXPECT_EQ(notices->given(), std::vector<std::u16string>{
                                    u"인쇄하지 않음: 이 프로그램에는 프린터 선택 창이 없습니다."});

    // A printed run says nothing.
    notices->clear();
    printSettings().UseDefaultPrinter = true;
    pagesOf(threePages());
    run();
    EXPECT_TRUE(notices->given().empty());
}

TEST_F(PrintRoad, ARunStartedWhileOneRunsDoesNothing) {
    pagesOf(threePages());
    chooserHook = [this] {
        // The dialog's event loop lets a second run and a direct print in.
        for (int twice = 0; twice < 2; ++twice) {
            run();
            EXPECT_FALSE(invoke(*viewer, dispid::PrintPDF, DISPATCH_METHOD,
                                {Variant(u""), Variant(std::int32_t{1}), Variant(std::int32_t{0})})
                             .toBool());
        }
    };
    run();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "newpage"), 3);
}

TEST_F(PrintRoad, PrintPdfGatesOnTheRangeAndDecodesPagesNeverShown) {
    printSettings().UseDefaultPrinter = true;
    pagesOf(threePages());
    run(false);  // only page 1 decoded and shown
    EXPECT_TRUE(results.empty());
    const auto printPdf = [&](std::int32_t start, std::int32_t end) {
        return invoke(*viewer, dispid::PrintPDF, DISPATCH_METHOD,
                      {Variant(u""), Variant(start), Variant(end)})
            .toBool();
    };
    EXPECT_FALSE(printPdf(0, 0));
    EXPECT_FALSE(printPdf(2, 4));
    EXPECT_EQ(results, (std::vector<bool>{false, false}));
    EXPECT_TRUE(printPdf(2, 2));  // the range only gates: all three pages print
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "newpage"), 3);
    EXPECT_EQ(results, (std::vector<bool>{false, false, true}));
}

TEST_F(PrintRoad, AvailablePrinterAnswersFromTheInstalledPrinters) {
    EXPECT_TRUE(invoke(*viewer, dispid::AvailablePrinter, DISPATCH_METHOD).toBool());
    for (const char* line :
         {"    프린터 포트 점검 시작: GetAvailableprts",
          "    프린터 포트 점검 완료: GetAvailableprts",
          "    가상 프린터 포트 점검 시작: SetVirtualPrinter",
          "    가상 프린터 포트 점검 완료: SetVirtualPrinter",
          "    프린터 목록 확인 시작: GetAllPrinters", "    프린터 목록 확인 완료: GetAllPrinters"})
        EXPECT_TRUE(logged(line)) << line << "\n" << log();

    ASSERT_TRUE(platform::system::describeMachine(R"({"printers": []})"));
    EXPECT_FALSE(invoke(*viewer, dispid::AvailablePrinter, DISPATCH_METHOD).toBool());
}

// Pages of one colour each, told apart by their sizes, in hexadecimal and Base64 by turns.
std::u16string pagesOfColours(int count, int width, int height) {
    std::u16string list;
    for (int i = 0; i < count; ++i) {
        const auto bmp =
            bmpOf(width + i % 3, height, 0x102030u * static_cast<std::uint32_t>(i + 1));
        list += (i % 2 ? text::toBase64(bmp) : text::toHex(bmp)) + u",";
    }
    return list;
}

TEST_F(PrintRoad, DecodingAheadPrintsTheSamePixelsAsDecodingEachPageWhenWanted) {
    printSettings().UseDefaultPrinter = true;
    const std::u16string list = pagesOfColours(9, 30, 40);
    std::vector<std::vector<platform::imaging::Picture>> printed;
    // No workers; workers within a wide budget; workers in a budget of two pages, so pages
    // shown on the walk are given up and decoded again for the print.
    for (PageDecoding d :
         {PageDecoding{0, 1u << 20}, PageDecoding{3, 1u << 20}, PageDecoding{3, 2 * 32 * 40 * 4}}) {
        decoding = d;
        makeViewer();
        drawn.clear();
        pagesOf(list);
        run();
        ASSERT_EQ(results.back(), true) << d.workers << " " << d.budgetBytes;
        printed.push_back(drawn);
    }
    ASSERT_EQ(printed[0].size(), 9u);
    for (std::size_t way = 1; way < printed.size(); ++way) {
        ASSERT_EQ(printed[way].size(), printed[0].size()) << way;
        for (std::size_t page = 0; page < printed[0].size(); ++page) {
            EXPECT_EQ(printed[way][page].width, printed[0][page].width) << way << " " << page;
            EXPECT_EQ(printed[way][page].pixels, printed[0][page].pixels) << way << " " << page;
        }
    }
    EXPECT_EQ(loads, 27);  // every page shown on each walk
}

// Counts the pixel decodes of pictures by their width while it lives.
class DecodeCount {
  public:
    DecodeCount() {
        platform::imaging::setDecodeHook([this](std::int32_t width, std::int32_t) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++byWidth_[width];
        });
    }
    ~DecodeCount() { platform::imaging::setDecodeHook({}); }
    std::map<std::int32_t, int> byWidth() {
        std::lock_guard<std::mutex> lock(mutex_);
        return byWidth_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        byWidth_.clear();
    }

  private:
    std::mutex mutex_;
    std::map<std::int32_t, int> byWidth_;
};

// The walk decodes and shows every page, and the last one stays on screen while the print runs
// and after it. The print takes again what the walk decoded as far as the budget holds it: with
// room for the whole document every page is decoded once; with room for two pictures the walk
// keeps none but the page on screen, so the print decodes the others again and prints the last
// page from the screen's picture. With or without workers alike; the picture on screen and the
// storage kept afterwards stay within the budget.
TEST_F(PrintRoad, TheWalkShowsEveryPageAndThePrintReusesWhatTheBudgetHolds) {
    printSettings().UseDefaultPrinter = true;
    constexpr int kPages = 8;
    std::u16string list;
    for (int i = 0; i < kPages; ++i) {
        const auto bmp = bmpOf(20 + i, 30, 0x102030u * static_cast<std::uint32_t>(i + 1));
        list += (i % 2 ? text::toBase64(bmp) : text::toHex(bmp)) + u",";
    }
    DecodeCount decodes;
    constexpr std::size_t kTwoPictures = 2 * 30 * 30 * 4;
    for (PageDecoding d : {PageDecoding{0, 1u << 20}, PageDecoding{3, 1u << 20},
                           PageDecoding{0, kTwoPictures}, PageDecoding{3, kTwoPictures}}) {
        SCOPED_TRACE(::testing::Message() << d.workers << " workers, " << d.budgetBytes);
        const bool wide = d.budgetBytes > kTwoPictures;
        decoding = d;
        makeViewer();
        drawn.clear();
        results.clear();
        display->shown.clear();
        loads = 0;
        decodes.clear();  // the workers start as the pages come
        pagesOf(list);
        std::vector<std::pair<std::int32_t, std::uint32_t>> expectShown;
        for (int i = 0; i < kPages; ++i)
            expectShown.emplace_back(20 + i, 0xFF000000u | (0x102030u * (i + 1)));
        std::size_t shownAtPrint = 0;
        printerHook = [&] { shownAtPrint = display->shown.size(); };
        run();
        printerHook = nullptr;
        ASSERT_EQ(results, std::vector<bool>{true});
        EXPECT_EQ(loads, kPages);
        // Every page came on screen with its own picture; nothing replaced the last one since.
        EXPECT_EQ(display->shown, expectShown);
        EXPECT_EQ(shownAtPrint, static_cast<std::size_t>(kPages));
        std::map<std::int32_t, int> expectDecodes;
        for (int i = 0; i < kPages; ++i) expectDecodes[20 + i] = wide || i + 1 == kPages ? 1 : 2;
        EXPECT_EQ(decodes.byWidth(), expectDecodes);
        ASSERT_EQ(drawn.size(), static_cast<std::size_t>(kPages));
        for (int i = 0; i < kPages; ++i) {
            EXPECT_EQ(drawn[i].width, 20 + i);
            EXPECT_EQ(drawn[i].pixel(3, 3), 0xFF000000u | (0x102030u * (i + 1)));
        }
        // The walk ends on the last page.
        EXPECT_EQ(invoke(*viewer, dispid::page, DISPATCH_PROPERTYGET).toI4(), kPages);
        // Of the pictures' storage, what the next document's first two pages take is kept, as
        // far as the budget holds it beside the page on screen.
        EXPECT_LE(platform::imaging::keptPixelBytes(), 2u * 27 * 30 * 4);
        EXPECT_LE(platform::imaging::keptPixelBytes() + 27 * 30 * 4, d.budgetBytes);
    }
}

TEST_F(PrintRoad, APageThatCannotBeHeldFailsThePrintAndAnUndecodableOneStillDoes) {
    printSettings().UseDefaultPrinter = true;
    struct Case {
        std::u16string list;
        std::u16string message;
    };
    const Case cases[] = {
        // 40 x 40 pixels take 6,400 bytes, more than the budget of 4,000.
        {text::toHex(bmpOf(10, 10)) + u"," + text::toHex(bmpOf(40, 40)) + u",",
         u"페이지 2 이미지가 너무 커서 담을 수 없습니다."},
        {text::toHex(bmpOf(10, 10)) + u",zz-not-an-image," + text::toHex(bmpOf(10, 10)) + u",",
         u"페이지 2 이미지가 없습니다."},
    };
    for (unsigned workers : {0u, 2u}) {
        for (const Case& c : cases) {
            decoding = PageDecoding{workers, 4000};
            makeViewer();
            results.clear();
            boxes->clear();
            pagesOf(c.list);
            run();
            EXPECT_EQ(results, std::vector<bool>{false}) << workers;
            EXPECT_EQ(steps.back(), "abort");
            ASSERT_EQ(boxes->shown().size(), 1u);
            EXPECT_EQ(boxes->shown()[0].text, u"인쇄 실패\r\n" + c.message);
        }
    }
}

TEST(PagePictures, HoldNoMoreThanTheirBudgetAlongTheWalkAndThePrint) {
    constexpr int kPages = 12;
    constexpr std::size_t kPicture = 40 * 40 * 4;
    auto list = std::make_shared<const std::u16string>([] {
        std::u16string l;
        for (int i = 0; i < kPages; ++i)
            l += text::toHex(bmpOf(40, 40, 0x010203u * static_cast<std::uint32_t>(i + 1))) + u",";
        return l;
    }());
    for (unsigned workers : {0u, 1u, 4u}) {
        PagePictures pictures(list, PageDecoding{workers, 3 * kPicture}, kPageFill);
        ASSERT_EQ(pictures.count(), kPages);
        std::vector<std::int32_t> order;
        for (int pass = 0; pass < 2; ++pass)
            for (int page = 1; page <= kPages; ++page) order.push_back(page);
        pictures.plan(order);
        for (std::int32_t page : order) {
            const auto taken = pictures.take(page);
            ASSERT_EQ(taken.outcome, PagePictures::Outcome::Ok) << workers << " " << page;
            // 0xFFRRGGBB of the page's colour 0xRRGGBB.
            EXPECT_EQ(taken.picture->pixel(5, 5), 0xFF000000u | (0x010203u * page)) << page;
            EXPECT_LE(pictures.heldBytes(), 3 * kPicture);
        }
        EXPECT_LE(pictures.peakBytes(), 3 * kPicture) << workers;
        EXPECT_GE(pictures.peakBytes(), kPicture);
        // The last pass wants nothing again: everything it took was given up.
        EXPECT_EQ(pictures.heldBytes(), 0u) << workers;
        EXPECT_TRUE(pictures.decodedOnce(kPages));
    }
}

// What counts against the budget: pictures in the reader's hands after they were given up,
// the reader's leases, and the kept pixel storage, which goes first when room is needed; the
// workers decode ahead only within what is left.
TEST(PagePictures, CountPicturesInHandLeasesAndKeptStorage) {
    constexpr std::size_t kPicture = 40 * 40 * 4;
    constexpr std::size_t kBudget = 3 * kPicture;
    auto list = std::make_shared<const std::u16string>([] {
        std::u16string l;
        for (int i = 0; i < 6; ++i) l += text::toHex(bmpOf(40, 40)) + u",";
        return l;
    }());
    for (unsigned workers : {0u, 2u}) {
        SCOPED_TRACE(workers);
        // Storage kept from elsewhere, more than the budget: it gives way to the pages.
        platform::imaging::releaseKeptPixels();
        for (int i = 0; i < 5; ++i)
            platform::imaging::keepPixels(std::vector<std::uint32_t>(40 * 40));
        PagePictures pictures(list, PageDecoding{workers, kBudget}, kPageFill);
        pictures.plan({1, 2, 3, 4, 5, 6});
        {
            // Given up by the plan, still in hand: they count.
            const auto one = pictures.take(1), two = pictures.take(2);
            ASSERT_TRUE(one.picture && two.picture);
            EXPECT_GE(pictures.heldBytes(), 2 * kPicture);
            {
                const PagePictures::Lease copy = pictures.lease(1000);
                EXPECT_GE(pictures.heldBytes(), 2 * kPicture + 1000);
            }
            EXPECT_LT(pictures.heldBytes(), 3 * kPicture + 1000);
        }
        for (std::int32_t page = 3; page <= 6; ++page) {
            const auto taken = pictures.take(page);
            ASSERT_EQ(taken.outcome, PagePictures::Outcome::Ok) << page;
            EXPECT_LE(pictures.countedBytes(), kBudget) << page;
        }
        // The reader went over by its lease at most, holding two pictures besides.
        EXPECT_LE(pictures.peakBytes(), kBudget + 1000);
        EXPECT_LE(platform::imaging::keptPixelBytes(), kBudget);
    }
    platform::imaging::releaseKeptPixels();
}

// An 8-bit BMP of one palette colour (0xRRGGBB): its reader decodes it into an image of its
// own, one byte a pixel, before it becomes the picture.
std::vector<std::uint8_t> paletteBmpOf(int width, int height, std::uint32_t rgb) {
    const int row = (width + 3) / 4 * 4;
    const std::uint32_t offset = 54 + 4;  // one palette entry
    const std::uint32_t size = offset + static_cast<std::uint32_t>(row * height);
    std::vector<std::uint8_t> b(size, 0);
    const auto put = [&b](std::size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b[at + static_cast<std::size_t>(i)] = (v >> (8 * i)) & 0xFF;
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, size, 4);
    put(10, offset, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(width), 4);
    put(22, static_cast<std::uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 8, 2);
    put(46, 1, 4);  // colours used
    put(54, rgb, 3);
    return b;
}

// A decode holds the picture and, for an image its reader cannot decode straight into the
// picture, the reader's own image besides: both count against the budget while it decodes. A
// page whose decode passes the budget cannot be held, even when its picture alone would fit.
TEST(PagePictures, CountWhatTheDecoderHoldsBesideThePicture) {
    constexpr std::size_t kPicture = 40 * 40 * 4, kReaders = 40 * 40;
    const auto bytes = paletteBmpOf(40, 40, 0x336699);
    const auto size = platform::imaging::pictureSize(bytes);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->workingBytes, kReaders);
    EXPECT_EQ(platform::imaging::pictureSize(bmpOf(40, 40))->workingBytes, 0u);
    auto list = std::make_shared<const std::u16string>(text::toHex(bytes) + u",");
    for (unsigned workers : {0u, 2u}) {
        SCOPED_TRACE(workers);
        {
            PagePictures pictures(list, PageDecoding{workers, kPicture + kReaders}, kPageFill);
            pictures.plan({1});
            const auto taken = pictures.take(1);
            ASSERT_EQ(taken.outcome, PagePictures::Outcome::Ok);
            EXPECT_EQ(taken.picture->pixel(5, 5), 0xFF336699u);
            EXPECT_EQ(pictures.peakBytes(), kPicture + kReaders);
        }
        PagePictures tight(list, PageDecoding{workers, kPicture + kReaders - 1}, kPageFill);
        tight.plan({1});
        EXPECT_EQ(tight.take(1).outcome, PagePictures::Outcome::TooLarge);
    }
}

// The header tells a page's size without its pixels; a page held tells it from its picture.
TEST(PagePictures, PeekGivesTheSizeWithoutDecoding) {
    auto list = std::make_shared<const std::u16string>(text::toHex(bmpOf(12, 7)) + u"," +
                                                       text::toBase64(bmpOf(9, 14)) + u",zz,," +
                                                       text::toHex(bmpOf(40, 40)) + u",");
    DecodeCount decodes;
    PagePictures pictures(list, PageDecoding{0, 4000}, kPageFill);
    struct Case {
        std::int32_t page;
        PagePictures::Outcome outcome;
        std::int32_t width, height;
    } cases[] = {
        {1, PagePictures::Outcome::Ok, 12, 7},         {2, PagePictures::Outcome::Ok, 9, 14},
        {3, PagePictures::Outcome::Undecodable, 0, 0}, {4, PagePictures::Outcome::Empty, 0, 0},
        {5, PagePictures::Outcome::TooLarge, 0, 0},  // 6,400 bytes in a budget of 4,000
    };
    for (const Case& c : cases) {
        const auto header = pictures.peek(c.page);
        EXPECT_EQ(header.outcome, c.outcome) << c.page;
        EXPECT_EQ(header.width, c.width) << c.page;
        EXPECT_EQ(header.height, c.height) << c.page;
    }
    EXPECT_TRUE(decodes.byWidth().empty());
    pictures.plan({1, 1});
    pictures.take(1);
    EXPECT_EQ(pictures.peek(1).width, 12);
    EXPECT_EQ(decodes.byWidth(), (std::map<std::int32_t, int>{{12, 1}}));
}

TEST(PagePictures, SplitTheListInPlaceAndSayWhyAPageHasNoPicture) {
    auto list = std::make_shared<const std::u16string>(text::toHex(bmpOf(10, 10)) + u",," + u"zz," +
                                                       text::toBase64(bmpOf(40, 40)) + u",tail");
    PagePictures pictures(list, PageDecoding{2, 1000}, kPageFill);
    ASSERT_EQ(pictures.count(), 4);  // the text after the last comma is no page
    pictures.plan({1, 2, 3, 4});
    EXPECT_EQ(pictures.take(1).outcome, PagePictures::Outcome::Ok);
    EXPECT_EQ(pictures.take(2).outcome, PagePictures::Outcome::Empty);
    EXPECT_EQ(pictures.take(3).outcome, PagePictures::Outcome::Undecodable);
    EXPECT_EQ(pictures.take(4).outcome, PagePictures::Outcome::TooLarge);
    EXPECT_EQ(pictures.take(5).picture, nullptr);
    EXPECT_FALSE(pictures.decodedOnce(4));
}

// The list is kept at one byte a character when it can be, and as given when a character needs
// more; either way the pages split and decode alike and the text comes back as given.
TEST(PagePictures, ReadTheListKeptNarrowOrWide) {
    const std::u16string pages =
        text::toHex(bmpOf(6, 4)) + u"," + text::toBase64(bmpOf(5, 3)) + u",";
    for (const std::u16string& given : {pages + u"zz,", pages + u"\uAC00,"}) {
        auto list = std::make_shared<const PageListText>(given);
        EXPECT_EQ(list->size(), given.size());
        EXPECT_EQ(list->text(), given);
        PagePictures pictures(list, PageDecoding{0, 1u << 20}, kPageFill);
        ASSERT_EQ(pictures.count(), 3);
        pictures.plan({1, 2, 3});
        EXPECT_EQ(pictures.take(1).picture->width, 6);
        EXPECT_EQ(pictures.take(2).picture->width, 5);
        EXPECT_EQ(pictures.take(3).outcome, PagePictures::Outcome::Undecodable);
    }
}

TEST(PagePictures, EndWhileTheirWorkersDecode) {
    std::u16string l;
    for (int i = 0; i < 40; ++i) l += text::toHex(bmpOf(300, 300)) + u",";
    auto list = std::make_shared<const std::u16string>(std::move(l));
    for (int round = 0; round < 5; ++round) {
        PagePictures pictures(list, PageDecoding{4, 1u << 20}, kPageFill);
        std::vector<std::int32_t> order;
        for (int page = 1; page <= 40; ++page) order.push_back(page);
        pictures.plan(order);
        if (round % 2) pictures.take(1);
    }  // each ends with its workers mid-way, waiting for room or decoding
}

}  // namespace
