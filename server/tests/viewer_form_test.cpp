// The viewer form with the real viewer control created by class identifier, under the
// offscreen platform: where the form goes, the order of the run and the events it reports.
#include <gtest/gtest.h>

#include <QApplication>
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

}  // namespace
