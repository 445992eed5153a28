// tessel-client [--host ADDRESS] [--port PORT] [--timeout SECONDS] [--frames] COMMAND...
// The client program of the issuing server: connects once, sends the commands in order and
// prints each reply as "CODE RESULT TEXT" (with --frames: the whole reply frame).
//
// Commands:
//   setup FILE.json         set-up request (CE00) with the JSON file as its body
//   page FILE               page request (CE01): the image file as a hexadecimal page text
//   page64 FILE             the same with a Base64 page text
//   run                     run request (CE02)
//   poll                    state poll (CE09)
//   version                 version (CE91)
//   hide                    hide the viewer (CE30)
//   reload                  reload the configuration (CE90); the server sends no reply and
//                           drops the connection, so it ends the command list
//   raw CODE [--body BODY]  any command code with an optional body
//   frame TEXT              TEXT sent as it is, for testing the server's checks
// Exit code: 0 when every command got its reply, 1 on a connection error or time-out, 2 for a
// usage error.
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/system/givenfile.h"
#include "platform/text/text.h"
#include "server/clock.h"
#include "server/frame.h"

namespace text = platform::text;
namespace server = tessel::server;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: tessel-client [--host ADDRESS] [--port PORT] [--timeout SECONDS] "
                 "[--frames] COMMAND...\n"
                 "commands: setup FILE.json | page FILE | page64 FILE | run | poll | version |\n"
                 "          hide | reload | raw CODE [--body BODY] | frame TEXT\n");
    return 2;
}

// A set-up or page file: a regular file of at most 64 MiB (a page's size), never a pipe or a
// device; otherwise nullopt, with the cause told.
std::optional<std::string> readFile(const std::string& path) {
    std::string bytes;
    platform::system::GivenFileError failure;
    if (platform::system::readGivenFile(path, std::size_t(64) << 20, bytes, failure)) return bytes;
    std::fprintf(stderr, "tessel-client: %s\n", failure.why.c_str());
    return std::nullopt;
}

std::u16string hexText(const std::string& bytes) {
    return text::toHex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                       text::HexCase::Upper);
}

