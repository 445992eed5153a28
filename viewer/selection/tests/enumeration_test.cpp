#include "viewer/selection/enumeration.h"

#include <gtest/gtest.h>

#include "platform/spooler/spooler.h"
#include "platform/text/codepage.h"
#include "selection_fixture.h"
#include "strings/strings.h"
#include "viewer/selection/window_helpers.h"

using namespace vistrel;
using selection_test::DescribedMachine;

TEST(GetAllPrinters, ListsTheInstalledPrintersFromEmptyEachTime) {
    setLanguage(Language::English);
    DescribedMachine machine(R"({"printers": [{"device": "B", "port": "USB001"},
        {"device": "A", "port": "USB002"}, {"device": "C", "port": "USB003"}]})");
    std::u16string message = u"old";
    EXPECT_TRUE(GetAllPrinters(message));
    EXPECT_EQ(message, u"");
    EXPECT_TRUE(GetAllPrinters(message));
    EXPECT_EQ(moduleState().lists.PrinterNameList, (std::vector<std::u16string>{u"B", u"A", u"C"}));

    ASSERT_TRUE(platform::system::describeMachine(R"({"printers": []})"));
    EXPECT_FALSE(GetAllPrinters(message));
    EXPECT_EQ(message, u"Any printer does not exist.");
    EXPECT_TRUE(moduleState().lists.PrinterNameList.empty());
    setLanguage(std::nullopt);
}

TEST(GetPrinterDpi, ReadsTheResolutionWithoutChangingAnything) {
    DescribedMachine machine(R"({"defaultPrinter": "Main", "printers": [
        {"device": "Main", "port": "USB001", "dpi": 300},
        {"device": "Fine", "port": "USB002", "dpi": [600, 1200]},
        {"device": "Odd", "port": "USB003", "dpi": 203}]})");
    const auto before = platform::system::machineToJson(platform::system::loadMachine());
    EXPECT_EQ(GetPrinterDpi(u"fine"), 600);
    EXPECT_EQ(GetPrinterDpi(u"Main"), 300);
    EXPECT_EQ(GetPrinterDpi(u"Odd"), 203);
    EXPECT_EQ(GetPrinterDpi(u"Nobody"), 0);
    EXPECT_EQ(GetPrinterDpi(u""), 0);
    EXPECT_EQ(platform::system::machineToJson(platform::system::loadMachine()), before);
    EXPECT_EQ(*platform::spooler::getDefaultPrinter(), u"Main");
}

TEST(IsFaxPrinter, FaxDriversOnTheirPortsWhileFaxModeIsOn) {
    DescribedMachine machine;
    struct Case {
        const char16_t *driver, *port;
        bool fax;
    } cases[] = {
        {u"Black Ice TIFF Driver", u"IcePortMR:", true},
        {u"black ice tiff driver 12", u"iceportmrts:", true},
        {u"GmS FAX Driver v2", u"IcePortMRTS:", true},
        {u"GmS FAX Driver", u"USB001", false},
        {u"Black Ice", u"IcePortMR:", false},
        {u"HP Universal", u"IcePortMR:", false},
    };
    for (const auto& c : cases) {
        moduleState().lists.FaxMode = false;
        EXPECT_FALSE(IsFaxPrinter(c.driver, c.port));
        moduleState().lists.FaxMode = true;
        EXPECT_EQ(IsFaxPrinter(c.driver, c.port), c.fax) << platform::text::toUtf8(c.driver);
    }
}

namespace {

struct FakeWindows : WindowOperations {
    std::vector<std::string> calls;
    WindowHandle insertAfter = 99;
    std::uint32_t flags = 0;
    WindowRect client{0, 0, 300, 200};
    WindowPoint origin{40, 50};
    bool clientOk = true, screenOk = true, clipOk = true;
    std::optional<WindowRect> clipped;
    bool released = false;

    void SetFocus(WindowHandle) override { calls.push_back("SetFocus"); }
    bool SetWindowPos(WindowHandle, WindowHandle after, std::int32_t, std::int32_t, std::int32_t,
                      std::int32_t, std::uint32_t f) override {
        calls.push_back("SetWindowPos");
        insertAfter = after;
        flags = f;
        return true;
    }
    bool GetClientRect(WindowHandle, WindowRect& r) override {
        r = client;
        return clientOk;
    }
    bool ClientToScreen(WindowHandle, WindowPoint& p) override {
        p.x += origin.x;
        p.y += origin.y;
        return screenOk;
    }
    bool ClipCursor(const WindowRect* r) override {
        if (r)
            clipped = *r;
        else
            released = true;
        return clipOk;
    }
};

}  // namespace

TEST(SetWindowTopmost, TheRuntimesTrueFalseAndAnythingElse) {
    const std::pair<std::int16_t, WindowHandle> cases[] = {
        {-1, HWND_TOPMOST}, {0, HWND_NOTOPMOST}, {1, HWND_TOP}, {7, HWND_TOP}};
    for (const auto& [flag, after] : cases) {
        FakeWindows w;
        SetWindowTopmost(w, 42, flag);
        EXPECT_EQ(w.calls, (std::vector<std::string>{"SetFocus", "SetWindowPos"}));
        EXPECT_EQ(w.insertAfter, after) << flag;
        EXPECT_EQ(w.flags, 0x53u);
    }
}

TEST(ClipCursorToWindow, OnlyWhenLockedAndNotPrintOnlyOrIntranet) {
    DescribedMachine machine;
    FakeWindows w;
    EXPECT_FALSE(ClipCursorToWindow(w, 42));  // CursorLock is off
    EXPECT_FALSE(w.clipped);
    moduleState().lists.CursorLock = true;
    ASSERT_TRUE(ClipCursorToWindow(w, 42));
    EXPECT_EQ(*w.clipped, (WindowRect{40, 50, 340, 250}));
    EXPECT_TRUE(ClipCursorToWindow(w, 0));
    EXPECT_TRUE(w.released);

    w.screenOk = false;
    EXPECT_FALSE(ClipCursorToWindow(w, 42));
    w.screenOk = true;
    w.clientOk = false;
    EXPECT_FALSE(ClipCursorToWindow(w, 42));
    w.clientOk = true;
    w.clipOk = false;
    EXPECT_FALSE(ClipCursorToWindow(w, 42));
    w.clipOk = true;

    printSettings().IsPrintOnly = true;
    EXPECT_FALSE(ClipCursorToWindow(w, 42));
    printSettings().IsPrintOnly = false;
    printSettings().UseIntranet = true;
    EXPECT_FALSE(ClipCursorToWindow(w, 42));
}
