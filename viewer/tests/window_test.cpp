// The viewer's own window without widgets: its rules (zoom, slider, page box, layout, the
// measuring aid, the dialog texts) and its handlers driving a real viewer through a fake view.
#include "viewer/control/window.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "platform/ui/dialogs.h"
#include "platform/ui/messagebox.h"
#include "viewer/state/viewer_state.h"
#include "viewer_fixture.h"

using namespace vistrel;
using namespace vistrel::testing;

namespace {

namespace ui = platform::ui;

TEST(WindowZoom, ButtonsCompoundTheirStepAndCountTheLevel) {
    PageZoom zoom;
    EXPECT_FALSE(zoom.zoomIn());  // nothing shown
    zoom.pageShown({1000, 500});
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(zoom.zoomIn());
    EXPECT_NEAR(zoom.current().width, 1628.89, 0.01);
    EXPECT_NEAR(zoom.current().height, 814.45, 0.01);
    EXPECT_EQ(zoom.level(), 10);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(zoom.zoomOut());
    EXPECT_NEAR(zoom.current().width, 975.28, 0.01);  // not back to 1000
    EXPECT_EQ(zoom.level(), 0);
    // The status gives the page's own size and the level.
    zoom.zoomOut();
    EXPECT_EQ(zoom.buttonStatus(), u"Width:1000    Height:500   Zoom 1:-1");
    zoom.pageShown({30, 15});
    EXPECT_EQ(zoom.level(), 0);
    EXPECT_EQ(zoom.current(), (PageSize{30, 15}));
}

TEST(WindowZoom, BoundsStopZoomingAtOnePixelAndAtTheLargestBitmap) {
    PageZoom small;
    small.pageShown({300, 20 * 15});  // 20 x 20 pixels
    int steps = 0;
    while (small.zoomOut()) ++steps;
    EXPECT_EQ(steps, 58);  // 20 x 0.95^58 is just above one pixel
    EXPECT_GE(small.current().width, 15.0f);
    EXPECT_EQ(small.level(), -58);

    PageZoom big;
    big.pageShown({2000 * 15, 1000 * 15});
    while (big.zoomIn()) {
    }
    EXPECT_LE(big.current().width, kMaxZoomSidePixels * 15.0f);
    EXPECT_LE(double(big.widthPixels()) * big.heightPixels(), kMaxZoomPixels * 1.0001);
    const std::int16_t level = big.level();
    EXPECT_GT(level, 0);
    EXPECT_FALSE(big.zoomIn());
    EXPECT_EQ(big.level(), level);  // a refused step does not count

    // A page larger than the bounds still shows, and shrinks.
    PageZoom huge;
    huge.pageShown({20000 * 15, 15});
    EXPECT_TRUE(zoomWithinBounds(huge.current(), huge.own()));
    EXPECT_FALSE(huge.zoomIn());
    EXPECT_FALSE(huge.zoomOut());  // its height is one pixel
}

TEST(WindowZoom, SliderScalesTheOwnSizeOverItsBase) {
    PageZoom zoom;
    EXPECT_FALSE(zoom.slide(100));
    zoom.pageShown({1000, 600});
    zoom.zoomIn();
    const struct {
        std::int32_t value;
        PageSize size;
    } cases[] = {
        {100, {500, 300}},  // half the page's own size, whatever the buttons did
        {200, {1000, 600}}, {300, {1500, 900}}, {0, {25, 15}},  // at least one pixel, aspect kept
        {1, {25, 15}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(zoom.slide(c.value));
        EXPECT_NEAR(zoom.current().width, c.size.width, 0.01) << c.value;
        EXPECT_NEAR(zoom.current().height, c.size.height, 0.01) << c.value;
        EXPECT_EQ(zoom.level(), 1) << "the slider leaves the level";
    }
    ASSERT_TRUE(zoom.slide(32767));
    EXPECT_LE(double(zoom.widthPixels()) * zoom.heightPixels(), kMaxZoomPixels * 1.0001);
    EXPECT_NEAR(zoom.current().width / zoom.current().height, 1000.0 / 600, 0.001);
    EXPECT_EQ(zoom.sliderStatus(150), u"Width:1000    Height:600   Zoom:150");
}

TEST(WindowRules, PageBoxKeepsOnlyPageNumbers) {
    const struct {
        std::u16string box;
        std::u16string kept;
    } cases[] = {{u"0", u""},  {u"7", u""},      {u"x", u""},  {u"", u""},       {u"1", u"1"},
                 {u"3", u"3"}, {u" 2 ", u" 2 "}, {u"-1", u""}, {u"2.5", u"2.5"}, {u"1e9", u""}};
    for (const auto& c : cases) EXPECT_EQ(checkedPageBox(c.box, 3), c.kept) << text::toUtf8(c.box);
    EXPECT_EQ(checkedPageBox(u"1", 0), u"");  // nothing loaded

    EXPECT_EQ(pageOfLeftBox(u""), 1);
    EXPECT_EQ(pageOfLeftBox(u"   "), 1);
    EXPECT_EQ(pageOfLeftBox(u"3"), 3);
    EXPECT_EQ(pageOfLeftBox(u"2.5"), 2);  // halves to even
    EXPECT_EQ(pageOfLeftBox(u"x"), std::nullopt);
}

TEST(WindowRules, LayoutLeavesTheBarsAndAGapBesideTheArea) {
    const WindowLayout l = layoutWindow(800, 600, 16, 14);
    EXPECT_EQ(l.area, (Box{0, 0, 780, 582}));
    EXPECT_EQ(l.verticalBar, (Box{780, 0, 16, 582}));
    EXPECT_EQ(l.horizontalBar, (Box{0, 582, 780, 14}));
    const WindowLayout tiny = layoutWindow(10, 10, 16, 14);
    EXPECT_EQ(tiny.area, (Box{0, 0, 0, 0}));
}

TEST(WindowRules, MeasuredRectangleInPointsOfAnA4Page) {
    // A4 at 100 dpi is 827 x 1169 pixels; its whole page is 595 x 842 points.
    EXPECT_EQ(pagePointsOf({0, 0, 827, 1169}), u"0,0,595,842");
    EXPECT_EQ(pagePointsOf({100, 200, 50, 25}), u"72,680,36,18");
    // Each value is rounded on its own: 72.72, 841.28, 0.72, 0.72.
    EXPECT_EQ(pagePointsOf({101, 0, 1, 1}), u"73,841,1,1");
    const MeasuredRect r = rectBetween(30, 40, 10, 5);  // dragged up and left
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.width, 20);
    EXPECT_EQ(r.height, 35);
    EXPECT_EQ(barcodeClipboardText(u"1,2,3,4"), u"barcodeXY = new int[] {1,2,3,4};");
}

TEST(WindowRules, DialogAnswersAndAddresses) {
    EXPECT_EQ(cutAtNul(std::u16string(u"a.pdf\0junk", 10)), u"a.pdf");
    EXPECT_EQ(cutAtNul(u"whole"), u"whole");
    EXPECT_EQ(openImageText({}), u"");
    EXPECT_EQ(openImageText({u"/scans/one page.png"}), u"/scans/one page.png");
    EXPECT_EQ(openImageText({u"/scans/a.png", u"/scans/b.png"}), u"/scans/ a.png b.png");
    EXPECT_NE(testPageAddress(u"SEEDHEX").find(u"&crypttype=shex"), std::u16string::npos);
    EXPECT_NE(testPageAddress(u"SEED").find(u"&crypttype=s"), std::u16string::npos);
    EXPECT_EQ(testPageAddress(u"SEED").find(u"shex"), std::u16string::npos);
    EXPECT_NE(testPageAddress(u"other").find(u"crypttype=seed"), std::u16string::npos);
}

// Records what the window shows.
struct FakeView : WindowView {
    ViewerWindow* window = nullptr;
    std::int32_t drawnWidth = -1, drawnHeight = -1;
    std::int32_t left = 0, top = 0;
    std::u16string pageBox, pageCount, status, zoomLabel, measure, clipboard;
    std::int32_t slider = 0;
    bool toolbar = true, sliderVisible = true, measureVisible = false, rectVisible = false;
    Box rect, measureAt;
    ScrollLayout bars;
    WindowLayout placed;
    Box inner{0, 0, 216, 174};
    int pictures = 0;

