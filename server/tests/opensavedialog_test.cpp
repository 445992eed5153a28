// The open and save dialog class over a scripted dialog service: the name buffer it reads
// back, the filter text the dialog gets, and what cancel leaves alone; and the window's
// file-choice button.
#include <gtest/gtest.h>

#include "fakes.h"
#include "platform/text/text.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/messagebox.h"
#include "server/opensavedialog.h"
#include "server/windowcommands.h"

using namespace tessel;
using namespace tessel::server;
namespace ui = platform::ui;
using namespace std::string_literals;

namespace {

class Dialogs : public ::testing::Test {
  protected:
    void SetUp() override { ui::setDialogs(service); }
    void TearDown() override { ui::setDialogs(nullptr); }
    std::shared_ptr<ui::HeadlessDialogs> service = std::make_shared<ui::HeadlessDialogs>(false);
};

ui::FileDialogAnswer chose(std::vector<std::u16string> paths) {
    return ui::FileDialogAnswer{std::move(paths)};
}

}  // namespace

TEST(OpenSaveDialogBuffers, FilterReachesTheDialogAsNulTerminatedTexts) {
    EXPECT_EQ(dialogFilterBuffer(u"txt Files|*.txt|log Files|*.log"),
              u"txt Files\0*.txt\0log Files\0*.log\0\0"s);
    auto filters = ui::fileFiltersOf(dialogFilterBuffer(u"txt Files|*.txt|log Files|*.log"));
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[1].description, u"log Files");
    EXPECT_EQ(filters[1].patterns, u"*.log");
    OpenSaveDialog d;
    d.DefExt(u".txt");
    EXPECT_EQ(d.DefExt(), u"txt");
}

TEST(OpenSaveDialogBuffers, SelectionBufferIsReadAsTheDialogFillsIt) {
    const std::u16string pad(40, u'\0');
    struct Case {
        const char* what;
        std::u16string buffer;
        bool explorer;
        bool single;
        std::u16string fileName;
        std::vector<std::u16string> files;
    } cases[] = {
        {"explorer, two files",
         u"C:\\d\0a.txt\0b.txt\0"s + pad,
         true,
         false,
         u"C:\\d",
         {u"a.txt", u"b.txt"}},
        {"explorer, one file", u"C:\\d\\a.txt\0"s + pad, true, true, u"C:\\d\\a.txt", {}},
        {"explorer, list ends without padding",
         u"C:\\d\0a.txt\0b.txt\0\0"s,
         true,
         false,
         u"C:\\d",
         {u"a.txt", u"b.txt"}},
        {"old style, two files",
         u"C:\\d a.txt b.txt\0"s + pad,
         false,
         false,
         u"C:\\d",
         {u"a.txt", u"b.txt"}},
        {"old style, one file", u"C:\\d\\a.txt\0"s + pad, false, true, u"C:\\d\\a.txt", {}},
        {"old style, doubled blank",
         u"C:\\d a.txt  b.txt\0"s + pad,
         false,
         false,
         u"C:\\d",
         {u"a.txt", u"b.txt"}},
        {"old style, four blanks end the list",
         u"C:\\d a.txt    b.txt\0"s,
         false,
         false,
         u"C:\\d",
         {u"a.txt"}},
    };
    for (const Case& c : cases) {
        Selection s = parseSelectionBuffer(c.buffer, c.explorer);
        EXPECT_EQ(s.single, c.single) << c.what;
        EXPECT_EQ(s.fileName, c.fileName) << c.what;
        EXPECT_EQ(s.files, c.files) << c.what;
    }
}

TEST(OpenSaveDialogBuffers, SelectionBufferRoundTripsAndRefusesWhatDoesNotFit) {
    std::u16string buffer = selectionBuffer({u"/d/a.txt", u"/d/b.txt"}, true, true, 4096);
    ASSERT_EQ(buffer.size(), 4096u);
    Selection s = parseSelectionBuffer(buffer, true);
    EXPECT_EQ(s.fileName, u"/d");
    EXPECT_EQ(s.files, (std::vector<std::u16string>{u"a.txt", u"b.txt"}));
    EXPECT_EQ(selectionBuffer({u"/d/a.txt"}, false, false, 9), u"/d/a.txt"s + u'\0');
    EXPECT_TRUE(selectionBuffer({u"/d/a.txt"}, false, false, 8).empty());
}

