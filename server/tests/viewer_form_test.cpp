// The viewer form with the real viewer control created by class identifier, under the
// offscreen platform: where the form goes, the order of the run and the events it reports.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "fakes.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/coding.h"
#include "platform/text/packed.h"
#include "server/issue.h"
#include "server/viewerhost.h"

#include <QBuffer>
#include <QImage>
#include <QPointer>
#include <QTimer>

#include <random>

using namespace tessel;
using namespace tessel::server;

namespace {

tessel::server::testing::FixedClock clock;  // 09:05:03

struct Recorded : ViewerEvents {
    std::vector<std::string> seen;
    void running() override { seen.push_back("running"); }
    void printResult(bool printed) override { seen.push_back(printed ? "printed" : "not printed"); }
    void errorMsg(const std::u16string&, const std::u16string&) override {
        seen.push_back("error");
    }
};

QWidget* form() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmViewer") return w;
    return nullptr;
}

TEST(ViewerForm, HostsTheControlOffScreenAndReportsItsEvents) {
    platform::testing::TempMachine machine;
    int argc = 1;
    char name[] = "viewer_form_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    {
        ComViewerHost missing(u"/", clock);
        EXPECT_FALSE(missing.available());  // nothing registered yet
        EXPECT_EQ(missing.version(), u"");
    }
    auto reg = platform::testing::runProgram(REGSVR, {VISTREL_LIBRARY});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;

    ComViewerHost host(u"/", clock);
    ASSERT_TRUE(host.available());
    EXPECT_EQ(host.version().substr(0, 4), u"1.0.");
    Recorded events;
    ViewerRun run;  // no pages: the viewer prints nothing and says so
    EXPECT_TRUE(host.run(run, events));
    EXPECT_EQ(events.seen, (std::vector<std::string>{"running", "not printed"}));
    QWidget* f = form();
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(f->pos(), QPoint(-113, -113));  // -1701 and 567 twips
    EXPECT_EQ(f->size(), QSize(37, 37));

    run.hideWin = false;
    run.windowState = u"10,20,800,600";
    host.run(run, events);
    EXPECT_EQ(f->pos(), QPoint(10, 20));
    EXPECT_EQ(f->size(), QSize(800, 600));
    host.hide();
    EXPECT_FALSE(f->isVisible());
}

// The viewer control registered in a temporary machine, under an application.
class RegisteredViewerForm : public ::testing::Test {
  protected:
    void SetUp() override {
        auto reg = platform::testing::runProgram(REGSVR, {VISTREL_LIBRARY});
        ASSERT_EQ(reg.exitCode, 0) << reg.err;
    }
    platform::testing::TempMachine machine;
    int argc = 1;
    char name[17] = "viewer_form_test";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

// Shown in the normal or the maximised state, the form is on screen at a size one can use: on
// a fresh server (the window's button), after an off-screen run, and after a small placement.
TEST_F(RegisteredViewerForm, ShownNormalOrMaximisedItIsOnScreenAtAUsableSize) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const auto usable = [&](const char* when) {
        QWidget* f = form();
        ASSERT_TRUE(f) << when;
        EXPECT_TRUE(f->isVisible()) << when;
        const QRect frame = f->frameGeometry();
        EXPECT_TRUE(screen.contains(frame)) << when << " " << frame.x() << "," << frame.y() << " "
                                            << frame.width() << "x" << frame.height();
        EXPECT_GE(f->width(), 320) << when;
        EXPECT_GE(f->height(), 240) << when;
    };

    ComViewerHost host(u"/", clock);
    host.show();
    usable("the window's button on a fresh server");

    Recorded events;
    ViewerRun run;
    struct Case {
        bool hideWin;
        const char16_t* windowState;
        bool maximised;
        const char* when;
    } cases[] = {
        {true, u"0", false, "off screen first"},
        {false, u"0", false, "then normal"},
        {false, u"2", true, "maximised"},
        {false, u"0", false, "normal again"},
        {false, u"0,0,20,20", false, "a small placement"},
        {false, u"0", false, "normal after the small placement"},
        {true, u"0", false, "off screen again"},
        {false, u"2", true, "maximised after off screen"},
    };
    for (const auto& c : cases) {
        run.hideWin = c.hideWin;
        run.windowState = c.windowState;
        host.run(run, events);
        QWidget* f = form();
        ASSERT_TRUE(f);
        EXPECT_EQ(f->isMaximized(), c.maximised) << c.when;
        if (c.hideWin) {
            EXPECT_FALSE(screen.intersects(f->frameGeometry())) << c.when;
            EXPECT_EQ(f->size(), QSize(37, 37)) << c.when;
        } else if (c.windowState != std::u16string_view(u"0,0,20,20")) {
            usable(c.when);
        }
        if (c.maximised) {
            EXPECT_EQ(f->frameGeometry(), screen) << c.when;
        }
    }
    host.hide();
    host.show();
    usable("the window's button after a run");
}

