// The real TesselServer for the loopback benchmarks: started in a temporary machine folder on a
// loopback port the system picks, with the chosen COM servers registered, and ended with its
// owner. A fatal signal of the benchmark program ends the servers it started as well, so a
// failing run leaves none behind.
#pragma once

#include <signal.h>

#include <atomic>
#include <initializer_list>
#include <memory>
#include <string>

#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "server/tests/server_process.h"

namespace tessel::bench {

namespace st = tessel::server::testing;

namespace detail {

inline constexpr int kMaxServers = 8;
inline std::atomic<pid_t> liveServers[kMaxServers];

inline void endServersAndDie(int signal) {
    for (auto& pid : liveServers)
        if (pid_t p = pid.load(); p > 0) ::kill(-p, SIGKILL);
    ::raise(signal);  // the handler was reset: the program ends as the signal says
}

inline void endServersOnFatalSignals() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = endServersAndDie;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
            sigaction(s, &action, nullptr);
        return true;
    }();
    (void)installed;
}

}  // namespace detail

class RunningServer {
  public:
    explicit RunningServer(std::initializer_list<const char*> libraries = {"libCiphra.so"}) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        detail::endServersOnFatalSignals();
        const auto bin = platform::testing::binFolder();
        for (const char* library : libraries)
            registered_ =
                platform::testing::runProgram((bin / "regsvr").string(), {(bin / library).string()})
                        .exitCode == 0 &&
                registered_;
        server_ = std::make_unique<st::ServerProcess>(
            machine_.path(), "[SYSTEM]\r\nLocalIP=127.0.0.1\r\n", st::StartPort::AnyFree);
        for (auto& slot : detail::liveServers) {
            pid_t empty = 0;
            if (slot.compare_exchange_strong(empty, server_->pid())) break;
        }
        port_ = server_->port();
        ready_ = registered_ && port_ > 0 && server_->waitListening(port_);
    }
    ~RunningServer() {
        for (auto& slot : detail::liveServers) {
            pid_t mine = server_->pid();
            if (slot.compare_exchange_strong(mine, 0)) break;
        }
        server_.reset();
    }
    RunningServer(const RunningServer&) = delete;
    RunningServer& operator=(const RunningServer&) = delete;

    bool ready() const { return ready_; }
    int port() const { return port_; }
    pid_t pid() const { return server_->pid(); }
    const std::filesystem::path& machine() const { return machine_.path(); }
    std::string errors() const {
        return registered_ ? server_->errors() : "a library could not be registered";
    }

  private:
    platform::testing::TempMachine machine_;
    int port_ = 0;
    bool registered_ = true;
    std::unique_ptr<st::ServerProcess> server_;
    bool ready_ = false;
};

// A request as the bytes on the wire.
inline std::string wire(std::u16string_view frame) {
    auto bytes = platform::text::toAnsi(frame);
    return {bytes.begin(), bytes.end()};
}

// Why an awaited reply did not come: the server closed the connection (it refused or dropped
// the client), or nothing came within the client's time-out.
inline std::string noReply(st::Client& client) {
    return client.closedByServer() ? "the server closed the connection"
                                   : "nothing came within the time-out";
}

}  // namespace tessel::bench