TEST_F(Dialogs, MultipleSelectionGivesTheFolderAndTheNames) {
    service->scriptFiles({chose({u"/d/a.txt", u"/d/b.txt"})});
    OpenSaveDialog d;
    d.Flags(OFN_ALLOWMULTISELECT | OFN_EXPLORER);
    d.Filter(u"txt Files|*.txt|log Files|*.log");
    d.FilterIndex(2);
    d.DialogTitle(u"고르기");
    d.InitialDir(u"/d");
    ASSERT_TRUE(d.ShowOpen(7));
    EXPECT_EQ(d.FileName(), u"/d");
    EXPECT_EQ(d.FileCount(), 2);
    EXPECT_EQ(d.Files(0), u"a.txt");
    EXPECT_EQ(d.Files(1), u"b.txt");
    EXPECT_EQ(d.FileTitle(), u"");
    try {
        d.Files(2);
        FAIL() << "no error for an index outside the list";
    } catch (const platform::text::Error& e) {
        EXPECT_EQ(e.number(), 9);
    }

    auto requests = service->fileRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, ui::FileDialogRequest::Kind::Open);
    EXPECT_EQ(requests[0].owner, 7u);
    EXPECT_TRUE(requests[0].multiSelect);
    EXPECT_EQ(requests[0].title, u"고르기");
    EXPECT_EQ(requests[0].initialDir, u"/d");
    EXPECT_EQ(requests[0].filterIndex, 2);
    ASSERT_EQ(requests[0].filters.size(), 2u);
    EXPECT_EQ(requests[0].filters[0].patterns, u"*.txt");
}

TEST_F(Dialogs, SingleChoiceSetsNameAndTitleAndCancelChangesNothing) {
    service->scriptFiles({chose({u"/var/log/한글.log"}), std::nullopt});
    OpenSaveDialog d;
    ASSERT_TRUE(d.ShowOpen(0));
    EXPECT_EQ(d.FileName(), u"/var/log/한글.log");
    EXPECT_EQ(d.FileTitle(), u"한글.log");
    EXPECT_EQ(d.FileCount(), 1);
    EXPECT_THROW(d.Files(0), platform::text::Error);

    d.Flags(OFN_ALLOWMULTISELECT | OFN_EXPLORER);
    EXPECT_FALSE(d.ShowOpen(0));
    EXPECT_EQ(d.FileName(), u"/var/log/한글.log");
    EXPECT_EQ(d.FileTitle(), u"한글.log");
    EXPECT_EQ(d.FileCount(), 1);
    EXPECT_EQ(d.Flags(), OFN_ALLOWMULTISELECT | OFN_EXPLORER);
}

// The dialog gets Flags as the caller set them, and Flags holds what the dialog answered.
TEST_F(Dialogs, FlagsGoToTheDialogAndComeBackFromIt) {
    constexpr std::int32_t given = OFN_EXPLORER | ui::OFN_OVERWRITEPROMPT | 0x4;
    constexpr std::int32_t answered = given | ui::OFN_EXTENSIONDIFFERENT;
    ui::FileDialogAnswer withFlags = chose({u"/d/a.log"});
    withFlags.flags = answered;
    service->scriptFiles({withFlags, withFlags, std::nullopt, chose({u"/d/b.txt"})});
    OpenSaveDialog d;
    d.Flags(given);
    ASSERT_TRUE(d.ShowOpen(0));
    EXPECT_EQ(d.Flags(), answered);
    d.Flags(given);
    ASSERT_TRUE(d.ShowSave(0));
    EXPECT_EQ(d.Flags(), answered);
    d.Flags(given);
    EXPECT_FALSE(d.ShowSave(0));
    EXPECT_EQ(d.Flags(), given);  // cancel leaves them
    ASSERT_TRUE(d.ShowOpen(0));
    EXPECT_EQ(d.Flags(), given);  // a dialog that answers none leaves them too
    const auto requests = service->fileRequests();
    ASSERT_EQ(requests.size(), 4u);
    for (const auto& r : requests) EXPECT_EQ(r.flags, given);
}

