// tessel-client [--host ADDRESS] [--port PORT] [--timeout SECONDS] [--frames] COMMAND...
// tessel-client --codes
// tessel-client --help
// The client program of the issuing server: connects once, sends the commands in order and
// prints each reply as "CODE RESULT TEXT", a TAB and what the reply means (with --frames: the
// whole reply frame). --codes prints the table of result and state codes as markdown; --help
// prints the usage.
//
// Commands:
//   setup FILE.json         set-up request (CE00) with the JSON file as its body
//   page FILE               page request (CE01): the image file as a hexadecimal page text
//   page64 FILE             the same with a Base64 page text
//   run                     run request (CE02); waits for the run's reply as long as the run
//                           lasts, polling (CE09) every second meanwhile and telling each
//                           change of state on standard error
//   poll                    state poll (CE09)
//   version                 version (CE91)
//   hide                    hide the viewer (CE30)
//   reload                  reload the configuration (CE90); the server sends no reply and
//                           drops the connection, so it ends the command list
//   raw CODE [--body BODY]  any command code with an optional body
//   frame TEXT              TEXT sent as it is, for testing the server's checks
// --timeout (default 120 s) bounds connecting and each wait for a reply; during a run it bounds
// only how long the server may leave a poll unanswered.
// Exit code: 0 when every command got its reply, 1 on a connection error, a time-out or a closed
// connection (a close before the first reply most likely means the server serves another
// client), 2 for a usage error.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "lib/clock/clock.h"
#include "lib/frame/frame.h"
#include "platform/system/filelimit.h"
#include "platform/system/givenfile.h"
#include "platform/text/text.h"
#include "tools/reply_codes.h"

namespace text = platform::text;

namespace {

constexpr const char* kUsage =
    "usage: tessel-client [--host ADDRESS] [--port PORT] [--timeout SECONDS] "
    "[--frames] COMMAND...\n"
    "       tessel-client --codes\n"
    "       tessel-client --help\n"
    "commands: setup FILE.json | page FILE | page64 FILE | run | poll | version |\n"
    "          hide | reload | raw CODE [--body BODY] | frame TEXT\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// --help: the usage and what each part means, on standard output.
int help() {
    std::fputs(kUsage, stdout);
    std::fputs(
        "\n"
        "Sends the commands in order over one connection to the issuing server and prints each\n"
        "reply as CODE RESULT TEXT, a tab, and what the reply means.\n"
        "\n"
        "  --host ADDRESS     the server's address (default 127.0.0.1)\n"
        "  --port PORT        the server's port (default 9900)\n"
        "  --timeout SECONDS  bounds connecting and each wait for a reply (default 120); a run\n"
        "                     is waited for as long as it lasts\n"
        "  --frames           print the whole reply frames instead\n"
        "  --codes            print the tables of result and state codes\n"
        "\n"
        "  setup FILE.json    set up an issue (CE00) with the JSON file as its body\n"
        "  page FILE          add a page (CE01): the image file as hexadecimal text\n"
        "  page64 FILE        the same as Base64 text\n"
        "  run                run the issue (CE02), telling each change of state on stderr\n"
        "  poll               the state (CE09)\n"
        "  version            the viewer's version (CE91)\n"
        "  hide               hide the viewer (CE30)\n"
        "  reload             reload the server's settings (CE90); no reply, ends the list\n"
        "  raw CODE           any command code, with --body BODY as its body\n"
        "  frame TEXT         TEXT sent as it is\n"
        "\n"
        "Exit code: 0 when every command got its reply, 1 on a connection error, a time-out\n"
        "or a closed connection, 2 for a usage error.\n",
        stdout);
    return 0;
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

// A set-up file as text: a UTF-8 byte-order mark at its start (Windows editors write one) is
// not part of the JSON.
std::u16string setupText(std::string json) {
    if (json.starts_with("\xEF\xBB\xBF")) json.erase(0, 3);
    return text::fromUtf8(json);
}

// A whole number of seconds, 1 or more; nullopt for anything else.
std::optional<int> seconds(const std::string& value) {
    if (value.empty() || value.size() > 7) return std::nullopt;
    int n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n < 1) return std::nullopt;
    return n;
}

// Why a connection could not be made, for people.
std::string connectFailure(int error) {
    switch (error) {
        case ECONNREFUSED:
            return "connection refused (nothing listens there)";
        case ENETUNREACH:
        case EHOSTUNREACH:
            return "network or host unreachable";
        case ETIMEDOUT:
            return "timed out";
        default:
            return std::strerror(error);
    }
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
    return tessel::FMakeRequest(code, body, tessel::SystemClock().now());
}

class Connection {
  public:
    // Connects within the time-out; on failure `why` says what went wrong.
    bool open(const std::string& host, const std::string& port, int timeoutSeconds,
              std::string& why) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (int e = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); e != 0) {
            why = std::string("host or port not found (") + gai_strerror(e) + ")";
            return false;
        }
        int error = 0;
        for (addrinfo* a = found; a; a = a->ai_next) {
            fd_ = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
            if (fd_ < 0) {
                error = errno;
                continue;
            }
            error = connectWithin(a, timeoutSeconds);
            if (error == 0) break;
            close(fd_);
            fd_ = -1;
        }
        freeaddrinfo(found);
        if (fd_ < 0) {
            why = connectFailure(error);
            if (error == ETIMEDOUT) why += " after " + std::to_string(timeoutSeconds) + " s";
            return false;
        }
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
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                peerClosed_ = true;
                return false;
            }
            at += static_cast<std::size_t>(n);
        }
        return true;
    }
    // The server closed or reset the connection (rather than the wait timing out, or a reply
    // that was not one).
    bool peerClosed() const { return peerClosed_; }
    // What came was not a reply (told on standard error when it came).
    bool gotNonReply() const { return nonReply_; }
    enum class Wait { Reply, TimedOut, Closed };
    // Waits up to `milliseconds` for one reply. Closed also stands for what is not a reply.
    Wait reply(std::u16string& out, long milliseconds) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            switch (stream_.next(out)) {
                case tessel::ReplyStream::Status::Reply:
                    return Wait::Reply;
                case tessel::ReplyStream::Status::NotAReply:
                    protocolError();
                    return Wait::Closed;
                case tessel::ReplyStream::Status::NeedMore:
                    break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return Wait::TimedOut;
            pollfd p{fd_, POLLIN, 0};
            const int r = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) {
                peerClosed_ = true;
                return Wait::Closed;
            }
            if (r == 0) return Wait::TimedOut;
            char buf[65536];
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) {
                peerClosed_ = true;
                return Wait::Closed;
            }
            stream_.arrive(std::string_view(buf, static_cast<std::size_t>(n)));
        }
    }
    // One reply within the time-out; nullopt on time-out or a closed connection.
    std::optional<std::u16string> reply(int timeoutSeconds) {
        std::u16string one;
        if (reply(one, timeoutSeconds * 1000L) != Wait::Reply) return std::nullopt;
        return one;
    }

  private:
    // 0 once connected, else the errno (ETIMEDOUT when the time-out passed first).
    int connectWithin(const addrinfo* a, int timeoutSeconds) {
        const int flags = fcntl(fd_, F_GETFL);
        fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
        int error = 0;
        if (connect(fd_, a->ai_addr, a->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd p{fd_, POLLOUT, 0};
                int r;
                do {
                    r = poll(&p, 1, timeoutSeconds * 1000);
                } while (r < 0 && errno == EINTR);
                if (r == 0) {
                    error = ETIMEDOUT;
                } else {
                    socklen_t len = sizeof error;
                    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
                }
            }
        }
        fcntl(fd_, F_SETFL, flags);
        return error;
    }

    void protocolError() {
        std::fprintf(stderr, "tessel-client: the server sent no valid reply header: %s\n",
                     text::toUtf8(stream_.pending().substr(0, 40)).c_str());
        stream_.clear();
        nonReply_ = true;
    }

    int fd_ = -1;
    bool peerClosed_ = false;
    bool nonReply_ = false;
    tessel::ReplyStream stream_;
};