    void connect(ViewerWindow& w) override { window = &w; }
    void* widget() override { return this; }
    std::int32_t windowHandle() override { return 7; }
    void setBorderStyle(std::int32_t) override {}
    void setBackgroundColor(std::uint32_t) override {}
    void setWaitCursor(bool) override {}
    void setToolbarVisible(bool on) override { toolbar = on; }
    void setZoomSliderVisible(bool on) override { sliderVisible = on; }
    void setZoomSlider(std::int32_t v) override { slider = v; }
    void setZoomLabel(const std::u16string& t) override { zoomLabel = t; }
    void setPageBox(const std::u16string& t) override { pageBox = t; }
    void setPageCountLabel(const std::u16string& t) override { pageCount = t; }
    void setStatus(const std::u16string& t) override { status = t; }
    void setPicture(const platform::imaging::Picture* p) override { pictures += p ? 1 : 0; }
    void drawPicture(std::int32_t w, std::int32_t h) override {
        drawnWidth = w;
        drawnHeight = h;
    }
    void movePicture(std::int32_t l, std::int32_t t) override {
        left = l;
        top = t;
    }
    Box innerSize() override { return inner; }
    std::int32_t verticalBarWidth() override { return 16; }
    std::int32_t horizontalBarHeight() override { return 14; }
    void placeParts(const WindowLayout& l) override { placed = l; }
    void setScrollBars(const ScrollLayout& l) override { bars = l; }
    void showMeasureRect(const Box& r) override {
        rect = r;
        rectVisible = true;
    }
    void hideMeasureRect() override { rectVisible = false; }
    void setMeasureText(const std::u16string& t) override { measure = t; }
    std::u16string measureText() override { return measure; }
    void moveMeasureText(std::int32_t l, std::int32_t t) override { measureAt = {l, t, 0, 0}; }
    void setMeasureTextVisible(bool on) override { measureVisible = on; }
    bool measureTextVisible() override { return measureVisible; }
    void setClipboardText(const std::u16string& t) override { clipboard = t; }
};

class ViewerWindowTest : public ViewerTest {
  protected:
    void SetUp() override {
        ViewerTest::SetUp();
        boxes = std::make_shared<ui::HeadlessMessageBoxes>(false);
        ui::setMessageBoxes(boxes);
        dialogs = std::make_shared<ui::HeadlessDialogs>(false);
        ui::setDialogs(dialogs);
        viewer = std::make_shared<Viewer>(windowParts(
            [this] {
                auto v = std::make_unique<FakeView>();
                view = v.get();
                return v;
            },
            [this](ViewerWindow& w) { window = &w; }));
        void* widget = nullptr;
        ASSERT_EQ(viewer->GetWidget(widget), platform::com::S_OK);
        ASSERT_EQ(widget, view);
    }
    void TearDown() override {
        ui::setMessageBoxes(nullptr);
        ui::setDialogs(nullptr);
        ViewerTest::TearDown();
    }
    // The user types into the page box.
    void type(const std::u16string& text) {
        view->pageBox = text;
        window->pageBoxEdited(text);
    }
    // Runs a document of pages told apart by their widths (pixels), each 4 pixels high.
    void run(std::initializer_list<int> widths) {
        std::u16string list;
        for (int w : widths) list += text::toHex(bmpOf(w, 4)) + u",";
        viewerState().PageImageList = std::make_shared<const PageListText>(list);
        viewer->RunViewer(false);
    }