std::u16string base64Text(const std::string& bytes) {
    return text::toBase64(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::u16string frame(std::u16string_view code, std::u16string_view body) {
    return server::FMakeRequest(code, body, server::SystemClock().now());
}

class Connection {
  public:
    bool open(const std::string& host, const std::string& port, int timeoutSeconds) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
        for (addrinfo* a = found; a; a = a->ai_next) {
            fd_ = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
            if (fd_ < 0) continue;
            if (connect(fd_, a->ai_addr, a->ai_addrlen) == 0) break;
            close(fd_);
            fd_ = -1;
        }
        freeaddrinfo(found);
        if (fd_ < 0) return false;
        timeval tv{timeoutSeconds, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return true;
    }
    ~Connection() {
        if (fd_ >= 0) close(fd_);
    }
    bool send(std::u16string_view frameText) {
        auto bytes = text::toAnsi(frameText);
        std::size_t at = 0;
        while (at < bytes.size()) {
            ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return false;
            at += static_cast<std::size_t>(n);
        }
        return true;
    }
    // One reply; nullopt on time-out or a closed connection.
    std::optional<std::u16string> reply() {
        for (;;) {
            std::u16string one;
            switch (stream_.next(one)) {
                case server::ReplyStream::Status::Reply:
                    return one;
                case server::ReplyStream::Status::NotAReply:
                    return protocolError();
                case server::ReplyStream::Status::NeedMore:
                    break;
            }
            char buf[65536];
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return std::nullopt;
            stream_.arrive(std::string_view(buf, static_cast<std::size_t>(n)));
        }
    }

  private:
    std::optional<std::u16string> protocolError() {
        std::fprintf(stderr, "tessel-client: the server sent no valid reply header: %s\n",
                     text::toUtf8(stream_.pending().substr(0, 40)).c_str());
        stream_.clear();
        return std::nullopt;
    }

    int fd_ = -1;
    server::ReplyStream stream_;
};

struct Request {
    std::u16string frame;
    bool expectsReply = true;
    std::string label;
};

}  // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1", port = "9900";
    int timeout = 120;
    bool frames = false;
    std::vector<Request> requests;
    int i = 1;
    for (; i < argc && !std::strncmp(argv[i], "--", 2); ++i) {
        std::string opt = argv[i];
        if (opt == "--frames") {
            frames = true;
        } else if (i + 1 < argc && opt == "--host") {
            host = argv[++i];
        } else if (i + 1 < argc && opt == "--port") {
            port = argv[++i];
        } else if (i + 1 < argc && opt == "--timeout") {
            timeout = std::atoi(argv[++i]);
        } else {
            return usage();
        }
    }
    for (; i < argc; ++i) {
        std::string cmd = argv[i];
        auto need = [&](int n) { return i + n < argc; };
        if (cmd == "setup" && need(1)) {
            auto json = readFile(argv[++i]);
            if (!json) {
                std::fprintf(stderr, "tessel-client: cannot read %s\n", argv[i]);
                return 2;
            }
            requests.push_back({frame(u"CE00", text::fromUtf8(*json)), true, cmd});
        } else if ((cmd == "page" || cmd == "page64") && need(1)) {
            auto image = readFile(argv[++i]);
            if (!image) {
                std::fprintf(stderr, "tessel-client: cannot read %s\n", argv[i]);
                return 2;
            }
            long number = 1;
            for (const auto& r : requests)
                if (r.label == "page" || r.label == "page64") ++number;
            std::u16string data = cmd == "page" ? hexText(*image) : base64Text(*image);
            requests.push_back({frame(u"CE01", text::zeroPad(number, 4) + u"," + data), true, cmd});
        } else if (cmd == "run") {
            requests.push_back({frame(u"CE02", u""), true, cmd});
        } else if (cmd == "poll") {
            requests.push_back({frame(u"CE09", u""), true, cmd});
        } else if (cmd == "version") {
            requests.push_back({frame(u"CE91", u""), true, cmd});
        } else if (cmd == "hide") {
            requests.push_back({frame(u"CE30", u""), true, cmd});
        } else if (cmd == "reload") {
            requests.push_back({frame(u"CE90", u""), false, cmd});
        } else if (cmd == "raw" && need(1)) {
            std::u16string code = text::fromUtf8(argv[++i]);
            std::u16string body;
            if (need(2) && !std::strcmp(argv[i + 1], "--body")) {
                body = text::fromUtf8(argv[i + 2]);
                i += 2;
            }
            requests.push_back({frame(code, body), true, cmd});
        } else if (cmd == "frame" && need(1)) {
            requests.push_back({text::fromUtf8(argv[++i]), true, cmd});
        } else {
            return usage();
        }
    }
    if (requests.empty()) return usage();

    Connection connection;
    if (!connection.open(host, port, timeout)) {
        std::fprintf(stderr, "tessel-client: cannot connect to %s:%s\n", host.c_str(),
                     port.c_str());
        return 1;
    }
    for (const auto& r : requests) {
        if (!connection.send(r.frame)) {
            std::fprintf(stderr, "tessel-client: the server closed the connection\n");
            return 1;
        }
        if (!r.expectsReply) break;
        auto reply = connection.reply();
        if (!reply) {
            std::fprintf(stderr, "tessel-client: no reply to %s (time-out or connection closed)\n",
                         r.label.c_str());
            return 1;
        }
        if (frames) {
            std::printf("%s\n", text::toUtf8(*reply).c_str());
        } else {
            std::u16string code = server::frameCode(*reply);
            std::u16string body(server::frameBody(*reply));
            std::u16string result = body.substr(0, 2);
            std::u16string rest = body.size() > 2 ? body.substr(2) : u"";
            std::printf("%s %s %s\n", text::toUtf8(code).c_str(), text::toUtf8(result).c_str(),
                        text::toUtf8(rest).c_str());
        }
        std::fflush(stdout);
    }
    return 0;
}
