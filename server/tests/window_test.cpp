// The real window under the offscreen platform: it starts, shows the log and the listening
// state, and closing it only hides it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <fstream>

#include "fakes.h"
#include "platform/testing/temp_machine.h"
#include "platform/testing/wait.h"
#include "platform/text/text.h"
#include "platform/ui/dialogs.h"
#include "server/mainwindow.h"

using namespace tessel;
using namespace tessel::server;
using namespace tessel::server::testing;

TEST(Window, SmokeTestUnderTheOffscreenPlatform) {
    platform::testing::TempMachine machine;
    int argc = 1;
    char name[] = "window_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    FakeSockets sockets;
    platform::ui::HeadlessTrayIcon tray;
    platform::ui::HeadlessMessageBoxes boxes{false};
    FixedClock clock;
    FakeCipher cipher;
    NoViewer viewer;
    FakeProgram program;
    MainWindow window;
    ProgramInfo info;
    info.programFolder = platform::text::fromUtf8(machine.path().string());
    info.programName = u"TesselServer";
    info.iniPath = platform::text::fromUtf8((machine.path() / "TesselServer.ini").string());
    { std::ofstream(machine.path() / "TesselServer.ini") << "[SYSTEM]\nTRAYICON=0\n"; }
    ServerController controller(info,
                                {sockets, window, tray, boxes, clock, cipher, viewer, program});
    window.attach(&controller);
    ASSERT_TRUE(controller.start());
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    // The log rows come in batches: wait for the first one.
    QAbstractItemModel* model = window.logList()->model();
    ASSERT_NE(model, nullptr);
    platform::testing::waitFor(
        [&] { return model->rowCount() > 0; }, std::chrono::seconds(5),
        [] { QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50); });
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("TesselServer Ver.1.0.0 "));
    EXPECT_EQ(window.stateLabel()->text(), "2");
    ASSERT_GE(model->rowCount(), 1);
    EXPECT_TRUE(
        model->index(0, 0).data().toString().endsWith(QString::fromUtf8("Tessel 소켓 기동,0")));

    // The file-choice button puts the chosen file into the path box.
    auto dialogs = std::make_shared<platform::ui::HeadlessDialogs>(false);
    platform::ui::setDialogs(dialogs);
    dialogs->scriptFiles({platform::ui::FileDialogAnswer{{u"/tmp/testdata/run.log"}}});
    WindowCommands commands(info.programFolder, window, viewer);
    window.attachCommands(&commands);
    auto* choose = window.findChild<QPushButton*>("Command2");
    ASSERT_NE(choose, nullptr);
    choose->click();
    EXPECT_EQ(window.filePath()->text(), "/tmp/testdata/run.log");
    ASSERT_EQ(dialogs->fileRequests().size(), 1u);
    EXPECT_EQ(dialogs->fileRequests()[0].owner, window.ownerWindow());
    platform::ui::setDialogs(nullptr);

    window.close();
    QApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(program.exitCodes.empty());
}
