// Test support: a print scheduler on loopback that misbehaves the way a broken or hung CUPS
// server does, for the code that must not wait on one forever nor take its failure for an
// answer. Point CUPS_SERVER at server() for the life of the object (it puts the old value
// back).
//   Silent   accepts every connection and reads, but never answers
//   Close    closes every connection as soon as it is accepted
//   Garbage  answers every request with bytes that are not HTTP
//   Scripted answers the requests in turn with the IPP answers script() builds, then closes
//   Trickle  reads a request, sends an HTTP status line, then one byte of a header every
//            50 ms, never ending it, until the client goes
// SchedulerProxy stands in front of a real scheduler on loopback and passes every connection
// through until told to misbehave (Quiet: take connections and never answer; Trickle as above),
// from a moment the test chooses (a file that appears, such as the dialog script's ".done").
#pragma once

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/environment.h"
#include "platform/testing/loopback_client.h"

namespace platform::testing {

class FakeScheduler {
  public:
    enum class Mode { Silent, Close, Garbage, Scripted, Trickle };
    // Builds the answer to request number `n` (0-based) of operation `op`; null: close instead.
    using Script = std::function<ipp_t*(int n, ipp_op_t op, int requestId)>;

    explicit FakeScheduler(Mode mode, Script script = {})
        : mode_(mode), script_(std::move(script)), cupsServer_("CUPS_SERVER", server()) {}
    ~FakeScheduler() {
        server_.stop();
        for (int fd : held_) ::close(fd);
    }
    FakeScheduler(const FakeScheduler&) = delete;
    FakeScheduler& operator=(const FakeScheduler&) = delete;

    std::string server() const { return "127.0.0.1:" + std::to_string(server_.port()); }
    // Scripted answers are sent in two pieces with this pause between (a slow but healthy
    // scheduler); set before the first request.
    void pauseMidway(std::chrono::milliseconds pause) { pause_ = pause; }
    int connections() const { return connections_; }
    int requests() const { return requests_; }

