// Test support: a small HTTP server on a free loopback port, in a thread. It records every
// request exactly as it came (request line, header lines in order, body bytes) and answers
// each with the reply the test set, then closes the connection.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/http/http.h"
#include "platform/testing/loopback_client.h"

namespace platform::testing {

// Lowers the HTTP client's ceiling for the life of a test and puts the old one back.
class LoweredHttpLimits {
  public:
    explicit LoweredHttpLimits(http::Limits limits) : old_(http::replyLimits()) {
        http::setReplyLimits(limits);
    }
    ~LoweredHttpLimits() { http::setReplyLimits(old_); }
    LoweredHttpLimits(const LoweredHttpLimits&) = delete;
    LoweredHttpLimits& operator=(const LoweredHttpLimits&) = delete;

  private:
    http::Limits old_;
};

struct RecordedRequest {
    std::string requestLine;
    std::vector<std::string> headerLines;  // without their CR LF
    std::string body;
};

class HttpServer {
  public:
    HttpServer() = default;
    ~HttpServer() { server_.stop(); }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    std::uint16_t port() const { return static_cast<std::uint16_t>(server_.port()); }
    std::string url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(port()) + path;
    }

    // The whole reply, bytes as they go on the wire.
    void setRawReply(std::string reply) {
        std::lock_guard lock(mutex_);
        reply_ = std::move(reply);
    }
    // A reply with this status line and body, its length given and the connection closed.
    void setReply(const std::string& body, const std::string& status = "200 OK") {
        setRawReply("HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    }

    // After the reply, one more byte of body every `pause` for as long as the client reads
    // (a reply without a length, which ends when the connection does): a server that never stops
    // sending and never finishes.
    void setTrickle(int pauseMs) {
        std::lock_guard lock(mutex_);
        tricklePauseMs_ = pauseMs;
    }

    std::vector<RecordedRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    void accepted(int client) {
        answer(client);
        ::close(client);
    }

    // Reads until the head is complete and then as many body bytes as Content-Length says.
    void answer(int client) {
        std::string data;
        std::size_t headEnd = std::string::npos;
        std::size_t bodyLength = 0;
        char buffer[4096];
        for (;;) {
            if (headEnd != std::string::npos && data.size() >= headEnd + 4 + bodyLength) break;
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            data.append(buffer, static_cast<std::size_t>(got));
            if (headEnd == std::string::npos) {
                headEnd = data.find("\r\n\r\n");
                if (headEnd != std::string::npos)
                    bodyLength = contentLength(data.substr(0, headEnd));
            }
        }
        RecordedRequest request;
        std::size_t start = 0;
        bool first = true;
        while (start < headEnd) {
            std::size_t end = data.find("\r\n", start);
            if (end > headEnd) end = headEnd;
            (first ? request.requestLine : request.headerLines.emplace_back()) =
                data.substr(start, end - start);
            first = false;
            start = end + 2;
        }
        request.body = data.substr(headEnd + 4, bodyLength);
        std::string reply;
        int pauseMs = 0;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(std::move(request));
            reply = reply_;
            pauseMs = tricklePauseMs_;
        }
        for (std::size_t sent = 0; sent < reply.size();) {
            const ssize_t n =
                ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
        // Paced by waiting on the stop pipe, so the server's end also ends the trickle; a
        // client that hangs up ends it at the next byte.
        for (pollfd stop{server_.stopFd(), POLLIN, 0};
             pauseMs > 0 && ::poll(&stop, 1, pauseMs) == 0;)
            if (::send(client, "t", 1, MSG_NOSIGNAL) != 1) return;
        ::shutdown(client, SHUT_WR);
        while (::recv(client, buffer, sizeof buffer, 0) > 0) {
        }
    }

    static std::size_t contentLength(const std::string& head) {
        std::size_t at = 0;
        while ((at = head.find("\r\n", at)) != std::string::npos) {
            at += 2;
            const std::string name = "content-length:";
            bool match = head.size() >= at + name.size();
            for (std::size_t i = 0; match && i < name.size(); ++i)
                match = std::tolower(static_cast<unsigned char>(head[at + i])) == name[i];
            if (match) return std::strtoul(head.c_str() + at + name.size(), nullptr, 10);
        }
        return 0;
    }

    mutable std::mutex mutex_;
    std::string reply_ = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    std::vector<RecordedRequest> requests_;
    int tricklePauseMs_ = 0;
    // Last: its thread serves with the members above.
    LoopbackServer server_{[this](int c) { accepted(c); }};
};

// A loopback port whose connections complete (the kernel accepts them into its queue) but
// never get an answer: a client waiting on it runs into its time-out.
class SilentServer {
  public:
    SilentServer() {
        if (listener_.port() == 0) std::abort();
    }

    std::string url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(listener_.port()) + path;
    }

  private:
    HeldPort listener_{true};
};

}  // namespace platform::testing