// The form's own parts: loaded with its time and no result, the control filling it at every
// size, PrintResult marking the result, and Timer2 (3000 ms, never started) whose tick ends the
// form and its control, so that the next run loads both afresh.
TEST_F(RegisteredViewerForm, LoadsFillsMarksTheResultAndUnloadsOnTimer2) {
    ComViewerHost host(u"/", clock);
    host.show();
    QWidget* f = form();
    ASSERT_TRUE(f);
    EXPECT_EQ(host.form().loadedAt(), 9 * 3600 + 5 * 60 + 3);
    EXPECT_EQ(host.form().resultMark(), ViewerForm::kNoResult);

    QWidget* control = f->findChild<QWidget*>("Viewer");
    ASSERT_TRUE(control);
    for (const QSize size : {QSize(500, 400), QSize(333, 250), QSize(37, 37)}) {
        f->resize(size);
        EXPECT_EQ(control->geometry(), QRect(QPoint(0, 0), size));
    }

    Recorded events;
    ViewerRun run;
    EXPECT_TRUE(host.run(run, events));
    EXPECT_EQ(events.seen.back(), "not printed");
    EXPECT_EQ(host.form().resultMark(), ViewerForm::kResultCame);
    EXPECT_EQ(host.form().tag, u"");

    auto* timer2 = f->findChild<QTimer*>("Timer2");
    ASSERT_TRUE(timer2);
    EXPECT_EQ(timer2->interval(), 3000);
    EXPECT_FALSE(timer2->isActive());
    // Its tick, without waiting three seconds.
    timer2->setInterval(0);
    timer2->start();
    QPointer<QWidget> gone = f;
    for (int turn = 0; turn < 100 && gone; ++turn) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_FALSE(gone);
    EXPECT_FALSE(form());

    clock.time.tm.tm_sec = 9;
    run.clientTag = u"1";
    EXPECT_TRUE(host.run(run, events));
    ASSERT_TRUE(form());
    EXPECT_EQ(host.form().loadedAt(), 9 * 3600 + 5 * 60 + 9);
    EXPECT_EQ(host.form().tag, u"1");

    // The offered steps hide the form.
    host.form().closeStep();
    EXPECT_FALSE(form()->isVisible());
    host.show();
    host.form().notify(u"InitViewer", u"Ok");
    EXPECT_FALSE(form()->isVisible());
    clock.time.tm.tm_sec = 3;
}

// A PNG page of noise, which does not compress: about `side` * `side` * 3 bytes.
std::u16string noisePage(int side, unsigned seed) {
    QImage image(side, side, QImage::Format_RGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) image.setPixel(x, y, random() & 0xFFFFFF);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return platform::text::toBase64(
        std::span(reinterpret_cast<const std::uint8_t*>(png.constData()), png.size()));
}

// The page list the server keeps for a second run and the one the viewer keeps for its
// document after the run are one copy, at about three quarters of a byte a character: the
// bytes held by page lists after a run are those of the server's list alone, a second run of
// the same list adds nothing, and the viewer keeps the document when the server lets it go.
TEST_F(RegisteredViewerForm, TheServerAndTheViewerHoldOneCopyOfThePageList) {
    using platform::text::PackedText;
    ComViewerHost host(u"/", clock);
    ASSERT_TRUE(host.available());
    const std::size_t before = PackedText::heldBytes();
    PageList list;
    for (unsigned page = 0; page < 3; ++page) list.append(noisePage(200, page));
    const std::size_t one = PackedText::heldBytes() - before;
    EXPECT_LT(one, list.size() * 8 / 10);

    Recorded events;
    for (int round = 0; round < 2; ++round) {
        ViewerRun run;
        run.pageImageList = list.text();
        EXPECT_TRUE(host.run(std::move(run), events));
        ASSERT_FALSE(events.seen.empty());
        EXPECT_EQ(events.seen.front(), "running");
        EXPECT_EQ(PackedText::heldBytes() - before, one) << "round " << round;
    }
    list.clear();
    EXPECT_EQ(PackedText::heldBytes() - before, one);  // the viewer's document
}

}  // namespace