    // An answer with the status and, for a listing, one printer group per name.
    static ipp_t* answer(int requestId, ipp_status_t status,
                         const std::vector<std::string>& printers = {}) {
        ipp_t* a = ippNew();
        ippSetVersion(a, 2, 0);
        ippSetStatusCode(a, status);
        ippSetRequestId(a, requestId);
        ippAddString(a, IPP_TAG_OPERATION, IPP_TAG_CHARSET, "attributes-charset", nullptr, "utf-8");
        ippAddString(a, IPP_TAG_OPERATION, IPP_TAG_LANGUAGE, "attributes-natural-language", nullptr,
                     "en");
        for (const auto& name : printers) {
            ippAddSeparator(a);
            ippAddString(a, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, name.c_str());
            ippAddString(a, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
                         "socket://192.0.2.1");
            ippAddInteger(a, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
            ippAddString(a, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-state-reasons", nullptr,
                         "none");
            ippAddBoolean(a, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
            ippAddInteger(a, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-type", 0);
        }
        return a;
    }

  private:
    void accepted(int c) {
        ++connections_;
        switch (mode_) {
            case Mode::Silent:
                held_.push_back(c);  // open and unanswered until the end
                break;
            case Mode::Close:
                ::close(c);
                break;
            case Mode::Garbage:
            case Mode::Scripted:
                serve(c);
                ::close(c);
                break;
            case Mode::Trickle: {
                std::string body;
                if (readRequest(c, body)) trickle(c, server_.stopFd());
                ::close(c);
                break;
            }
        }
    }

  public:
    // The status line, then one byte every 50 ms, until the peer or the test is gone.
    static void trickle(int c, int stopFd) {
        const char status[] = "HTTP/1.1 200 OK\r\nX-Trickle: ";
        if (::write(c, status, sizeof status - 1) < 0) return;
        for (;;) {
            pollfd fds[2] = {{c, POLLIN, 0}, {stopFd, POLLIN, 0}};
            const int n = ::poll(fds, 2, 50);
            if (n < 0 || fds[1].revents) return;
            if (fds[0].revents) {
                char buf[512];
                if (::read(c, buf, sizeof buf) <= 0) return;  // the client went
            }
            if (::send(c, "a", 1, MSG_NOSIGNAL) != 1) return;
        }
    }

  private:
    // Reads one HTTP request with its body; false when the peer or the test is gone.
    bool readRequest(int c, std::string& body) {
        std::string in;
        std::size_t headerEnd = std::string::npos;
        std::size_t length = 0;
        for (;;) {
            if (headerEnd == std::string::npos) {
                headerEnd = in.find("\r\n\r\n");
                if (headerEnd != std::string::npos) {
                    std::string head = in.substr(0, headerEnd);
                    for (auto& ch : head) ch = char(std::tolower(static_cast<unsigned char>(ch)));
                    const auto at = head.find("content-length:");
                    if (at != std::string::npos)
                        length = std::strtoul(head.c_str() + at + 15, nullptr, 10);
                    if (head.find("expect: 100-continue") != std::string::npos) {
                        const char go[] = "HTTP/1.1 100 Continue\r\n\r\n";
                        (void)!::write(c, go, sizeof go - 1);
                    }
                }
            }
            if (headerEnd != std::string::npos && in.size() >= headerEnd + 4 + length) {
                body = in.substr(headerEnd + 4, length);
                return true;
            }
            pollfd fds[2] = {{c, POLLIN, 0}, {server_.stopFd(), POLLIN, 0}};
            if (::poll(fds, 2, 10000) <= 0 || fds[1].revents) return false;
            char buf[8192];
            const ssize_t n = ::read(c, buf, sizeof buf);
            if (n <= 0) return false;
            in.append(buf, std::size_t(n));
        }
    }

    void serve(int c) {
        for (std::string body; readRequest(c, body);) {
            const int n = requests_++;
            if (mode_ == Mode::Garbage) {
                const char junk[] = "\x01\x02 not a scheduler \xff\xfe\r\n\r\n";
                (void)!::write(c, junk, sizeof junk - 1);
                return;
            }
            // The request's operation and id.
            ipp_op_t op = IPP_OP_CUPS_NONE;
            int requestId = 1;
            if (body.size() >= 8) {
                op = ipp_op_t((std::uint8_t(body[2]) << 8) | std::uint8_t(body[3]));
                requestId = (std::uint8_t(body[4]) << 24) | (std::uint8_t(body[5]) << 16) |
                            (std::uint8_t(body[6]) << 8) | std::uint8_t(body[7]);
            }
            ipp_t* a = script_ ? script_(n, op, requestId) : nullptr;
            if (!a) return;
            std::string bytes;
            ippWriteIO(&bytes, append, 1, nullptr, a);
            ippDelete(a);
            const std::string head =
                "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n"
                "Content-Length: " +
                std::to_string(bytes.size()) + "\r\n\r\n";
            const std::string all = head + bytes;
            const std::size_t first =
                pause_.count() > 0 ? head.size() + bytes.size() / 2 : all.size();
            if (::write(c, all.data(), first) != ssize_t(first)) return;
            if (first < all.size()) {
                std::this_thread::sleep_for(pause_);
                const std::size_t rest = all.size() - first;
                if (::write(c, all.data() + first, rest) != ssize_t(rest)) return;
            }
        }
    }

    static ssize_t append(void* to, ipp_uchar_t* data, size_t size) {
        static_cast<std::string*>(to)->append(reinterpret_cast<const char*>(data), size);
        return ssize_t(size);
    }

    Mode mode_;
    Script script_;
    std::chrono::milliseconds pause_{0};
    std::vector<int> held_;
    std::atomic<int> connections_{0}, requests_{0};
    // Its thread serves with the members above.
    LoopbackServer server_{[this](int c) { accepted(c); }};
    ScopedVariable cupsServer_;
};

// A loopback proxy in front of a scheduler at 127.0.0.1:`upstream`. CUPS_SERVER names the proxy
// for the life of the object. Connections pass through (one at a time, as the code under test
// makes them) until `when` answers true at a new connection; from then on the proxy behaves as
// `mode` says.
class SchedulerProxy {
  public:
    enum class Mode { Quiet, Trickle };
    SchedulerProxy(int upstream, Mode mode, std::function<bool()> when)
        : upstream_(upstream),
          mode_(mode),
          when_(std::move(when)),
          cupsServer_("CUPS_SERVER", "127.0.0.1:" + std::to_string(server_.port())) {}
    ~SchedulerProxy() {
        server_.stop();
        for (int fd : held_) ::close(fd);
    }
    SchedulerProxy(const SchedulerProxy&) = delete;
    SchedulerProxy& operator=(const SchedulerProxy&) = delete;

    // Connections passed through, and taken once the proxy misbehaved.
    int passed() const { return passed_; }
    int refused() const { return refused_; }

  private:
    void accepted(int c) {
        if (misbehaving_ || (when_ && when_())) {
            misbehaving_ = true;
            ++refused_;
            if (mode_ == Mode::Quiet) {
                held_.push_back(c);
                return;
            }
            // Trickle: take the request's first bytes, then answer a byte at a time.
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 5000) > 0) {
                char buf[8192];
                (void)!::read(c, buf, sizeof buf);
            }
            FakeScheduler::trickle(c, server_.stopFd());
            ::close(c);
            return;
        }
        ++passed_;
        pass(c);
        ::close(c);
    }

    // Copies bytes both ways until either side closes.
    void pass(int c) {
        const int u = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(std::uint16_t(upstream_));
        if (::connect(u, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(u);
            return;
        }
        char buf[65536];
        for (;;) {
            pollfd fds[3] = {{c, POLLIN, 0}, {u, POLLIN, 0}, {server_.stopFd(), POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0) continue;
            if (fds[2].revents) break;
            bool done = false;
            for (int i = 0; i < 2 && !done; ++i) {
                if (!fds[i].revents) continue;
                const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
                if (n <= 0) {
                    done = true;
                    break;
                }
                const int to = i == 0 ? u : c;
                for (ssize_t at = 0; at < n;) {
                    const ssize_t w = ::send(to, buf + at, std::size_t(n - at), MSG_NOSIGNAL);
                    if (w <= 0) {
                        done = true;
                        break;
                    }
                    at += w;
                }
            }
            if (done) break;
        }
        ::close(u);
    }

    int upstream_;
    Mode mode_;
    std::function<bool()> when_;
    bool misbehaving_ = false;
    std::vector<int> held_;
    std::atomic<int> passed_{0}, refused_{0};
    LoopbackServer server_{[this](int c) { accepted(c); }};
    ScopedVariable cupsServer_;
};

}  // namespace platform::testing
