// A blocking TCP client for tests that talk to a listening socket of ours over IPv4.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <thread>

namespace platform::testing {

inline constexpr std::uint32_t kLoopback = INADDR_LOOPBACK;

// Connects at construction and closes at destruction. Receiving waits at most the time-out
// (5 seconds unless changed); each send goes out at once as its own segment, so a test can
// split what it sends.
class LoopbackClient {
  public:
    explicit LoopbackClient(int port, std::uint32_t address = kLoopback) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        setTimeout(5);
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(address);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~LoopbackClient() { closeNow(); }
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }
    // How long receive() and closedByPeer() wait.
    void setTimeout(int seconds) {
        timeval tv{seconds, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    // Sends all of the bytes, unless the connection fails first.
    void send(std::string_view bytes) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return;
            at += static_cast<std::size_t>(n);
        }
    }
    // What arrives next, at most `size` bytes: the count, 0 when the peer closed, -1 on
    // time-out or error. With `flags` MSG_DONTWAIT it does not wait.
    ssize_t receive(char* buffer, std::size_t size, int flags = 0) {
        return ::recv(fd_, buffer, size, flags);
    }
    // True when the peer closes the connection within the time-out; what comes before is
    // dropped.
    bool closedByPeer() {
        char buf[256];
        for (;;) {
            ssize_t n = receive(buf, sizeof buf);
            if (n == 0) return true;
            if (n < 0) return false;
        }
    }
    // Closes this end now, before the client goes.
    void closeNow() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

// A loopback port the test holds bound (and listening, when asked) until it goes, so that no
// other program takes it meanwhile: one to point a server at while it is taken, one where
// nothing answers, or the listening socket of a server the test runs itself.
class HeldPort {
  public:
    explicit HeldPort(bool listening) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(kLoopback);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            (!listening || ::listen(fd_, 8) == 0) &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~HeldPort() { ::close(fd_); }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    int port() const { return port_; }  // 0 when none could be had
    int fd() const { return fd_; }      // for a test server that accepts on it

  private:
    int fd_ = -1;
    int port_ = 0;
};

// A listening loopback port served by a thread of its own: each connection it accepts goes to
// `serve`, which owns the descriptor (closes it or keeps it open). stopFd() turns readable once
// the server stops, so a `serve` that waits polls it beside its connection. The holder calls
// stop() first in its destructor when `serve` uses members of its own.
class LoopbackServer {
  public:
    explicit LoopbackServer(std::function<void(int fd)> serve) : serve_(std::move(serve)) {
        if (socket_.port() == 0 || ::pipe2(stop_, O_CLOEXEC) != 0) std::abort();
        thread_ = std::thread([this] { run(); });
    }
    ~LoopbackServer() {
        stop();
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return socket_.port(); }
    int stopFd() const { return stop_[0]; }

    // Ends the serving thread, waiting for a `serve` under way to see stopFd(); idempotent.
    void stop() {
        if (!thread_.joinable()) return;
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
    }

  private:
    void run() {
        for (;;) {
            pollfd fds[2] = {{socket_.fd(), POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents) return;
            const int c = ::accept4(socket_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) serve_(c);
        }
    }

    HeldPort socket_{true};
    int stop_[2] = {-1, -1};
    std::function<void(int fd)> serve_;
    std::thread thread_;
};

}  // namespace platform::testing
