// TesselServer: the issuing server. Reads the INI named after the program beside it (or the
// file given with --ini PATH), listens for one client and answers its request frames.
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/net/qt_winsock.h"
#include "platform/system/files.h"
#include "platform/text/text.h"
#include "platform/ui/qt_ui.h"
#include "server/controller.h"
#include "server/mainwindow.h"
#include "server/viewerhost.h"

namespace text = platform::text;
using namespace tessel::server;

namespace {

class QtProgram : public ProgramHost {
  public:
    void quit(int exitCode) override { QCoreApplication::exit(exitCode); }
    void soon(std::function<void()> task) override {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task),
                                  Qt::QueuedConnection);
    }
};

int usage(FILE* out) {
    std::fprintf(out,
                 "usage: TesselServer [--ini PATH]\n"
                 "  --ini PATH   read the settings from PATH instead of TesselServer.ini\n"
                 "               beside the program\n");
    return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path exe = platform::system::programFile();
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return usage(stdout);

    // Qt takes its own options (-platform, -style, ...) out of the arguments first.
    QApplication app(argc, argv);
    std::string iniArg;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--ini") && i + 1 < argc) {
            iniArg = argv[++i];
        } else if (!std::strncmp(argv[i], "--ini=", 6)) {
            iniArg = argv[i] + 6;
        } else {
            std::fprintf(stderr, "TesselServer: unknown argument %s\n", argv[i]);
            return usage(stderr);
        }
    }

    QApplication::setQuitOnLastWindowClosed(false);

    ProgramInfo info;
    info.programFolder = text::fromUtf8(exe.parent_path().string());
    info.programName = text::fromUtf8(exe.stem().string());
    std::filesystem::path ini = iniArg.empty() ? exe.parent_path() / (exe.stem().string() + ".ini")
                                               : std::filesystem::absolute(iniArg);
    info.iniPath = text::fromUtf8(ini.string());
    info.productName = u"TesselServer";
    info.fileDescription = u"Tessel 발급 서버";
    info.comments = u"issuing server";
    info.version = text::fromUtf8(TESSEL_SERVER_VERSION);

    // Without a screen nobody can click a box away: record it and write it to stderr.
    std::shared_ptr<platform::ui::MessageBoxes> boxes;
    QString platformName = QGuiApplication::platformName();
    if (platformName == "offscreen" || platformName == "minimal") {
        boxes = std::make_shared<platform::ui::HeadlessMessageBoxes>();
    } else {
        boxes = std::make_shared<platform::ui::QtMessageBoxes>();
        platform::ui::setDialogs(std::make_shared<platform::ui::QtDialogs>());
    }
    platform::ui::setMessageBoxes(boxes);

    platform::net::QtSocketArray sockets;
    platform::ui::QtTrayIcon tray;
    SystemClock clock;
    ComParamCipher cipher;
    ComViewerHost viewer(info.programFolder, clock);
    QtProgram program;
    MainWindow window;
    ServerController controller(info,
                                {sockets, window, tray, *boxes, clock, cipher, viewer, program});
    window.attach(&controller);
    WindowCommands commands(info.programFolder, window, viewer);
    window.attachCommands(&commands);
    if (!controller.start()) return controller.exitCode();
    return app.exec();
}