// Why a request got no reply, for people. The server serves one client at a time and closes
// any other connection as soon as it comes in, without a word; from here that looks like any
// other close, so a close before the first reply names it as the likely cause.
std::string noReply(const Connection& connection, bool answeredBefore, int timeoutSeconds) {
    if (connection.gotNonReply()) return "what the server sent was not a reply";
    if (!connection.peerClosed())
        return "none came within " + std::to_string(timeoutSeconds) + " s";
    if (answeredBefore) return "the server closed the connection";
    return "the server closed the connection before answering; it serves one client at a "
           "time, so another client is probably connected (the server's log then says "
           "\"Client 접속초과\")";
}

struct Request {
    std::u16string frame;
    bool expectsReply = true;
    std::string label;
};

// How often a run is polled while it lasts.
constexpr long kRunPollMilliseconds = 1000;

// The run's reply, however long the run lasts: meanwhile the state is polled ("CE09") on the
// same connection and each change is told on standard error. Only a server that answers
// nothing, not even a poll, for `timeoutSeconds` ends the wait (nullopt).
std::optional<std::u16string> awaitRun(Connection& connection, int timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    auto since = [](Clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
    };
    bool pollPending = false;
    Clock::time_point asked = Clock::now();  // the run request, then each poll
    Clock::time_point answered = asked;
    std::u16string lastState;
    for (;;) {
        const long wait = pollPending ? timeoutSeconds * 1000L - since(asked)
                                      : kRunPollMilliseconds - since(answered);
        std::u16string reply;
        switch (connection.reply(reply, std::max(0L, wait))) {
            case Connection::Wait::Closed:
                return std::nullopt;
            case Connection::Wait::TimedOut:
                if (pollPending) {
                    std::fprintf(stderr,
                                 "tessel-client: the server answered no poll for %d s during "
                                 "the run\n",
                                 timeoutSeconds);
                    return std::nullopt;
                }
                if (!connection.send(frame(u"CE09", u""))) return std::nullopt;
                pollPending = true;
                asked = Clock::now();
                continue;
            case Connection::Wait::Reply:
                break;
        }
        if (pollPending && text::equalsNoCase(tessel::frameCode(reply), u"CE09")) {
            pollPending = false;
            answered = Clock::now();
            const std::string state = text::toUtf8(tessel::frameBody(reply).substr(0, 2));
            if (text::fromUtf8(state) != lastState) {
                lastState = text::fromUtf8(state);
                std::fprintf(stderr, "tessel-client: run: state %s\t%s\n", state.c_str(),
                             tessel::client::describeReply("CE09", state, "").c_str());
            }
            continue;
        }
        // The run's reply. A poll still on its way is read, so the next command gets its own.
        if (pollPending) {
            std::u16string late;
            connection.reply(late, timeoutSeconds * 1000L);
        }
        return reply;
    }
}

