// TesselServer: the issuing server. Reads the INI named after the program beside it (or the
// file given with --ini PATH), listens for one client and answers its request frames.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/net/qt_winsock.h"
#include "platform/system/filelimit.h"
#include "platform/system/files.h"
#include "platform/system/memory.h"
#include "platform/system/storefile.h"
#include "platform/text/text.h"
#include "platform/ui/notice.h"
#include "platform/ui/qt_ui.h"
#include "server/controller.h"
#include "server/mainwindow.h"
#include "server/viewerhost.h"

namespace text = platform::text;
using namespace tessel::server;
using tessel::SystemClock;

namespace {

class QtProgram : public ProgramHost {
  public:
    void quit(int exitCode) override { QCoreApplication::exit(exitCode); }
    void soon(std::function<void()> task) override {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task),
                                  Qt::QueuedConnection);
    }
};

// What the libraries of the process tell whoever runs it (why a run ended without printing)
// is a line of the log: its list, standard error and the saved file.
class LogNotices : public platform::ui::Notices {
  public:
    explicit LogNotices(LogList& log) : log_(log) {}
    void notice(const std::u16string& text) override { log_.AddLog(text, 1); }

  private:
    LogList& log_;
};

// SIGTERM and SIGINT end the server through its event loop: the handler only writes the
// signal's number into a pipe that the loop watches.
int g_signalPipe[2] = {-1, -1};

extern "C" void onEndSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool catchEndSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

// A log line on standard error: one line each, its own control characters shown as escapes
// (\r, \n, \t, \x0B, ...).
// The log's lines on standard error. Lines gather while the event loop works and are written in
// one go before it waits again (or once they fill the buffer, and at the end), so a request
// and its reply are answered before their log lines are written.
std::string g_echoed;
constexpr std::size_t kEchoBuffer = 64 * 1024;

void flushEcho() {
    if (g_echoed.empty()) return;
    std::fwrite(g_echoed.data(), 1, g_echoed.size(), stderr);
    std::fflush(stderr);
    g_echoed.clear();
}

void echoToStderr(const std::u16string& line) {
    if (std::none_of(line.begin(), line.end(), text::isControlCharacter))
        g_echoed += text::toUtf8(line);
    else
        g_echoed += text::toUtf8(text::showControlCharacters(line));
    g_echoed += '\n';
    if (g_echoed.size() >= kEchoBuffer) flushEcho();
}

// Qt's headless platforms (offscreen, minimal) have no real windows. Each time the window is
// shown or raised, Qt notes that the platform cannot do it ("This plugin does not support
// raise()"), which tells the operator nothing. Those notes are dropped; every other message
// goes on to Qt's own handler.
QtMessageHandler g_qtMessages = nullptr;

void filterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support ")))
        return;
    if (g_qtMessages) g_qtMessages(type, context, message);
}

int usage(FILE* out) {
    std::fprintf(out,
                 "usage: TesselServer [--ini PATH] [--port-file PATH]\n"
                 "  --ini PATH        read the settings from PATH instead of TesselServer.ini\n"
                 "                    beside the program\n"
                 "  --port-file PATH  listen at start on a free port the system picks instead\n"
                 "                    of PORT, and write the port listened on into PATH\n"
                 "                    each time listening starts\n");
    return out == stdout ? 0 : 2;
}

// The program's own arguments, once Qt has taken its options out.
struct Arguments {
    std::string ini;
    std::string portFile;
};

// Reads the arguments; the exit code of an unknown one, nullopt otherwise.
std::optional<int> readArguments(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--ini") && i + 1 < argc) {
            args.ini = argv[++i];
        } else if (!std::strncmp(argv[i], "--ini=", 6)) {
            args.ini = argv[i] + 6;
        } else if (!std::strcmp(argv[i], "--port-file") && i + 1 < argc) {
            args.portFile = argv[++i];
        } else if (!std::strncmp(argv[i], "--port-file=", 12)) {
            args.portFile = argv[i] + 12;
        } else {
            std::fprintf(stderr, "TesselServer: unknown argument %s\n", argv[i]);
            return usage(stderr);
        }
    }
    return std::nullopt;
}

// The program's names, version and settings file: the INI named after the program beside it,
// or the one given.
ProgramInfo programInfo(const std::filesystem::path& exe, const std::string& iniArg) {
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
    return info;
}

