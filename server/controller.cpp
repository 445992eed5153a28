#include "server/controller.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/imaging/imaging.h"
#include "platform/system/memory.h"
#include "platform/text/text.h"

namespace tessel::server {

namespace text = platform::text;
namespace net = platform::net;

namespace {
std::u16string num(long long n) {
    return text::formatNumber(static_cast<double>(n));
}

// A port number from a box: 1..65535, else nullopt.
std::optional<int> portNumber(const std::u16string& box) {
    std::u16string p = text::Trim(box);
    if (p.empty() || p.size() > 5) return std::nullopt;
    int value = 0;
    for (char16_t c : p) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return value;
}
}  // namespace

ServerController::ServerController(ProgramInfo info, Services services)
    : info_(std::move(info)),
      s_(services),
      log_(services.clock),
      requests_(issue_, services.cipher, services.clock) {
    s_.sockets.setEvents(this);
    s_.viewer.attach(&formServices_);
    giveBackMemory_ = [] {
        platform::imaging::releaseKeptPixels();
        platform::system::releaseFreeMemory();
    };
}

ServerController::~ServerController() {
    s_.viewer.attach(nullptr);
}

std::u16string ServerController::caption() const {
    return info_.productName + u" Ver." + info_.version + u" " + info_.comments;
}

std::u16string ServerController::trayTip() const {
    return (info_.fileDescription + u"," + address_ + u"," + portText_)
        .substr(0, platform::ui::TrayIcon::kMaxTip);
}

bool ServerController::start() {
    s_.view.setCaption(caption());
    s_.view.hideWindow();
    s_.tray.setMenu({{u"열기", [this] { s_.view.showWindow(); }, false},
                     {u"닫기", [this] { trayClose(); }, true}});
    s_.tray.onActivated([this] { s_.view.showWindow(); });
    LoadConfig(u"");
    if (ended_) return false;
    s_.tray.add(trayTip());
    s_.view.hideWindow();
    if (!settings_.trayIcon) {
        s_.view.showWindow();
    } else if (!s_.tray.trayAvailable()) {
        // A hidden window without a tray icon could be neither seen nor ended.
        addLog(u"시스템 트레이가 없어 트레이 대신 창을 보입니다.", 1);
        s_.view.showWindow();
    }
    timerTick();
    return true;
}

void ServerController::end(int exitCode) {
    if (ended_) return;
    ended_ = true;
    exitCode_ = exitCode;
    stopListening();
    s_.tray.remove();
    s_.program.quit(exitCode);
}

void ServerController::LoadConfig(const std::u16string& mode) {
    loadConfig(mode, false);
}

bool ServerController::loadHostConfig(bool fatal) {
    try {
        readHostSettings(ini_, settings_);
        return true;
    } catch (const std::exception& e) {
        int number = 0;
        std::u16string description = text::fromUtf8(e.what());
        if (auto* te = dynamic_cast<const text::Error*>(&e)) number = te->number();
        std::u16string message = u"[InitReload]" + num(number) + u", " + description;
        if (fatal) {
            s_.boxes.show(message, info_.productName, platform::ui::vbExclamation);
            end(4);
        } else {
            addLog(message, 1);
        }
        return false;
    }
}

void ServerController::loadConfig(const std::u16string& mode, bool fallbackUsed) {
    if (ended_) return;
    ini_.FileName(info_.iniPath);
    stopListening();
    bool clearAddress = text::equalsNoCase(mode, u"ClearLocalIp");
    if (clearAddress) address_.clear();
    try {
        settings_ = readSettings(ini_, info_.programFolder);
    } catch (const std::exception&) {
        // The host group is the only part that can fail; report it as the host group does.
        if (!loadHostConfig(true)) return;
    }
    portText_ = num(settings_.port);
    bool wroteAddress = false;
    std::u16string writeFailure;
    while (address_.empty()) {
        std::u16string value;
        if (clearAddress)
            clearAddress = false;
        else
            value = ini_.GetValue(u"SYSTEM", u"LocalIP", u"");
        if (!value.empty()) {
            address_ = value;
        } else {
            // Stored for the next start; used from memory even when the file is read-only.
            if (!ini_.WriteValue(u"SYSTEM", u"LocalIP", u"127.0.0.1")) {
                writeFailure = u"LocalIP=127.0.0.1 을 " + info_.iniPath + u" 에 쓸 수 없습니다: " +
                               text::fromUtf8(ini_.lastWriteError());
                // The empty file made for the first start is not a finished INI: none is kept.
                if (ini_.discardMadeFile())
                    writeFailure += u"; the empty file made for it is removed";
            }
            address_ = u"127.0.0.1";
            wroteAddress = true;
        }
    }
    s_.view.setAddress(address_);
    s_.view.setPort(portText_);
    log_.setLevel(settings_.logLevel);
    assembler_.setLogLevel(settings_.logLevel);
    assembler_.setMaxFrame(settings_.maxFrame);
    log_.clear();
    for (const auto& warning : settings_.warnings) addLog(warning, 1);
    if (!writeFailure.empty()) addLog(writeFailure, 1);
    if (fallbackUsed && wroteAddress)
        addLog(u"설정한 주소를 사용할 수 없어 LocalIP를 127.0.0.1로 바꿨습니다.", 1);
    slots_.fill(0);
    listen(fallbackUsed);
    if (ended_) return;
    issue_.stateCode = state::Idle;
}

void ServerController::listenOnAnyPort(std::function<void(int port)> report) {
    anyPort_ = true;
    portReport_ = std::move(report);
}

void ServerController::startListening() {
    listen(false);
}

void ServerController::listen(bool fallbackUsed) {
    if (ended_) return;
    stopListening();
    int port = anyPort_ ? 0 : portNumber(portText_).value_or(settings_.port);
    int error = s_.sockets.Listen(0, address_, port);
    if (error == 0) {
        anyPort_ = false;
        address_ = s_.sockets.LocalIP(0);
        portText_ = num(s_.sockets.LocalPort(0));
        s_.view.setAddress(address_);
        s_.view.setPort(portText_);
        s_.tray.modify(trayTip());
        addLog(u"Tessel 소켓 기동,0", 1);
        slots_[0] = 1;
        if (portReport_) portReport_(s_.sockets.LocalPort(0));
        return;
    }
    std::u16string where = address_ + u":" + num(port);
    // The number is the one the control reports; what it means goes beside it.
    std::u16string number = num(error);
    if (auto meaning = net::socketErrorText(error); !meaning.empty())
        number += u" (" + std::u16string(meaning) + u")";
    if (error == net::sckAddressNotAvailable && !fallbackUsed) {
        addLog(u"Tessel 소켓 기동 실패, " + where + u" Error Num = " + number, 1);
        loadConfig(u"clearLocalIP", true);
        return;
    }
    std::u16string message =
        u"[Listen] " + number + u", " + where + u" 에서 접속을 받을 수 없습니다.";
    std::fprintf(stderr, "%s\n", text::toUtf8(message).c_str());
    if (error == net::sckAddressNotAvailable) {
        s_.boxes.show(message, info_.productName, platform::ui::vbExclamation);
        end(3);
    } else {
        end(2);
    }
}

void ServerController::stopListening() {
    for (int index = 0; index <= 10; ++index) {
        if (!s_.sockets.exists(index)) continue;
        int st = s_.sockets.State(index);
        if (st == net::sckListening || st == net::sckConnected || st == net::sckClosing) {
            s_.sockets.Close(index);
            slots_[static_cast<std::size_t>(index)] = 0;
            addLog(u"Tessel 소켓 중지," + num(index), 1);
        }
        if (index > 0) {
            s_.sockets.Unload(index);
            slots_[static_cast<std::size_t>(index)] = 0;
        }
    }
    resetReceive();
}

void ServerController::resetReceive() {
    assembler_.clear();
    decoder_.reset();
    partialSince_.reset();
}

void ServerController::reloadButton() {
    address_.clear();
    portText_.clear();
    LoadConfig(u"");
}

void ServerController::setBoxes(const std::u16string& address, const std::u16string& port) {
    address_ = address;
    portText_ = port;
}

void ServerController::hideToTray() {
    s_.tray.add(trayTip());
    s_.view.hideWindow();
}

void ServerController::closeWindow() {
    s_.tray.modify(trayTip());
    s_.view.hideWindow();
}

void ServerController::trayClose() {
    if (ended_) return;
    stopListening();
    s_.tray.remove();
    ended_ = true;
    exitCode_ = 0;
    s_.program.quit(0);
}

void ServerController::timerTick() {
    s_.view.setListeningState(s_.sockets.State(0));
    const std::int64_t now = s_.clock.steadyMilliseconds();
    if (memoryKeptSince_ && !running_ && now - *memoryKeptSince_ >= kIdleMemoryGiveBack * 1000) {
        memoryKeptSince_.reset();
        if (giveBackMemory_) giveBackMemory_();
    }
    if (slots_[1] == 0) return;
    const auto limit = static_cast<std::int64_t>(settings_.incompleteFrameTimeout);
    if (partialSince_) {
        if (now - *partialSince_ >= limit * 1000) {
            addLog(u"1 [Connect Error] 프레임이 " + num(limit) +
                       u"초 안에 완성되지 않아 접속을 끊습니다.",
                   1);
            closeClient(1);
        }
        return;
    }
    // A silent client would hold the only slot; one whose run goes on is waiting for it.
    if (running_ && runConnection_ == connection_[1]) return;
    if (now - idleSince_ >= limit * 1000) {
        addLog(u"1 [Connect Error] " + num(limit) + u"초 동안 요청이 없어 접속을 끊습니다.", 1);
        closeClient(1);
    }
}

bool ServerController::saveLog() {
    std::u16string folder = text::Trim(settings_.logDir);
    if (folder.empty()) return false;
    return log_.save(std::filesystem::path(text::toUtf8(folder)), info_.programName);
}

void ServerController::clearLog() {
    log_.clear();
}

// ---- sockets ----

void ServerController::ConnectionRequest(int index, long requestID) {
    // A client that already closed its end holds the slot only until its close event comes
    // round; a client reconnecting at once must not be refused for that.
    // So is one that closed before its last request was read: it cannot read the reply.
    if (slots_[1] != 0 && (s_.sockets.State(1) != net::sckConnected || s_.sockets.PeerGone(1)))
        closeClient(1);
    if (slots_[1] != 0) {
        addLog(u"Client 접속초과, requestID = " + num(requestID), 1);
        return;
    }
    const int slot = 1;
    s_.sockets.Load(slot);
    if (s_.sockets.State(slot) != net::sckClosed) s_.sockets.Close(slot);
    if (s_.sockets.Accept(slot, requestID) != 0) {
        addLog(u"Client 접속 실패, requestID = " + num(requestID), 1);
        return;
    }
    slots_[slot] = 1;
    connection_[slot] = ++nextConnection_;
    resetReceive();
    idleSince_ = s_.clock.steadyMilliseconds();
    addLog(u"Client(" + num(slot) + u") 접속, requestID = " + num(requestID), 1);
}

bool ServerController::connectionAlive(const Requester& who) const {
    auto i = static_cast<std::size_t>(who.index);
    return !ended_ && who.index >= 1 && who.index <= 10 && slots_[i] != 0 &&
           connection_[i] == who.connection;
}

void ServerController::DataArrival(int index, long bytesTotal) {
    if (index < 1 || index > 10 || ended_) return;
    Requester who{index, connection_[static_cast<std::size_t>(index)], {}};
    std::string bytes = s_.sockets.GetData(index);
    if (bytes.empty()) return;
    std::u16string arrival = decoder_.decode(bytes);
    // A large arrival is cut in the log: only what the line keeps of it is copied.
    log_.AddLog(num(index) + u" << " + num(bytesTotal) + u",", arrival, 9);
    assembler_.arrive(arrival);
    takeFrames(who, bytesTotal);
}

void ServerController::takeFrames(Requester who, long bytesTotal) {
    while (connectionAlive(who)) {
        FrameAssembler::Result r = assembler_.next();
        if (r.status == FrameAssembler::Status::NeedMore) {
            // The time-out runs from the first byte of a frame until it is complete.
            if (assembler_.buffer().empty() && !decoder_.pending()) {
                partialSince_.reset();
                idleSince_ = s_.clock.steadyMilliseconds();
            } else if (!partialSince_) {
                partialSince_ = s_.clock.steadyMilliseconds();
            }
            return;
        }
        if (r.status == FrameAssembler::Status::BadHeader) {
            addLog(num(who.index) + u" [Connect Error] " + num(bytesTotal) + u"," + u"35", 1);
            closeClient(who.index);
            return;
        }
        if (r.status == FrameAssembler::Status::Oversize) {
            addLog(num(who.index) + u" [Connect Error] 프레임이 " + num(settings_.maxFrame) +
                       u"자를 넘습니다.",
                   1);
            closeClient(who.index);
            return;
        }
        partialSince_.reset();
        who.code = frameCode(r.frame);
        dispatch(who, std::move(r.frame));
    }
}

void ServerController::Close(int index) {
    closeClient(index);
}

void ServerController::Error(int index, int number, const std::u16string& description) {
    addLog(num(index) + u" ,Error Num = " + num(number) + u" / " + description + u",State=" +
               num(s_.sockets.State(index)),
           1);
    closeClient(index);
}

void ServerController::closeClient(int index) {
    if (index < 0 || index > 10) return;
    auto slot = static_cast<std::size_t>(index);
    addLog(u"Client(" + num(index) + u") 접속해제....[Start]", 3);
    if (index > 0) resetReceive();
    if (s_.sockets.State(index) == net::sckClosed) {
        if (index > 0 && s_.sockets.exists(index)) s_.sockets.Unload(index);
        slots_[slot] = 0;
        return;
    }
    s_.sockets.Close(index);
    if (index > 0) s_.sockets.Unload(index);
    slots_[slot] = 0;
    addLog(u"Client(" + num(index) + u") 접속해제....[Ok]", 1);
}

// ---- dispatch ----

std::u16string ServerController::failureText() const {
    return issue_.layoutStatus + u";" + (settings_.sendErrmsg ? issue_.errorMessage : u"");
}

void ServerController::dispatch(const Requester& who, std::u16string frame) {
    currentCode_ = who.code;
    memoryKeptSince_ = s_.clock.steadyMilliseconds();
    std::u16string code = text::UCase(who.code);
    if (running_ && (code == u"CE00" || code == u"CE02")) {
        // The run holds its texts until it ends; a new set-up or run waits for that.
        addLog(u"Client(" + num(who.index) + u") 발급 실행 중이라 " + code + u" 요청을 거부합니다.",
               1);
        FSendMsg(who, u"02", issue_.stateCode);
        return;
    }
    if (code == u"CE00") {
        if (settings_.initReload) loadHostConfig(false);
        issue_.pageImageList.clear();
        issue_.extraParams.clear();
        // The body is cut out where it lies and handed over, so the frame goes with it.
        frame.erase(0, frame.size() - frameBody(frame).size());
        auto outcome = requests_.FSetupIssue(std::move(frame), settings_);
        s_.view.setStatusText(issue_.statusLabel);
        if (outcome == IssueRequests::Outcome::Done)
            FSendMsg(who, u"00", issue_.stateCode);
        else
            FSendMsg(who, u"02", failureText());
        // The old page list and the set-up's JSON tree are gone: their memory goes back to the
        // system once more is free than an issue of ordinary size takes again, so the next
        // issue reuses the pages the last one left instead of faulting fresh ones in (the
        // pictures' storage is kept apart, and goes back when the server is idle).
        platform::system::releaseFreeMemory(kFreeMemoryReserve);
    } else if (code == u"CE01") {
        auto outcome = requests_.FAddPageData(frame, settings_.maxPageList);
        s_.view.setStatusText(issue_.statusLabel);
        if (outcome == IssueRequests::Outcome::PageListFull) {
            addLog(num(who.index) + u" [Connect Error] 페이지 목록이 " +
                       num(settings_.maxPageList) + u"자를 넘습니다.",
                   1);
            closeClient(who.index);
        } else if (outcome == IssueRequests::Outcome::Done) {
            FSendMsg(who, u"00", issue_.stateCode);
        } else {
            FSendMsg(who, u"02", failureText());
        }
    } else if (code == u"CE02") {
        issue_.printed = false;
        if (issue_.pageImageList.empty() || issue_.paramCipherText.empty()) {
            addLog(u"Client(" + num(who.index) +
                       u") 페이지 목록이나 설정이 비어 있어 발급을 실행하지 않습니다.",
                   1);
            FSendMsg(who, u"02", issue_.stateCode);
        } else if (!s_.viewer.available()) {
            addLog(
                u"Client(" + num(who.index) + u") 뷰어를 사용할 수 없어 발급을 실행하지 않습니다.",
                1);
            FSendMsg(who, u"02", issue_.stateCode);
        } else {
            FRunViewer(who);
        }
    } else if (code == u"CE09") {
        FSendMsg(who, issue_.stateCode, u"");
    } else if (code == u"CE30" || code == u"CE40") {
        s_.viewer.hide();
        FSendMsg(who, u"00", u"01");
    } else if (code == u"CE90") {
        LoadConfig(u"");
    } else if (code == u"CE91") {
        FSendMsg(who, u"00", s_.viewer.version());
    } else {
        FSendMsg(who, u"60", s_.viewer.version());
    }
}

void ServerController::FRunViewer(const Requester& who) {
    issue_.viewerError = false;
    issue_.viewerErrorText.clear();
    issue_.printed = false;

    struct Events : ViewerEvents {
        IssueState& issue;
        explicit Events(IssueState& i) : issue(i) {}
        void running() override { issue.stateCode = state::ViewerRunning; }
        void printResult(bool printed) override {
            issue.printed = printed;
            issue.stateCode = printed ? state::Printed : state::NotPrinted;
        }
        void errorMsg(const std::u16string&, const std::u16string& message) override {
            issue.stateCode = state::ViewerError;
            issue.errorMessage = message;
            issue.viewerError = true;
            issue.viewerErrorText = message;
        }
    } events(issue_);

    ViewerRun request{issue_.paramCipherText, issue_.pageImageList.text(), num(who.index),
                      settings_.hideWin,      settings_.windowState,       settings_.topWin};
    running_ = true;
    runConnection_ = who.connection;
    // Frames that came in the same read as this one wait in the buffer, and no arrival
    // announces them again while the run holds the loop: take them from within the run.
    s_.program.soon([this, who] {
        if (connectionAlive(who)) takeFrames(who, 0);
    });
    const bool ran = s_.viewer.run(std::move(request), events);
    running_ = false;
    // The wait for the next request starts when the run's reply goes out.
    idleSince_ = s_.clock.steadyMilliseconds();
    memoryKeptSince_ = idleSince_;
    if (!ran) {
        addLog(u"Client(" + num(who.index) + u") 사용할 수 있는 프린터가 없습니다.", 1);
        if (const std::u16string why = s_.viewer.whyNoPrinter(); !why.empty())
            addLog(u"Client(" + num(who.index) + u") 프린터 목록을 읽을 수 없습니다: " + why, 1);
    }

    if (issue_.viewerError)
        FSendMsg(who, u"02", issue_.errorMessage);
    else if (issue_.printed)
        FSendMsg(who, u"00", issue_.stateCode);
    else
        FSendMsg(who, u"02", issue_.stateCode);
}

void ServerController::FormServices::setStatusText(const std::u16string& text) {
    c_.issue_.statusLabel = text;
    c_.s_.view.setStatusText(text);
}

void ServerController::FormServices::sendToClient(int index, std::u16string_view result,
                                                  std::u16string_view text) {
    if (index < 1 || index > 10) return;
    c_.FSendMsg({index, c_.connection_[static_cast<std::size_t>(index)], c_.currentCode_}, result,
                text);
}

void ServerController::FSendMsg(const Requester& who, std::u16string_view result,
                                std::u16string_view message) {
    if (who.code.empty() || who.index < 1) return;
    std::u16string body = who.code + std::u16string(result) + std::u16string(message);
    if (!connectionAlive(who)) {
        addLog(num(who.index) + u" >> (접속 끊김, 보내지 않음) " + body, 3);
        return;
    }
    // Characters the code page cannot hold become "?" before the length is counted. A reply of
    // ASCII only (a code, a result and a state, as most are) is the same bytes in every ANSI
    // code page, and so is the header: those are copied as they are.
    const bool ascii = std::all_of(body.begin(), body.end(), [](char16_t c) { return c < 0x80; });
    std::vector<std::uint8_t> bodyBytes =
        ascii ? std::vector<std::uint8_t>(body.begin(), body.end()) : text::toAnsi(body);
    std::u16string sentBody = ascii ? body : text::fromAnsi(bodyBytes);
    std::u16string header = FMakeHeader(sentBody.size(), s_.clock.now());
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), bodyBytes.begin(), bodyBytes.end());
    s_.sockets.SendData(
        who.index, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    addLog(num(who.index) + u" >> " + header + sentBody, 9);
}

}  // namespace tessel::server