    std::shared_ptr<ui::HeadlessMessageBoxes> boxes;
    std::shared_ptr<ui::HeadlessDialogs> dialogs;
    std::shared_ptr<Viewer> viewer;
    FakeView* view = nullptr;
    ViewerWindow* window = nullptr;
};

TEST_F(ViewerWindowTest, StartsWithTheToolbarAndSliderHidden) {
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(view->toolbar);
    EXPECT_FALSE(view->sliderVisible);
    EXPECT_EQ(view->slider, 200);
    EXPECT_EQ(view->zoomLabel, u"200");
    EXPECT_EQ(view->placed.area, (Box{0, 0, 196, 156}));
    EXPECT_EQ(
        platform::com::invoke(*viewer, vistrel::dispid::hwnd, platform::com::DISPATCH_PROPERTYGET)
            .toI4(),
        7);
}

TEST_F(ViewerWindowTest, PageBoxGoesThroughThePagePutToTheRunsPictures) {
    run({10, 20, 30});
    EXPECT_EQ(view->drawnWidth, 10);
    EXPECT_EQ(view->pageBox, u"1");
    EXPECT_EQ(view->pageCount, u"/ 3");

    // Out of range, or not a number: the box empties; leaving it empty shows page 1.
    for (const char16_t* typed : {u"0", u"7", u"x"}) {
        type(typed);
        EXPECT_EQ(view->pageBox, u"") << text::toUtf8(typed);
    }
    window->lastPageClick();
    EXPECT_EQ(view->drawnWidth, 30);
    type(u"");
    window->pageBoxLeft();
    EXPECT_EQ(viewer->page(), 1);
    EXPECT_EQ(view->drawnWidth, 10);
    EXPECT_EQ(view->pageBox, u"1");

    // A typed page shows that page's picture, not a file nobody opened.
    type(u"2");
    EXPECT_EQ(view->pageBox, u"2");
    window->pageBoxLeft();
    EXPECT_EQ(viewer->page(), 2);
    EXPECT_EQ(view->drawnWidth, 20);

    window->nextPageClick();
    EXPECT_EQ(view->pageBox, u"3");
    window->nextPageClick();  // on the last page
    EXPECT_EQ(view->drawnWidth, 30);
    window->previousPageClick();
    window->firstPageClick();
    EXPECT_EQ(view->pageBox, u"1");
    EXPECT_EQ(view->drawnWidth, 10);
}

TEST_F(ViewerWindowTest, FitTogglesBetweenWidthAndHeightAndShowsThePageAgain) {
    run({10, 20});
    window->nextPageClick();
    view->drawnWidth = 0;
    window->fitClick();
    EXPECT_TRUE(viewer->fitHeight());
    EXPECT_FALSE(viewer->fitWidth());
    EXPECT_EQ(view->drawnWidth, 20);  // the current page, from the run's pictures
    window->fitClick();
    EXPECT_FALSE(viewer->fitHeight());
    EXPECT_TRUE(viewer->fitWidth());
    EXPECT_EQ(view->pageBox, u"2");
}

TEST_F(ViewerWindowTest, NothingLoadedLeavesThePageBoxEmpty) {
    window->pageBoxLeft();
    EXPECT_EQ(view->pageBox, u"");  // page -1 is no page
    window->nextPageClick();
    EXPECT_EQ(view->pageBox, u"");
    window->zoomInClick();
    EXPECT_EQ(window->zoom().level(), 0);
}

TEST_F(ViewerWindowTest, ZoomRedrawsAndScrollsThePage) {
    run({400});  // 400 x 4 pixels in a 196 x 156 area
    EXPECT_EQ(view->bars.horizontalMax, 204);
    EXPECT_TRUE(view->bars.horizontalEnabled);
    EXPECT_FALSE(view->bars.verticalEnabled);

    window->horizontalScrolled(150);
    EXPECT_EQ(view->left, -150);
    window->verticalScrolled(0);
    EXPECT_EQ(view->top, 0);

    for (int i = 0; i < 3; ++i) window->zoomOutClick();
    EXPECT_EQ(view->drawnWidth, 343);  // 400 x 0.95^3 = 342.95
    EXPECT_EQ(view->status, u"Width:6000    Height:60   Zoom 1:-3");
    EXPECT_EQ(view->bars.horizontalMax, 147);
    EXPECT_EQ(view->left, -147);  // the bar's end came nearer and took the page along

    // The host's Zoom put moves the slider, which scales from the page's own size.
    platform::com::invoke(*viewer, vistrel::dispid::Zoom, platform::com::DISPATCH_PROPERTYPUT,
                          {platform::com::Variant(std::int32_t{100})});
    EXPECT_EQ(view->slider, 100);
    EXPECT_EQ(view->zoomLabel, u"100");
    EXPECT_EQ(view->drawnWidth, 200);
    EXPECT_EQ(view->drawnHeight, 2);
    EXPECT_EQ(view->status, u"Width:6000    Height:60   Zoom:100");
    EXPECT_EQ(view->bars.horizontalMax, 4);
    EXPECT_EQ(window->zoom().level(), -3);

    // The user's slider is what the host reads back.
    window->zoomSliderChanged(300);
    EXPECT_EQ(
        platform::com::invoke(*viewer, vistrel::dispid::Zoom, platform::com::DISPATCH_PROPERTYGET)
            .toI4(),
        300);
    EXPECT_EQ(view->drawnWidth, 600);

    window->resized();
    EXPECT_EQ(view->placed.verticalBar, (Box{196, 0, 16, 156}));
}

TEST_F(ViewerWindowTest, MeasuringAidPutsThePointsOnTheClipboard) {
    run({827});
    window->pageMouseDown(100, 200);  // aid off: nothing
    EXPECT_FALSE(view->rectVisible);

    window->measureChecked(true);
    window->pageMouseDown(100, 200);
    window->pageMouseMove(150, 210);
    EXPECT_TRUE(view->rectVisible);
    EXPECT_EQ(view->rect, (Box{100, 200, 50, 10}));
    window->pageMouseUp(150, 225);
    EXPECT_FALSE(view->rectVisible);
    EXPECT_TRUE(view->measureVisible);
    EXPECT_EQ(view->measure, u"72,680,36,18");
    EXPECT_EQ(view->measureAt.left, 150);
    EXPECT_EQ(view->measureAt.top, 200);

    window->measureTextDropped(5, 6);
    EXPECT_EQ(view->measureAt.left, 5);
    window->measureTextDoubleClicked();
    EXPECT_EQ(view->clipboard, u"barcodeXY = new int[] {72,680,36,18};");
    EXPECT_FALSE(view->measureVisible);
    window->measureTextToggleClick();
    EXPECT_TRUE(view->measureVisible);

    // Zoomed to half size, the same spot of the page measures the same.
    platform::com::invoke(*viewer, vistrel::dispid::Zoom, platform::com::DISPATCH_PROPERTYPUT,
                          {platform::com::Variant(std::int32_t{100})});
    window->pageMouseDown(50, 100);
    window->pageMouseUp(75, 112.5);
    EXPECT_EQ(view->measure, u"72,680,36,18");
}

TEST_F(ViewerWindowTest, OpenAndSaveGoThroughTheFileDialogs) {
    const auto folder = machine_.path() / "scans";
    std::filesystem::create_directories(folder);
    const auto write = [&](const char* name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return text::fromUtf8((folder / name).string());
    };
    const std::u16string a = write("a.bmp", bmpOf(11, 4));
    const std::u16string b = write("b.bmp", bmpOf(12, 4));
    EXPECT_EQ(slurp(folder / "b.bmp").size(), bmpOf(12, 4).size());

    // Nothing loaded: the save buttons do nothing.
    window->savePdfClick();
    window->savePdfAsTextClick();
    EXPECT_TRUE(dialogs->fileRequests().empty());

    dialogs->scriptFiles(
        {ui::FileDialogAnswer{{a, b}}, std::nullopt,
         ui::FileDialogAnswer{{text::fromUtf8((folder / "missing.bmp").string())}}});
    window->openClick();
    EXPECT_EQ(view->drawnWidth, 11);
    EXPECT_EQ(viewer->pageCount(), 2);
    window->openClick();  // cancelled: nothing changes, no message
    EXPECT_EQ(view->drawnWidth, 11);
    EXPECT_TRUE(boxes->shown().empty());
    window->openClick();
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(
        boxes->shown()[0].text,
        u"Unable to open file " + text::fromUtf8((folder / "missing.bmp").string()) + u"\r\n");
    EXPECT_EQ(boxes->shown()[0].style, unsigned(ui::vbExclamation));
    auto shown = dialogs->fileRequests();
    EXPECT_EQ(shown[0].title, u"Select Image File");
    EXPECT_EQ(shown[0].kind, ui::FileDialogRequest::Kind::Open);
    ASSERT_EQ(shown[0].filters.size(), 2u);
    EXPECT_EQ(shown[0].filters[1].description, u"Image Files");
    EXPECT_EQ(shown[0].filters[1].patterns, u"*.png");
    EXPECT_TRUE(shown[0].multiSelect);

    // Save copies the file last opened byte for byte.
    boxes->clear();
    const auto target = machine_.path() / "out.pdf";
    dialogs->scriptFiles({ui::FileDialogAnswer{{text::fromUtf8(target.string()) +
                                                std::u16string(1, u'\0') + u"junk"}},
                          ui::FileDialogAnswer{{text::fromUtf8(
                              (machine_.path() / "no" / "such" / "x.pdf").string())}},
                          ui::FileDialogAnswer{{u"/tmp/t.txt"}}});
    window->savePdfClick();
    EXPECT_EQ(slurp(target), slurp(folder / "a.bmp"));
    window->savePdfClick();
    window->savePdfAsTextClick();
    const auto msgs = boxes->shown();
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[0].text, u"out.pdf saved");
    EXPECT_EQ(msgs[0].caption, u"File Saved");
    EXPECT_EQ(msgs[1].text, u"Unable to save file due to error 76 : Path not found");
    EXPECT_EQ(msgs[1].caption, u"Save Error");
    EXPECT_EQ(msgs[2].text, u"Unable to save PDF as text file");
    shown = dialogs->fileRequests();
    EXPECT_EQ(shown[3].title, u"Save PDF File");
    EXPECT_EQ(shown[3].kind, ui::FileDialogRequest::Kind::Save);
    EXPECT_EQ(shown[3].fileName, u"file.pdf");
    EXPECT_EQ(shown[5].title, u"Save PDF as Text File");
    ASSERT_EQ(shown[5].filters.size(), 1u);
    EXPECT_EQ(shown[5].filters[0].patterns, u"*.txt");

