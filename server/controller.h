// The server's logic behind its main window: configuration, listening with the address
// fallback, the client slot, the receive buffer, dispatch of the request frames, replies, the
// state code, the tray and the log list. It talks only to interfaces (sockets, view, tray,
// message boxes, clock, cipher, viewer, the program), so it runs headless in tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "lib/clock/clock.h"
#include "lib/frame/frame.h"
#include "lib/initool/initool.h"
#include "platform/net/winsock.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/tray.h"
#include "server/config.h"
#include "server/issue.h"
#include "server/loglist.h"
#include "server/paramstring.h"
#include "server/viewerform.h"

namespace tessel::server {

// The main window as the logic sees it.
class MainView {
  public:
    virtual ~MainView() = default;
    virtual void setCaption(const std::u16string& caption) = 0;
    virtual void setAddress(const std::u16string& address) = 0;
    virtual void setPort(const std::u16string& port) = 0;
    virtual void setStatusText(const std::u16string& text) = 0;
    // The listening state number of element 0 (2 is listening: green; anything else: red).
    virtual void setListeningState(int state) = 0;
    virtual void showWindow() = 0;
    virtual void hideWindow() = 0;
};

// What a run hands the viewer, and how its form is placed.
struct ViewerRun {
    std::u16string paramCipherText;
    std::u16string pageImageList;
    std::u16string clientTag;    // the client's slot number as text
    bool hideWin = true;         // off screen
    std::u16string windowState;  // "0", "2", "left,top,width,height" or "left,top" (pixels)
    bool topWin = false;
};

// The viewer's notifications during a run.
class ViewerEvents {
  public:
    virtual ~ViewerEvents() = default;
    // A printer is available and the viewer starts running.
    virtual void running() = 0;
    virtual void printResult(bool printed) = 0;
    virtual void errorMsg(const std::u16string& code, const std::u16string& message) = 0;
};

// The document viewer on its form.
class ViewerHost {
  public:
    virtual ~ViewerHost() = default;
    virtual bool available() const = 0;
    virtual std::u16string version() = 0;
    virtual void hide() = 0;
    // Shows the viewer form, not modal (the window's button).
    virtual void show() {}
    // The server's side of the viewer form (status, AUTOEVENTS, replies to clients).
    virtual void attach(ViewerFormServices*) {}
    // Runs an issue: hands the viewer its texts, asks for a printer and prints. Returns once
    // the viewer is done; its events arrive before. False when no printer was available (the
    // viewer then did not run). The request is the host's to use up: its page list moves on
    // into the viewer rather than being copied.
    virtual bool run(ViewerRun request, ViewerEvents& events) = 0;
    // After a run that found no printer: why, when the platform can tell (a print spooler that
    // cannot be used, named with its cause); empty otherwise.
    virtual std::u16string whyNoPrinter() const { return {}; }
};

// No viewer installed yet: runs are refused and the version is empty.
class NoViewer : public ViewerHost {
  public:
    bool available() const override { return false; }
    std::u16string version() override { return {}; }
    void hide() override {}
    bool run(ViewerRun, ViewerEvents&) override { return false; }
};

// The program around the controller.
class ProgramHost {
  public:
    virtual ~ProgramHost() = default;
    // Ends the program with the exit code.
    virtual void quit(int exitCode) = 0;
    // Runs a task at the next turn of the event loop, also of a nested loop that a run holds.
    virtual void soon(std::function<void()> task) = 0;
};

struct ProgramInfo {
    std::u16string programFolder;  // "/" separators
    std::u16string programName;    // file name without extension
    std::u16string iniPath;
    std::u16string productName = u"TesselServer";
    std::u16string fileDescription = u"TesselServer";
    std::u16string comments;
    std::u16string version = u"1.0.0";  // major.minor.revision
};

class ServerController : public platform::net::SocketEvents {
  public:
    struct Services {
        platform::net::SocketArray& sockets;
        MainView& view;
        platform::ui::TrayIcon& tray;
        platform::ui::MessageBoxes& boxes;
        const Clock& clock;
        ParamCipher& cipher;
        ViewerHost& viewer;
        ProgramHost& program;
    };

    ServerController(ProgramInfo info, Services services);
    ~ServerController() override;
    ServerController(const ServerController&) = delete;
    ServerController& operator=(const ServerController&) = delete;

    // Start-up: caption, configuration, listening, tray, window. False when the program ended
    // (exitCode() tells how).
    bool start();
    // Called before start(): the listening at start-up takes a free port the system picks
    // instead of the configured one, and `report` hears the port each time listening starts.
    // Later listening (the start button, a reload) takes the configured port as ever.
    void listenOnAnyPort(std::function<void(int port)> report);
    bool ended() const { return ended_; }
    int exitCode() const { return exitCode_; }

