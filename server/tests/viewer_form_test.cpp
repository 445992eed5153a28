// The viewer form with the real viewer control created by class identifier, under the
// offscreen platform: where the form goes, the order of the run and the events it reports.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "server/viewerhost.h"

using namespace tessel::server;

namespace {

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
        ComViewerHost missing(u"/");
        EXPECT_FALSE(missing.available());  // nothing registered yet
        EXPECT_EQ(missing.version(), u"");
    }
    auto reg = platform::testing::runProgram(REGSVR, {VISTREL_LIBRARY});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;

    ComViewerHost host(u"/");
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

// Shown in the normal or the maximised state, the form is on screen at a size one can use: on
// a fresh server (the window's button), after an off-screen run, and after a small placement.
TEST(ViewerForm, ShownNormalOrMaximisedTheFormIsOnScreenAtAUsableSize) {
    platform::testing::TempMachine machine;
    int argc = 1;
    char name[] = "viewer_form_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto reg = platform::testing::runProgram(REGSVR, {VISTREL_LIBRARY});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;
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

    ComViewerHost host(u"/");
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
        if (c.maximised) EXPECT_EQ(f->frameGeometry(), screen) << c.when;
    }
    host.hide();
    host.show();
    usable("the window's button after a run");
}

}  // namespace