TEST_F(Dialogs, SaveAndFolderDialogs) {
    service->scriptFiles({chose({u"/out/report.txt"}), std::nullopt});
    service->scriptFolders({u"/out/저장", std::nullopt});
    OpenSaveDialog d;
    d.Flags(OFN_ALLOWMULTISELECT);
    ASSERT_TRUE(d.ShowSave(3));
    EXPECT_EQ(d.FileName(), u"/out/report.txt");
    EXPECT_EQ(d.FileTitle(), u"report.txt");
    EXPECT_EQ(d.FileCount(), 1);
    EXPECT_FALSE(service->fileRequests()[0].multiSelect);
    EXPECT_EQ(service->fileRequests()[0].kind, ui::FileDialogRequest::Kind::Save);
    EXPECT_FALSE(d.ShowSave(3));
    EXPECT_EQ(d.FileName(), u"/out/report.txt");

    // A long file name is taken whole; a path longer than the name buffer (the proposed name
    // and 1024 characters) fails the dialog.
    const std::u16string longName(200, u'n');
    const std::u16string tooLong = u"/" + std::u16string(2 * kSaveNameSpace, u'p');
    service->scriptFiles({chose({u"/out/" + longName}), chose({tooLong})});
    d.FileName(u"");
    ASSERT_TRUE(d.ShowSave(3));
    EXPECT_EQ(d.FileTitle(), longName);
    EXPECT_FALSE(d.ShowSave(3));
    EXPECT_EQ(d.FileName(), u"/out/" + longName);

    EXPECT_EQ(d.SaveFolder(3), u"/out/저장");
    EXPECT_EQ(d.SaveFolder(3), u"");
    auto folders = service->folderRequests();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0].title, kSaveFolderTitle);
    EXPECT_EQ(folders[0].owner, 3u);
}

TEST(OpenSaveDialogEvents, ConfirmOkHonoursAHandlerThatCancels) {
    OpenSaveDialog d;
    EXPECT_TRUE(d.ConfirmOK());
    std::vector<std::string> raised;
    d.events.OnConfirmOK = [&](bool& cancel) {
        raised.push_back("ConfirmOK");
        cancel = true;
    };
    d.events.OnInitDialog = [&](ui::OwnerWindow w) {
        raised.push_back("Init " + std::to_string(w));
    };
    d.events.OnWMCommand = [&](ui::OwnerWindow, std::intptr_t wp, std::intptr_t) {
        raised.push_back("WMCommand " + std::to_string(wp));
    };
    EXPECT_FALSE(d.ConfirmOK());
    EXPECT_EQ(d.InitDialog(5), 0);
    d.WMCommand(5, 1, 0);
    d.DialogClose();  // no handler: nothing happens
    EXPECT_EQ(raised, (std::vector<std::string>{"ConfirmOK", "Init 5", "WMCommand 1"}));
}

namespace {

struct RecordingCommandView : CommandView {
    ui::OwnerWindow ownerWindow() const override { return 42; }
    void setFilePath(const std::u16string& path) override { paths.push_back(path); }
    std::vector<std::u16string> paths;
};

struct ShowCountingViewer : tessel::server::testing::FakeViewer {
    void show() override { ++shown; }
    int shown = 0;
};

}  // namespace

TEST_F(Dialogs, FileChoiceButtonPutsTheChosenLogFileIntoThePathBox) {
    RecordingCommandView view;
    ShowCountingViewer viewer;
    WindowCommands commands(u"/opt/tessel", view, viewer);
    service->scriptFiles({chose({u"/opt/tessel/testdata/run.log"}), std::nullopt});
    commands.Command2_Click();
    commands.Command2_Click();  // cancelled: the box keeps its text
    EXPECT_EQ(view.paths, (std::vector<std::u16string>{u"/opt/tessel/testdata/run.log"}));
    auto requests = service->fileRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].title, kLogFileDialogTitle);
    EXPECT_EQ(requests[0].initialDir, u"/opt/tessel/testdata");
    EXPECT_EQ(requests[0].owner, 42u);
    ASSERT_EQ(requests[0].filters.size(), 2u);
    EXPECT_EQ(requests[0].filters[0].description, u"txt Files");
    EXPECT_EQ(requests[0].filters[1].patterns, u"*.log");

    commands.cmdCertView_Click();
    commands.cmdServerSend_Click();
    commands.Command1_Click();
    EXPECT_EQ(viewer.shown, 1);
    EXPECT_EQ(service->fileRequests().size(), 2u);
}

// The window's procedure that nobody calls shows its one message box and nothing else.
TEST_F(Dialogs, TheLoadCompletedProcedureShowsItsMessageBox) {
    RecordingCommandView view;
    ShowCountingViewer viewer;
    WindowCommands commands(u"/opt/tessel", view, viewer);
    auto boxes = std::make_shared<platform::ui::HeadlessMessageBoxes>(false);
    platform::ui::setMessageBoxes(boxes);
    commands.iniViewer_LoadCompleted();
    platform::ui::setMessageBoxes(nullptr);
    const auto shown = boxes->shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, u"iniViewer_LoadCompleted");
    EXPECT_EQ(shown[0].style, platform::ui::vbOKOnly);
    EXPECT_EQ(viewer.shown, 0);
    EXPECT_TRUE(service->fileRequests().empty());
    EXPECT_TRUE(view.paths.empty());
}