// The message boxes (and dialogs) of the platform. Without a screen nobody can click a box
// away: record it and write it to stderr.
std::shared_ptr<platform::ui::MessageBoxes> installMessageBoxes() {
    std::shared_ptr<platform::ui::MessageBoxes> boxes;
    QString platformName = QGuiApplication::platformName();
    if (platformName == "offscreen" || platformName == "minimal") {
        boxes = std::make_shared<platform::ui::HeadlessMessageBoxes>();
    } else {
        boxes = std::make_shared<platform::ui::QtMessageBoxes>();
        platform::ui::setDialogs(std::make_shared<platform::ui::QtDialogs>());
    }
    platform::ui::setMessageBoxes(boxes);
    return boxes;
}

// SIGTERM and SIGINT close the server as the tray's Close does; the watcher of the signal
// pipe, or null (told on stderr) when the signals cannot be caught.
std::unique_ptr<QSocketNotifier> endOnSignals(ServerController& controller) {
    std::unique_ptr<QSocketNotifier> endSignals;
    if (catchEndSignals()) {
        endSignals = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(endSignals.get(), &QSocketNotifier::activated, [&controller] {
            unsigned char number = 0;
            while (::read(g_signalPipe[0], &number, 1) == 1) {
            }
            // Listening and every connection end; the program then leaves its loop.
            controller.log().AddLog(
                text::fromUtf8(number == SIGINT ? "SIGINT" : "SIGTERM") + u": 서버를 끝냅니다.", 1);
            controller.trayClose();
        });
    } else {
        std::fprintf(stderr, "TesselServer: SIGTERM and SIGINT cannot be caught: %s\n",
                     std::strerror(errno));
    }
    return endSignals;
}

// --port-file: listen on a port the system picks and write it into the file each time
// listening starts.
void listenForPortFile(ServerController& controller, const std::string& portFileArg) {
    // Whoever waits for the file reads a whole number: it is written beside and renamed.
    const std::filesystem::path portFile = std::filesystem::absolute(portFileArg);
    controller.listenOnAnyPort([portFile](int port) {
        std::string why;
        int error = 0;
        if (!platform::system::replaceFileAtomically(portFile, std::to_string(port) + "\n", why,
                                                     error))
            std::fprintf(stderr, "TesselServer: the port file %s cannot be written: %s\n",
                         portFile.c_str(), why.c_str());
    });
}

}  // namespace

int main(int argc, char** argv) {
    platform::system::ignoreFileSizeSignal();  // a file size limit fails the write instead
    std::filesystem::path exe = platform::system::programFile();
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return usage(stdout);

    g_qtMessages = qInstallMessageHandler(filterQtMessages);
    // Qt takes its own options (-platform, -style, ...) out of the arguments first.
    QApplication app(argc, argv);
    platform::system::keepFreedMemory(kLargestHeapBlock, kFreeMemoryReserve);
    Arguments args;
    if (auto exitCode = readArguments(argc, argv, args)) return *exitCode;

    QApplication::setQuitOnLastWindowClosed(false);

    ProgramInfo info = programInfo(exe, args.ini);
    std::shared_ptr<platform::ui::MessageBoxes> boxes = installMessageBoxes();

    platform::net::QtSocketArray sockets;
    platform::ui::QtTrayIcon tray;
    SystemClock clock;
    ComParamCipher cipher;
    ComViewerHost viewer(info.programFolder, clock);
    QtProgram program;
    MainWindow window;
    ServerController controller(info,
                                {sockets, window, tray, *boxes, clock, cipher, viewer, program});
    controller.log().setEcho(echoToStderr);
    platform::ui::setNotices(std::make_shared<LogNotices>(controller.log()));
    // The log goes before the controller does: notices then go to standard error.
    struct NoticesBack {
        ~NoticesBack() { platform::ui::setNotices(nullptr); }
    } noticesBack;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     flushEcho);
    std::atexit(flushEcho);
    window.attach(&controller);
    WindowCommands commands(info.programFolder, window, viewer);
    window.attachCommands(&commands);
    std::unique_ptr<QSocketNotifier> endSignals = endOnSignals(controller);
    if (!args.portFile.empty()) listenForPortFile(controller, args.portFile);
    if (!controller.start()) return controller.exitCode();
    return app.exec();
}
