// The printer list form's logic with a fake view: what it lists and selects, what each button
// hands back, the topmost step, its fonts and its languages.
#include "viewer/selection/print_list.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "selection_fixture.h"
#include "strings/strings.h"
#include "viewer/state/module_state.h"

using namespace vistrel;
using selection_test::DescribedMachine;

namespace {

struct FakeList : PrintListView {
    std::u16string caption, frame, instruction, contact, printCaption, cancelCaption, name;
    bool printEnabled = false, closed = false, timerStopped = false, failCaption = false;
    double fontSize = 8;
    std::u16string fontFace;
    std::int16_t charset = -1;
    std::vector<std::u16string> items;
    int selected = -1;

    void setCaption(const std::u16string& t) override {
        if (failCaption) throw std::runtime_error("no caption");
        caption = t;
    }
    void setFrameCaption(const std::u16string& t) override { frame = t; }
    void setInstruction(const std::u16string& t) override { instruction = t; }
    void setContact(const std::u16string& t) override { contact = t; }
    void setPrintCaption(const std::u16string& t) override { printCaption = t; }
    void setCancelCaption(const std::u16string& t) override { cancelCaption = t; }
    void setPrintEnabled(bool on) override { printEnabled = on; }
    double nameFontSize() override { return fontSize; }
    void setNameFont(const std::u16string& face, std::int16_t cs,
                     std::optional<std::int16_t> size) override {
        fontFace = face;
        charset = cs;
        if (size) fontSize = *size;
    }
    void setNameText(const std::u16string& t) override { name = t; }
    void clearPrinters() override {
        items.clear();
        selected = -1;
    }
    void addPrinter(const std::u16string& d) override { items.push_back(d); }
    void selectPrinter(int i) override { selected = i; }
    std::u16string selectedPrinter() override {
        return selected >= 0 ? items[static_cast<std::size_t>(selected)] : u"";
    }
    WindowHandle handle() override { return 42; }
    void stopTimer() override { timerStopped = true; }
    void closeForm() override { closed = true; }
};

struct FakeWindows : WindowOperations {
    std::vector<WindowHandle> topmost;
    void SetFocus(WindowHandle) override {}
    bool SetWindowPos(WindowHandle w, WindowHandle after, std::int32_t, std::int32_t, std::int32_t,
                      std::int32_t, std::uint32_t) override {
        if (after == HWND_TOPMOST) topmost.push_back(w);
        return true;
    }
    bool GetClientRect(WindowHandle, WindowRect&) override { return false; }
    bool ClientToScreen(WindowHandle, WindowPoint&) override { return false; }
    bool ClipCursor(const WindowRect*) override { return false; }
};

class PrintList : public ::testing::Test {
  protected:
    void SetUp() override {
        resetModuleState();
        setLanguage(Language::English);
    }
    void TearDown() override {
        setLanguage(std::nullopt);
        resetModuleState();
    }
    std::u16string& selected() { return moduleState().print.SelectedPrinterName; }

    FakeList view;
    FakeWindows windows;
    int yields = 0;
    PrintListParts parts{[] {
                             return std::vector<std::u16string>{u"A", u"B", u"C"};
                         },
                         [this] { ++yields; }};
};

TEST_F(PrintList, ListsThePrintersAndHandsBackTheChoice) {
    PrintListForm form(view, windows, parts);
    form.load();
    EXPECT_EQ(view.items, (std::vector<std::u16string>{u"A", u"B", u"C"}));
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.name, u"C");  // the last printer's name
    EXPECT_EQ(view.caption, u">>> Printer list which the issue is possible <<<");
    EXPECT_EQ(view.frame, u"Printer List:");
    EXPECT_EQ(view.printCaption, u"OK");
    EXPECT_EQ(view.cancelCaption, u"Cancel");
    EXPECT_TRUE(view.printEnabled);
    EXPECT_EQ(yields, 2);

    view.selected = 1;
    form.printClick();
    EXPECT_EQ(selected(), u"B");
    EXPECT_TRUE(view.closed);

    form.cancelClick();
    EXPECT_EQ(selected(), u"");
}

TEST_F(PrintList, AFormClosedByItsCloseBoxHandsBackNoPrinter) {
    selected() = u"Printer of an earlier dialog";
    PrintListForm form(view, windows, parts);
    form.load();
    // The user closes the window: no button runs.
    EXPECT_EQ(selected(), u"");
}

TEST_F(PrintList, NoPrintersLeaveTheListEmptyAndPrintHandsBackNothing) {
    parts.printers = [] { return std::vector<std::u16string>{}; };
    PrintListForm form(view, windows, parts);
    form.load();
    EXPECT_TRUE(view.items.empty());
    EXPECT_EQ(view.selected, -1);
    EXPECT_EQ(view.name, u"");
    form.printClick();
    EXPECT_EQ(selected(), u"");
}

TEST_F(PrintList, ListsTheInstalledPrintersByDefault) {
    DescribedMachine machine(R"({"printers": [{"device": "B", "port": "USB001"},
        {"device": "A", "port": "USB002"}]})");
    PrintListForm form(view, windows);
    form.load();
    EXPECT_EQ(view.items, (std::vector<std::u16string>{u"B", u"A"}));
}

TEST_F(PrintList, GoesTopmostOnceOnItsTimer) {
    PrintListForm form(view, windows, parts);
    form.load();
    EXPECT_TRUE(form.timerEnabled());
    EXPECT_TRUE(windows.topmost.empty());
    form.timerTick();
    form.timerTick();
    EXPECT_EQ(windows.topmost, std::vector<WindowHandle>{42});
    EXPECT_FALSE(form.timerEnabled());
    EXPECT_TRUE(view.timerStopped);
}

TEST_F(PrintList, FontsAndLanguages) {
    struct Case {
        Language language;
        double sizeBefore;
        double sizeAfter;
        std::u16string face;
        std::int16_t charset;
    } cases[] = {
        {Language::Korean, 8, 9, u"굴림", 129},
        {Language::Korean, 12, 12, u"굴림", 129},  // 9 points or more stay
        {Language::English, 7, 8, u"Tahoma", 0},
        {Language::English, 9, 9, u"Tahoma", 0},
    };
    for (const auto& c : cases) {
        setLanguage(c.language);
        FakeList fresh;
        fresh.fontSize = c.sizeBefore;
        PrintListForm form(fresh, windows, parts);
        form.load();
        EXPECT_EQ(fresh.fontSize, c.sizeAfter);
        EXPECT_EQ(fresh.fontFace, c.face);
        EXPECT_EQ(fresh.charset, c.charset);
        if (c.language == Language::Korean) {
            EXPECT_EQ(fresh.caption, u">>> 발급 가능한 프린터 목록 <<<");
            EXPECT_EQ(fresh.cancelCaption, u"취소");
        }
    }
}

TEST_F(PrintList, AFailingStepIsPassedOver) {
    view.failCaption = true;
    PrintListForm form(view, windows, parts);
    form.load();
    EXPECT_EQ(view.caption, u"");
    EXPECT_EQ(view.frame, u"Printer List:");
    EXPECT_EQ(view.items.size(), 3u);
}

}  // namespace
