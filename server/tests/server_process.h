// Integration test support: runs the real TesselServer in the test's machine folder with its
// own INI, and talks to it over loopback TCP like a client program.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "lib/frame/frame.h"
#include "platform/process/process.h"
#include "platform/testing/loopback_client.h"
#include "platform/testing/request_frame.h"
#include "platform/testing/temp_machine.h"
#include "platform/testing/wait.h"
#include "platform/text/text.h"

namespace tessel::server::testing {

using platform::testing::HeldPort;
using platform::testing::kLoopback;
using platform::testing::waitFor;

namespace detail {
inline bool bindable(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}
}  // namespace detail

// A port that was free a moment ago. It is taken below the range the system hands out to
// outgoing connections, so a client of another test running alongside cannot take it before
// the server binds it.
inline int freePort() {
    constexpr int kFirst = 10000;
    int ephemeralLow = 32768;
    {
        std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
        int low = 0, high = 0;
        if (range >> low >> high && low > 0) ephemeralLow = low;
    }
    if (ephemeralLow > kFirst + 1000) {
        std::random_device device;
        const auto span = static_cast<unsigned>(ephemeralLow - kFirst);
        for (int attempt = 0; attempt < 100; ++attempt) {
            int port = kFirst + static_cast<int>(device() % span);
            if (detail::bindable(port)) return port;
        }
    }
    return platform::testing::HeldPort(false).port();
}

// True when something listens on the IPv4 address (host byte order) and port.
inline bool listening(std::uint32_t address, int port) {
    std::ifstream in("/proc/net/tcp");
    std::string line;
    char want[32];
    std::snprintf(want, sizeof want, "%08X:%04X", htonl(address), port);
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == want && state == "0A") return true;
    }
    return false;
}

// Where the server's listening port comes from: the INI's PORT, or a free port the system picks
// when the server starts (the server writes it into a port file in the folder).
enum class StartPort { Configured, AnyFree };

class ServerProcess {
  public:
    // With `fileSizeLimit` the server runs under that limit of the size of the files it
    // writes (RLIMIT_FSIZE, started with every signal at its default action, as from a shell):
    // the server ignores SIGXFSZ, so a write past the limit fails with EFBIG as on a full disk.
    // Its output then reaches the log file through a pipe, which the limit spares.
    ServerProcess(const std::filesystem::path& folder, const std::string& ini,
                  StartPort start = StartPort::Configured,
                  std::optional<unsigned long long> fileSizeLimit = std::nullopt)
        : iniPath_(folder / "server.ini"),
          logPath_(folder / "server.err"),
          portPath_(folder / "server.port") {
        if (!ini.empty()) std::ofstream(iniPath_, std::ios::binary) << ini;
        std::error_code ec;
        std::filesystem::remove(portPath_, ec);  // an earlier server's
        platform::process::SpawnOptions options;
        options.argv = {(platform::testing::binFolder() / "TesselServer").string(), "--ini",
                        iniPath_.string()};
        if (start == StartPort::AnyFree)
            options.argv.insert(options.argv.end(), {"--port-file", portPath_.string()});
        if (fileSizeLimit)
            options.argv.insert(options.argv.begin(),
                                {"/bin/sh", "-c",
                                 "prlimit --fsize=" + std::to_string(*fileSizeLimit) +
                                     " -- \"$0\" \"$@\" 2>&1 | cat"});
        // The program's output and errors go to one file the test can read.
        const int log = ::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        options.stdoutFd = log;
        options.stderrFd = log;
        platform::process::spawn(options, child_);
        if (log >= 0) ::close(log);
    }

    // The port the server last started listening on, from its port file once it is written
    // (started with StartPort::AnyFree); 0 when the program ended first or the time ran out.
    int port() {
        int port = 0;
        waitFor([&] {
            std::ifstream in(portPath_);
            return (in >> port && port > 0) || !running();
        });
        return port;
    }
    bool waitListening(int port, std::uint32_t address = kLoopback) {
        return waitFor([&] { return listening(address, port) || !running(); }) &&
               listening(address, port);
    }
    bool running() {
        if (exitCode_) return false;
        if (auto status = child_.exited()) {
            exitCode_ = WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
            return false;
        }
        return child_.running();
    }
    // The exit code once the program ended on its own (nullopt while it runs on).
    std::optional<int> waitExit(int milliseconds = 15000) {
        waitFor([&] { return !running(); }, std::chrono::milliseconds(milliseconds));
        return exitCode_;
    }
    std::string errors() const {
        std::ifstream in(logPath_);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // True once standard error holds a log line "YYYY-MM-DD HH:MM:SS <text>...", the text at
    // its start (the server writes its log there when its event loop next waits).
    bool waitLogLine(const std::string& text) {
        return waitFor([&] { return hasLogLine(errors(), text); });
    }
    static bool hasLogLine(const std::string& errors, const std::string& text) {
        std::istringstream lines(errors);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.size() < 20 + text.size() || line.compare(20, text.size(), text) != 0)
                continue;
            // "2026-12-10 13:40:00 ": digits, with the separators in their places.
            const std::string pattern = "dddd-dd-dd dd:dd:dd ";
            bool stamped = true;
            for (std::size_t i = 0; i < pattern.size() && stamped; ++i)
                stamped = pattern[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                            : line[i] == pattern[i];
            if (stamped) return true;
        }
        return false;
    }
    const std::filesystem::path& iniPath() const { return iniPath_; }
    pid_t pid() const { return child_.pid(); }

  private:
    std::filesystem::path iniPath_;
    std::filesystem::path logPath_;
    std::filesystem::path portPath_;
    platform::process::Child child_;  // killed and reaped when the test ends
    std::optional<int> exitCode_;
};

// A client program's side of the wire: frames sent as text, replies read whole.
class Client : public platform::testing::LoopbackClient {
  public:
    using LoopbackClient::LoopbackClient;

    void sendText(std::u16string_view text) {
        auto b = platform::text::toAnsi(text);
        send(std::string(b.begin(), b.end()));
    }
    // One reply, as text; nullopt on time-out, when the server closed the connection or when
    // what came is not a reply.
    std::optional<std::u16string> reply() {
        for (;;) {
            std::u16string frame;
            const auto status = stream_.next(frame);
            if (status == ReplyStream::Status::Reply) return frame;
            if (status == ReplyStream::Status::NotAReply) return std::nullopt;
            char buf[65536];
            ssize_t n = receive(buf, sizeof buf);
            if (n <= 0) return std::nullopt;
            stream_.arrive(std::string_view(buf, static_cast<std::size_t>(n)));
        }
    }
    // True when the server closes the connection within the time-out.
    bool closedByServer() { return closedByPeer(); }

  private:
    ReplyStream stream_;
};

inline std::u16string request(std::u16string_view code, std::u16string_view body = u"") {
    return platform::testing::requestFrame(code, body);
}

}  // namespace tessel::server::testing