// What the options before the commands set.
struct Options {
    std::string host = "127.0.0.1", port = "9900";
    int timeout = 120;
    bool frames = false;
};

// Reads the options from argv[i] on, leaving i at the first command. Returns the exit code when
// the options end the program (--help, --codes, a usage error), nullopt otherwise.
std::optional<int> readOptions(int argc, char** argv, int& i, Options& options) {
    for (; i < argc && argv[i][0] == '-'; ++i) {
        std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") return help();
        if (opt == "--codes" && argc == 2) {
            std::fputs(tessel::client::codesMarkdown().c_str(), stdout);
            return 0;
        }
        if (opt == "--frames") {
            options.frames = true;
        } else if (i + 1 < argc && opt == "--host") {
            options.host = argv[++i];
        } else if (i + 1 < argc && opt == "--port") {
            options.port = argv[++i];
        } else if (i + 1 < argc && opt == "--timeout") {
            auto value = seconds(argv[++i]);
            if (!value) {
                std::fprintf(stderr,
                             "tessel-client: --timeout wants a whole number of seconds, not "
                             "\"%s\"\n",
                             argv[i]);
                return 2;
            }
            options.timeout = *value;
        } else {
            return usage();
        }
    }
    return std::nullopt;
}

// Reads the commands from argv[i] on into their request frames. Returns the exit code of a
// usage error or of a file that cannot be read, nullopt when every command was understood.
std::optional<int> readCommands(int argc, char** argv, int i, std::vector<Request>& requests) {
    for (; i < argc; ++i) {
        std::string cmd = argv[i];
        auto need = [&](int n) { return i + n < argc; };
        if (cmd == "setup" && need(1)) {
            auto json = readFile(argv[++i]);
            if (!json) {
                std::fprintf(stderr, "tessel-client: cannot read %s\n", argv[i]);
                return 2;
            }
            requests.push_back({frame(u"CE00", setupText(std::move(*json))), true, cmd});
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
    return std::nullopt;
}

// One reply on standard output: the whole frame, or its code, result and text with what the
// reply means.
void printReply(const std::u16string& reply, bool frames) {
    if (frames) {
        std::printf("%s\n", text::toUtf8(reply).c_str());
    } else {
        std::u16string code = tessel::frameCode(reply);
        std::u16string body(tessel::frameBody(reply));
        std::u16string result = body.substr(0, 2);
        std::u16string rest = body.size() > 2 ? body.substr(2) : u"";
        const std::string c = text::toUtf8(code), r8 = text::toUtf8(result), t = text::toUtf8(rest);
        std::printf("%s %s %s\t%s\n", c.c_str(), r8.c_str(), t.c_str(),
                    tessel::client::describeReply(c, r8, t).c_str());
    }
    std::fflush(stdout);
}

// Connects, sends the requests in order and prints each reply; the program's exit code.
int exchange(const Options& options, const std::vector<Request>& requests) {
    Connection connection;
    std::string why;
    if (!connection.open(options.host, options.port, options.timeout, why)) {
        std::fprintf(stderr, "tessel-client: cannot connect to %s port %s: %s\n",
                     options.host.c_str(), options.port.c_str(), why.c_str());
        return 1;
    }
    bool answered = false;
    for (const auto& r : requests) {
        std::optional<std::u16string> reply;
        if (connection.send(r.frame)) {
            if (!r.expectsReply) break;
            reply = r.label == "run" ? awaitRun(connection, options.timeout)
                                     : connection.reply(options.timeout);
        }
        if (!reply) {
            std::fprintf(stderr, "tessel-client: no reply to %s: %s\n", r.label.c_str(),
                         noReply(connection, answered, options.timeout).c_str());
            return 1;
        }
        answered = true;
        printReply(*reply, options.frames);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    platform::system::ignoreFileSizeSignal();  // a file size limit fails the write instead
    Options options;
    int i = 1;
    if (auto exitCode = readOptions(argc, argv, i, options)) return *exitCode;
    std::vector<Request> requests;
    if (auto exitCode = readCommands(argc, argv, i, requests)) return *exitCode;
    if (requests.empty()) return usage();
    return exchange(options, requests);
}