    // A save the disk cannot take whole (here a file size limit below the file's size) leaves
    // the file of that name as it was, and nothing beside it.
    std::ofstream(target, std::ios::binary) << "an earlier file";
    boxes->clear();
    dialogs->scriptFiles({ui::FileDialogAnswer{{text::fromUtf8(target.string())}}});
    {
        struct rlimit before {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = before;
        small.rlim_cur = 20;
        ASSERT_LT(20u, slurp(folder / "a.bmp").size());
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        window->savePdfClick();
        ::setrlimit(RLIMIT_FSIZE, &before);
        ::signal(SIGXFSZ, oldHandler);
    }
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(boxes->shown()[0].caption, u"Save Error");
    EXPECT_EQ(slurp(target), "an earlier file");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(machine_.path()))
        if (entry.path().filename().string().rfind("out.pdf", 0) == 0)
            names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"out.pdf"});

    // The test page names no file: nothing changes.
    window->testPageClick();
    EXPECT_EQ(view->drawnWidth, 11);
}

class ViewerDownloads : public ViewerTest {};

TEST_F(ViewerDownloads, EventsFollowTheReadsProgressAndEnd) {
    // A downloader whose reads the test drives.
    struct ScriptedDownloader : Downloader {
        Progress progress;
        Done done;
        bool start(const std::u16string&, Progress p, Done d) override {
            progress = std::move(p);
            done = std::move(d);
            return true;
        }
    };
    auto downloads = std::make_shared<ScriptedDownloader>();
    ViewerParts parts;
    parts.downloader = downloads;
    auto viewer = std::make_shared<Viewer>(parts);
    std::vector<std::string> events;
    auto sink = std::make_shared<platform::com::SinkDispatch>();
    const auto record = [&](const char* name) {
        return [&events, name](std::vector<platform::com::Variant>& a) {
            std::string line = name;
            for (auto& v : a) line += " " + text::toUtf8(v.toText());
            events.push_back(line);
        };
    };
    sink->on(event::DownloadStarted, record("started"))
        .on(event::DownloadProgress, record("progress"))
        .on(event::DownloadError, record("error"))
        .on(event::DownloadComplete, record("complete"));
    std::uint32_t cookie = 0;
    ASSERT_EQ(viewer->Advise(DIID___Viewer, sink, cookie), platform::com::S_OK);

    const std::string file = (machine_.path() / "page.bin").string();
    ASSERT_TRUE(platform::com::invoke(*viewer, vistrel::dispid::BeginDownload,
                                      platform::com::DISPATCH_METHOD,
                                      {platform::com::Variant(u"http://127.0.0.1:1/p"),
                                       platform::com::Variant(text::fromUtf8(file))})
                    .toBool());
    downloads->progress(3, 0);  // total not known yet: no event
    downloads->progress(3, 6);
    downloads->done(true, {'a', 'b', 'c', 'd', 'e', 'f'});
    EXPECT_EQ(slurp(file), "abcdef");
    EXPECT_EQ(events, (std::vector<std::string>{"started " + file, "progress 3 6 " + file,
                                                "complete 6 " + file}));
}

}  // namespace
