// Test doubles for the server's logic: a fixed clock, a recording cipher, a socket array that
// the test drives by hand, and a view that records.
#pragma once

#include <functional>
#include <optional>

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/net/winsock.h"
#include "server/controller.h"

namespace tessel::server::testing {

class FixedClock : public Clock {
  public:
    FixedClock() {
        time.tm.tm_year = 2020 - 1900;
        time.tm.tm_mon = 2;
        time.tm.tm_mday = 2;
        time.tm.tm_hour = 9;
        time.tm.tm_min = 5;
        time.tm.tm_sec = 3;
        time.milliseconds = 7;
    }
    LocalTime now() const override { return time; }
    std::int64_t steadyMilliseconds() const override { return steady; }
    LocalTime time;
    std::int64_t steady = 0;
};

// Encrypts by wrapping the text, so tests can read back what was encrypted.
class FakeCipher : public ParamCipher {
  public:
    CipherResult encrypt(std::u16string plain, std::u16string_view charset) override {
        calls.push_back({std::u16string(plain), std::u16string(charset)});
        if (!failure.empty()) return {false, {}, failure};
        return {true, u"<" + std::u16string(plain) + u">", {}};
    }
    struct Call {
        std::u16string plain, charset;
    };
    std::vector<Call> calls;
    std::u16string failure;
};

class FakeSockets : public platform::net::SocketArray {
  public:
    struct Element {
        int state = platform::net::sckClosed;
        std::string incoming;
        std::string sent;
    };

    void setEvents(platform::net::SocketEvents* e) override { events = e; }
    bool Load(int index) override {
        if (elements.count(index)) return false;
        elements[index] = {};
        return true;
    }
    void Unload(int index) override { elements.erase(index); }
    bool exists(int index) const override { return index == 0 || elements.count(index); }
    int Listen(int index, const std::u16string& ip, int port) override {
        listenCalls.push_back({ip, port});
        if (!listenErrors.empty()) {
            int e = listenErrors.front();
            listenErrors.pop_front();
            if (e) return e;
        }
        elements[0].state = platform::net::sckListening;
        boundIp = ip;
        boundPort = port ? port : systemPort;
        return 0;
    }
    int Accept(int index, long) override {
        elements[index].state = platform::net::sckConnected;
        return 0;
    }
    void Close(int index) override {
        auto it = elements.find(index);
        if (it != elements.end()) {
            if (index > 0) closedSent.push_back(std::exchange(it->second.sent, {}));
            it->second.state = platform::net::sckClosed;
        }
    }
    int State(int index) const override {
        auto it = elements.find(index);
        return it == elements.end() ? platform::net::sckClosed : it->second.state;
    }
    std::string GetData(int index) override {
        auto& e = elements[index];
        std::string data;
        data.swap(e.incoming);
        return data;
    }
    int SendData(int index, std::string_view bytes) override {
        elements[index].sent.append(bytes);
        return 0;
    }
    std::u16string LocalIP(int) const override { return boundIp; }
    int LocalPort(int) const override { return boundPort; }
    std::u16string RemoteHostIP(int) const override { return u"127.0.0.1"; }

    // Test side.
    void connect(long requestId = 1) { events->ConnectionRequest(0, requestId); }
    void receive(int index, const std::string& bytes) {
        elements[index].incoming += bytes;
        events->DataArrival(index, static_cast<long>(bytes.size()));
    }
    std::string takeSent(int index) {
        std::string s;
        auto it = elements.find(index);
        if (it != elements.end())
            s.swap(it->second.sent);
        else if (!closedSent.empty())
            s = closedSent.back();
        return s;
    }

    platform::net::SocketEvents* events = nullptr;
    std::map<int, Element> elements{{0, Element{}}};
    std::deque<int> listenErrors;
    struct ListenCall {
        std::u16string ip;
        int port;
    };
    std::vector<ListenCall> listenCalls;
    std::vector<std::string> closedSent;
    std::u16string boundIp;
    int boundPort = 0;
    int systemPort = 49152;  // what listening on port 0 gets
};

class FakeView : public MainView {
  public:
    void setCaption(const std::u16string& c) override { caption = c; }
    void setAddress(const std::u16string& a) override { address = a; }
    void setPort(const std::u16string& p) override { port = p; }
    void setStatusText(const std::u16string& t) override { status = t; }
    void setListeningState(int s) override { listening = s; }
    void showWindow() override { visible = true; }
    void hideWindow() override { visible = false; }
    std::u16string caption, address, port, status;
    int listening = -1;
    bool visible = false;
};

class FakeProgram : public ProgramHost {
  public:
    void quit(int code) override { exitCodes.push_back(code); }
    void soon(std::function<void()> task) override { tasks.push_back(std::move(task)); }
    // One turn of the event loop: runs the tasks waiting now.
    void turn() {
        auto now = std::move(tasks);
        tasks.clear();
        for (auto& task : now) task();
    }
    std::vector<int> exitCodes;
    std::vector<std::function<void()>> tasks;
};

// A viewer whose runs follow a script: whether a printer is available, the ErrorMsg text it
// raises (none when empty), what PrintResult says (nothing when empty), and what happens while
// the run holds the event loop: before the viewer has a printer, and once it has one.
class FakeViewer : public ViewerHost {
  public:
    bool available() const override { return installed; }
    std::u16string version() override { return u"1.0.0.6"; }
    void hide() override { ++hidden; }
    bool run(ViewerRun request, ViewerEvents& events) override {
        runs.push_back(request);
        if (beforePrinter) beforePrinter();
        if (!printer) return false;
        events.running();
        if (duringRun) duringRun();
        if (error) events.errorMsg(u"E01", *error);
        if (result) events.printResult(*result);
        return true;
    }
    int hidden = 0;
    bool installed = false;
    bool printer = true;
    std::optional<bool> result = true;
    std::optional<std::u16string> error;
    std::function<void()> beforePrinter;
    std::function<void()> duringRun;
    std::vector<ViewerRun> runs;
};

}  // namespace tessel::server::testing
