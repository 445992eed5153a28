#include <gtest/gtest.h>

#include <thread>

#include "controls/panelet/panelet.h"

#include "platform/com/runtime.h"
#include "platform/registry/registry.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/ui/messagebox.h"
#include "platform/window/window.h"

namespace {

namespace com = platform::com;
namespace window = platform::window;
namespace registry = platform::registry;
using platform::testing::runProgram;

class PaneletLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        window::resetForTests();
        auto r = runProgram(REGSVR, {"-s", PANELET_LIBRARY});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    void TearDown() override { window::resetForTests(); }

    platform::testing::TempMachine machine;
};

TEST_F(PaneletLibrary, RegistersTheControlWithItsStatusAndTypeLibrary) {
    const std::u16string key = u"CLSID\\{1DE9BB01-B121-401D-8877-BCD5ED5B7EE5}";
    EXPECT_EQ(registry::getString(registry::Root::ClassesRoot, key), u"Panelet Control");
    EXPECT_EQ(registry::getString(registry::Root::ClassesRoot, key + u"\\ProgID"),
              u"PANELET.PaneletCtrl.1");
    EXPECT_EQ(registry::getString(registry::Root::ClassesRoot, key + u"\\MiscStatus\\1"),
              u"131473");
    EXPECT_TRUE(registry::keyExists(registry::Root::ClassesRoot, key + u"\\Control"));
    EXPECT_EQ(registry::getString(registry::Root::ClassesRoot, key + u"\\TypeLib"),
              u"{1635B2C3-0E45-4ABD-B6E4-420D042CBCCF}");
    EXPECT_EQ(registry::getString(registry::Root::ClassesRoot, u"PANELET.PaneletPropPage.1\\CLSID"),
              u"{D9523571-CD1D-48A0-A2B8-71EA34CDA751}");
}

TEST(PaneletSurface, ThreeMethodsWithoutArgumentsOrResult) {
    const std::pair<const char16_t*, com::DispId> members[] = {
        {u"setOn", 1}, {u"setOff", 2}, {u"AboutBox", -552}};
    auto control = std::make_shared<panelet::PaneletCtrl>();
    const com::TypeInfo* info = control->GetTypeInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, u"_DPanelet");
    EXPECT_EQ(info->iid, panelet::DIID_DPanelet);
    ASSERT_EQ(info->members.size(), std::size(members));
    for (std::size_t i = 0; i < std::size(members); ++i) {
        EXPECT_EQ(info->members[i].name, members[i].first);
        EXPECT_EQ(info->members[i].id, members[i].second);
        EXPECT_EQ(info->members[i].kind, unsigned(com::DISPATCH_METHOD));
        EXPECT_TRUE(info->members[i].params.empty());
        EXPECT_EQ(info->members[i].result, com::VT_EMPTY);
    }
}

TEST_F(PaneletLibrary, SetOnAndSetOffActOnTheThreadsActiveWindowOnly) {
    const window::Hwnd dialog = window::createWindow(0, {10, 20, 310, 220});
    const window::Hwnd other = window::createWindow(0, {0, 0, 50, 50});
    window::setActiveWindow(dialog);
    auto control = com::createObject(u"PANELET.PaneletCtrl.1");
    ASSERT_TRUE(control);

    com::call(*control, u"setOn", {});
    EXPECT_TRUE(window::isTopmost(dialog));
    EXPECT_FALSE(window::isTopmost(other));
    EXPECT_EQ(window::zOrder().front(), dialog);
    com::invoke(*control, 1, com::DISPATCH_METHOD);  // by its DISPID, twice
    EXPECT_TRUE(window::isTopmost(dialog));
    EXPECT_EQ(window::windowRect(dialog), (window::Rect{10, 20, 310, 220}));
    EXPECT_EQ(window::activeWindow(), dialog);

    com::invoke(*control, 2, com::DISPATCH_METHOD);
    EXPECT_FALSE(window::isTopmost(dialog));
    EXPECT_EQ(window::zOrder().front(), dialog);  // above the normal windows

    // Another window is active: only that one moves between the bands.
    window::setActiveWindow(other);
    com::call(*control, u"setOn", {});
    EXPECT_TRUE(window::isTopmost(other));
    EXPECT_FALSE(window::isTopmost(dialog));

    // No active window: nothing happens and nothing fails.
    window::setActiveWindow(0);
    EXPECT_NO_THROW(com::call(*control, u"setOff", {}));
    EXPECT_TRUE(window::isTopmost(other));
}

TEST_F(PaneletLibrary, AnotherThreadsActiveWindowIsNotLifted) {
    const window::Hwnd mine = window::createWindow(0, {0, 0, 100, 100});
    window::setActiveWindow(mine);
    window::Hwnd theirs = 0;
    std::thread other([&] {
        theirs = window::createWindow(0, {0, 0, 100, 100});
        window::setActiveWindow(theirs);
    });
    other.join();
    auto control = com::createObject(u"PANELET.PaneletCtrl.1");
    com::call(*control, u"setOn", {});
    EXPECT_TRUE(window::isTopmost(mine));
    EXPECT_FALSE(window::isTopmost(theirs));
}

TEST(PaneletFace, WhiteBoundsAndAnInscribedEllipse) {
    auto bitmap = std::make_shared<platform::gdi::Bitmap>(40, 20, 0x123456);
    platform::gdi::Dc dc(bitmap);
    panelet::PaneletCtrl::draw(dc, {0, 0, 40, 20});
    EXPECT_EQ(bitmap->pixel(0, 0), 0xFFFFFFu);    // outside the ellipse: the white fill
    EXPECT_EQ(bitmap->pixel(20, 10), 0xFFFFFFu);  // inside: the default white brush
    EXPECT_EQ(bitmap->pixel(20, 0), 0u);          // the outline: the default black pen
    EXPECT_EQ(bitmap->pixel(0, 10), 0u);
}

TEST_F(PaneletLibrary, AboutBoxShowsItsTextModally) {
    auto boxes = std::make_shared<platform::ui::HeadlessMessageBoxes>();
    platform::ui::setMessageBoxes(boxes);
    auto control = com::createObject(u"PANELET.PaneletCtrl.1");
    com::invoke(*control, -552, com::DISPATCH_METHOD);
    const auto shown = boxes->shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, u"Panelet Control, Version 1.0");
    EXPECT_EQ(shown[0].caption, u"About Panelet Control");
    platform::ui::setMessageBoxes(nullptr);
}

TEST_F(PaneletLibrary, AnswersThroughComcall) {
    for (const char* member : {"setOn", "setOff"}) {
        auto r = runProgram(COMCALL, {"PANELET.PaneletCtrl.1", member});
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    auto gone = runProgram(COMCALL, {"PANELET.PaneletCtrl.1", "setAbove"});
    EXPECT_NE(gone.exitCode, 0);
}

}  // namespace