    // Mode "ClearLocalIp" (letter case ignored) drops the address and reads it afresh.
    void LoadConfig(const std::u16string& mode = {});
    void startListening();
    void stopListening();
    // Window commands.
    void reloadButton();  // empties address and port, reloads
    void setBoxes(const std::u16string& address, const std::u16string& port);
    void hideToTray();
    void closeWindow();  // closing only hides
    void trayClose();    // ends the program
    // The 1 s timer: shows the listening state and closes a client whose frame stayed
    // unfinished longer than IncompleteFrameTimeout, or that sent nothing for that long while
    // no run of its issue was under way.
    void timerTick();
    // What the timer does once the server has been idle long enough: by default the decoded
    // pictures' kept storage and the heap's free pages go back to the system.
    void setMemoryGiveBack(std::function<void()> giveBack) {
        giveBackMemory_ = std::move(giveBack);
    }
    bool saveLog();
    void clearLog();

    // Socket events.
    void ConnectionRequest(int index, long requestID) override;
    void DataArrival(int index, long bytesTotal) override;
    void Close(int index) override;
    void Error(int index, int number, const std::u16string& description) override;

    const std::u16string& stateCode() const { return issue_.stateCode; }
    const IssueState& issue() const { return issue_; }
    const ServerSettings& settings() const { return settings_; }
    const LogList& log() const { return log_; }
    LogList& log() { return log_; }
    const std::u16string& address() const { return address_; }
    const std::u16string& portText() const { return portText_; }
    const ProgramInfo& info() const { return info_; }
    std::u16string caption() const;
    std::u16string trayTip() const;
    // What the viewer form reaches of the server.
    ViewerFormServices& viewerFormServices() { return formServices_; }

  private:
    // Who asked: the slot and the connection that was on it when the frame arrived.
    struct Requester {
        int index = 0;
        std::uint64_t connection = 0;
        std::u16string code;
    };

    void addLog(const std::u16string& text, int level) { log_.AddLog(text, level); }
    void loadConfig(const std::u16string& mode, bool fallbackUsed);
    void listen(bool fallbackUsed);
    bool loadHostConfig(bool fatal);
    void end(int exitCode);
    void closeClient(int index);
    // Forgets what the client slot received so far.
    void resetReceive();
    // Cuts and dispatches the complete frames waiting in the receive buffer.
    void takeFrames(Requester who, long bytesTotal);
    // Takes the frame: a set-up gives it up once it is read.
    void dispatch(const Requester& who, std::u16string frame);
    void FRunViewer(const Requester& who);
    void FSendMsg(const Requester& who, std::u16string_view result, std::u16string_view text);
    bool connectionAlive(const Requester& who) const;
    std::u16string failureText() const;

    ProgramInfo info_;
    Services s_;
    iniTool ini_;
    ServerSettings settings_;
    LogList log_;
    IssueState issue_;
    IssueRequests requests_;
    FrameAssembler assembler_;
    AnsiStreamDecoder decoder_;
    std::u16string address_;   // the SER_IP box
    std::u16string portText_;  // the SER_PORT box
    std::array<int, 11> slots_{};
    std::array<std::uint64_t, 11> connection_{};
    std::uint64_t nextConnection_ = 0;
    // When the frame now waiting for its rest began (steady clock), while one waits.
    std::optional<std::int64_t> partialSince_;
    // Since when the client has had nothing to wait for: accepted, or its last frame answered.
    std::int64_t idleSince_ = 0;
    bool anyPort_ = false;  // until the first listening succeeds
    std::function<void(int)> portReport_;
    bool ended_ = false;
    int exitCode_ = 0;
    // Since when nothing has been asked (steady clock), while freed memory is kept for the next
    // issue; the timer gives it back after kIdleMemoryGiveBack seconds of that.
    std::optional<std::int64_t> memoryKeptSince_;
    std::function<void()> giveBackMemory_;
    bool running_ = false;             // a run of the viewer is under way
    std::uint64_t runConnection_ = 0;  // the connection that asked for it
    // The command of the most recently dispatched frame; replies that answer no request of
    // their own (the viewer form's notifications) echo it.
    std::u16string currentCode_;

    class FormServices : public ViewerFormServices {
      public:
        explicit FormServices(ServerController& c) : c_(c) {}
        IssueState& issue() override { return c_.issue_; }
        bool autoEvents() const override { return c_.settings_.autoEvents; }
        void setStatusText(const std::u16string& text) override;
        void sendToClient(int index, std::u16string_view result, std::u16string_view text) override;

      private:
        ServerController& c_;
    };
    FormServices formServices_{*this};
};

}  // namespace tessel::server
