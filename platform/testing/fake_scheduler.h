// Test support: a print scheduler on loopback that misbehaves the way a broken or hung CUPS
// server does, for the code that must not wait on one forever nor take its failure for an
// answer. Point CUPS_SERVER at server() for the life of the object (it puts the old value
// back).
//   Silent   accepts every connection and reads, but never answers
//   Close    closes every connection as soon as it is accepted
//   Garbage  answers every request with bytes that are not HTTP
//   Scripted answers the requests in turn with the IPP answers script() builds, then closes
#pragma once

#include <cups/cups.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
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
    enum class Mode { Silent, Close, Garbage, Scripted };
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
        }
    }

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
            if (::write(c, all.data(), all.size()) != ssize_t(all.size())) return;
        }
    }

    static ssize_t append(void* to, ipp_uchar_t* data, size_t size) {
        static_cast<std::string*>(to)->append(reinterpret_cast<const char*>(data), size);
        return ssize_t(size);
    }

    Mode mode_;
    Script script_;
    std::vector<int> held_;
    std::atomic<int> connections_{0}, requests_{0};
    // Its thread serves with the members above.
    LoopbackServer server_{[this](int c) { accepted(c); }};
    ScopedVariable cupsServer_;
};

}  // namespace platform::testing
