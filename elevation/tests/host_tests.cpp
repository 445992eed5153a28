// The host program driven frame by frame, as a caller that does not keep to the broker's rules
// would drive it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "elevation/tests/support.h"
#include "elevation/wire.h"
#include "platform/testing/xvfb.h"

namespace {

using namespace platform::com;
using namespace elevation;
using namespace elevation::testing;
namespace process = platform::process;

class Host {
  public:
    // The host's standard error goes to `errors` when one is named, else to the test's.
    explicit Host(const std::filesystem::path& errors = {}) {
        EXPECT_EQ(toHost_.create(), 0);
        EXPECT_EQ(fromHost_.create(), 0);
        process::SpawnOptions options;
        options.argv = {(platform::testing::binFolder() / "tessel-uac-host").string()};
        options.stdinFd = toHost_.readEnd();
        options.stdoutFd = fromHost_.writeEnd();
        const int errorsFd =
            errors.empty() ? 2 : ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        options.stderrFd = errorsFd;
        EXPECT_EQ(process::spawn(options, child_), 0);
        if (errorsFd != 2) ::close(errorsFd);
        toHost_.closeRead();
        fromHost_.closeWrite();
        auto greeting = next();
        EXPECT_TRUE(greeting && greeting->status == S_OK &&
                    greeting->result == wire::Value(wire::kProtocolVersion));
    }
    void send(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(process::writeAll(toHost_.writeEnd(), bytes.data(), bytes.size()), 0);
    }
    std::optional<wire::Reply> next() {
        std::vector<std::uint8_t> body;
        if (wire::readFrame(fromHost_.readEnd(), body, wire::kMaxReplyFrame) !=
            wire::ReadResult::Frame)
            return std::nullopt;
        return wire::decodeReply(body);
    }
    std::optional<wire::Reply> call(const wire::Request& request) {
        send(wire::encode(request));
        return next();
    }
    // Whether an answer (or the end of the host's output) comes within the time.
    bool answersWithin(std::chrono::milliseconds time) const {
        pollfd p{fromHost_.readEnd(), POLLIN, 0};
        return poll(&p, 1, static_cast<int>(time.count())) == 1;
    }
    pid_t pid() const { return child_.pid(); }
    // Closes the host's input and answers its exit code.
    std::optional<int> finish() {
        toHost_.closeWrite();
        return process::exitCodeOf(child_.wait());
    }

  private:
    process::Pipe toHost_, fromHost_;
    process::Child child_;
};

wire::Value ansi(const std::string& s) {
    return wire::AnsiText{s};
}

TEST(Host, ServesOnlyTheForwardedCallsWithTheirDeclaredArguments) {
    platform::testing::TempMachine machine;
    registerLibrary(KESTRUM_LIBRARY);
    Host host;
    const std::string absent = (machine.path() / "absent.txt").string();
    const struct {
        const char* what;
        wire::Request request;
        HRESULT status;
    } cases[] = {
        {"a public operation", {16, {}}, DISP_E_MEMBERNOTFOUND},
        {"InitializeCOM", {2, {}}, DISP_E_MEMBERNOTFOUND},
        {"ReleaseCOM", {1, {}}, DISP_E_MEMBERNOTFOUND},
        {"a privileged member's own identifier", {0x60030007, {}}, DISP_E_MEMBERNOTFOUND},
        {"beyond the last operation", {63, {}}, DISP_E_MEMBERNOTFOUND},
        {"an argument too many", {15, {std::int32_t(1)}}, DISP_E_BADPARAMCOUNT},
        {"an argument missing", {11, {ansi(absent)}}, DISP_E_BADPARAMCOUNT},
        {"a number for a text", {13, {std::int32_t(5)}}, DISP_E_TYPEMISMATCH},
        {"a text for a number", {3, {ansi("12")}}, DISP_E_TYPEMISMATCH},
        {"a result-kind text for a text", {13, {std::u16string(u"/x")}}, DISP_E_TYPEMISMATCH},
        {"a zero inside a text", {13, {ansi(std::string("/a\0b", 4))}}, DISP_E_TYPEMISMATCH},
        {"a relative path", {13, {ansi("note.txt")}}, E_INVALIDARG},
        {"a relative target", {11, {ansi(absent), ansi("../x")}}, E_INVALIDARG},
        {"a relative program folder", {31, {ansi("bin"), ansi("")}}, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        auto reply = host.call(c.request);
        ASSERT_TRUE(reply) << c.what;
        EXPECT_EQ(reply->status, c.status) << c.what;
        EXPECT_TRUE(std::holds_alternative<std::monostate>(reply->result)) << c.what;
    }

    // A frame whose contents do not parse is refused; the session goes on.
    host.send({3, 0, 0, 0, 15, 0, 0});
    auto malformed = host.next();
    ASSERT_TRUE(malformed);
    EXPECT_EQ(malformed->status, wire::RPC_X_BAD_STUB_DATA);

    auto version = host.call({15, {}});
    ASSERT_TRUE(version);
    EXPECT_EQ(version->status, S_OK);
    EXPECT_EQ(version->result, wire::Value(std::u16string(u"1.0.0.6")));
    // A text argument arrives as ANSI text of the code page.
    const std::string note = (machine.path() / "\xB0\xA1.txt").string();  // "가" in CP949
    EXPECT_EQ(host.call({37, {ansi(note), ansi("abc")}})->status, S_OK);
    EXPECT_TRUE(std::filesystem::exists(machine.path() / u8"가.txt"));
    EXPECT_EQ(host.finish(), 0);
}

// The host's loop reads the display while it waits for calls, so a lock taken through it sees
// the real keys: F4 on the display raises the exit request that the next call reads.
TEST(HostOnX11, TheLockReadsTheDisplaysKeysBetweenCalls) {
    platform::testing::TempMachine machine;
    platform::testing::XvfbDisplay display;
    TESSEL_START_XVFB(display, machine.path());
    registerLibrary(KESTRUM_LIBRARY);
    Host host;
    constexpr std::int32_t lockKeyboard = 53, exitKeyPress = 51, findExitKeyPress = 57;
    const auto exitRequested = [&] {
        auto reply = host.call({findExitKeyPress, {}});
        EXPECT_TRUE(reply && reply->status == S_OK);
        return reply ? reply->result : wire::Value();
    };
    ASSERT_EQ(host.call({lockKeyboard, {std::int32_t(1)}})->status, S_OK);
    EXPECT_EQ(exitRequested(), wire::Value(std::int32_t(0)));
    const auto typed = display.type({"F4"});
    ASSERT_EQ(typed.exitCode, 0) << typed.err;
    EXPECT_EQ(exitRequested(), wire::Value(std::int32_t(1)));
    ASSERT_EQ(host.call({exitKeyPress, {std::int32_t(0)}})->status, S_OK);
    ASSERT_EQ(display.type({"a"}).exitCode, 0);
    EXPECT_EQ(exitRequested(), wire::Value(std::int32_t(0)));
    ASSERT_EQ(host.call({lockKeyboard, {std::int32_t(0)}})->status, S_OK);
    ASSERT_EQ(display.type({"F4"}).exitCode, 0);
    EXPECT_EQ(exitRequested(), wire::Value(std::int32_t(0)));
    EXPECT_EQ(host.finish(), 0);
}

std::string contentsOf(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The processor time a process has spent so far, user and system, in clock ticks.
long cpuTicksOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    // The fields after the command name (in parentheses, which may hold blanks): utime and
    // stime are the 12th and 13th of them.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i == 12) utime = std::stol(field);
        if (i == 13) stime = std::stol(field);
    }
    return utime + stime;
}

constexpr std::int32_t kLockKeyboard = 53, kFindExitKeyPress = 57;

// A display that ends while the lock sits on it is let go once; the host then waits for its
// calls without turning, and the lock goes on simulated.
TEST(HostOnX11, ADisplayThatGoesAwayWhileLockedIsLetGo) {
    platform::testing::TempMachine machine;
    platform::testing::XvfbDisplay display;
    TESSEL_START_XVFB(display, machine.path());
    registerLibrary(KESTRUM_LIBRARY);
    const auto errors = machine.path() / "host-errors.txt";
    Host host(errors);
    ASSERT_EQ(host.call({kLockKeyboard, {std::int32_t(1)}})->status, S_OK);
    // The lock is on the display: F4 typed there asks to leave.
    ASSERT_EQ(display.type({"F4"}).exitCode, 0);
    EXPECT_EQ(host.call({kFindExitKeyPress, {}})->result, wire::Value(std::int32_t(1)));

    display.stop();
    // The host's loop notices the broken connection on its own, between calls.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long before = cpuTicksOf(host.pid());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long spent = cpuTicksOf(host.pid()) - before;
    EXPECT_LT(spent, sysconf(_SC_CLK_TCK) / 5) << "the host turned while it waited";

    EXPECT_EQ(countOf(contentsOf(errors), "went away; the keyboard lock stays simulated"), 1u)
        << contentsOf(errors);
    auto exitRequested = host.call({kFindExitKeyPress, {}});
    ASSERT_TRUE(exitRequested);
    EXPECT_EQ(exitRequested->status, S_OK);
    ASSERT_EQ(host.call({kLockKeyboard, {std::int32_t(0)}})->status, S_OK);
    EXPECT_EQ(host.finish(), 0);
}

// A display that takes the connection and never answers holds the lock up only for the
// display's deadline; the lock is then simulated and the host serves on.
TEST(HostOnASilentDisplay, TheLockGivesUpAndTheHostServesOn) {
    platform::testing::TempMachine machine;
    platform::testing::SilentDisplay display;
    ASSERT_TRUE(display.ok());
    registerLibrary(KESTRUM_LIBRARY);
    const auto errors = machine.path() / "host-errors.txt";
    Host host(errors);
    host.send(wire::encode(wire::Request{kLockKeyboard, {std::int32_t(1)}}));
    ASSERT_TRUE(host.answersWithin(std::chrono::seconds(60))) << "the lock hangs on the display";
    auto locked = host.next();
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->status, S_OK);
    EXPECT_EQ(countOf(contentsOf(errors), "cannot reach the X display " + display.name() +
                                              "; the keyboard lock stays simulated"),
              1u)
        << contentsOf(errors);
    EXPECT_EQ(host.call({kFindExitKeyPress, {}})->result, wire::Value(std::int32_t(0)));
    ASSERT_EQ(host.call({kLockKeyboard, {std::int32_t(0)}})->status, S_OK);
    EXPECT_EQ(host.finish(), 0);
}

TEST(Host, AnOversizeFrameIsRefusedAndEndsTheSession) {
    platform::testing::TempMachine machine;
    Host host;
    const std::uint32_t size = wire::kMaxFrame + 1;
    host.send({std::uint8_t(size), std::uint8_t(size >> 8), std::uint8_t(size >> 16),
               std::uint8_t(size >> 24), 15, 0, 0, 0});
    auto reply = host.next();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, wire::RPC_X_BAD_STUB_DATA);
    EXPECT_FALSE(host.next());  // the host has closed its side
    EXPECT_EQ(host.finish(), 2);
}

TEST(Host, EndsAtTheEndOfItsInput) {
    platform::testing::TempMachine machine;
    Host host;
    EXPECT_EQ(host.finish(), 0);
}

TEST(Wire, FramesKeepEveryValueKind) {
    const wire::Request request{
        11, {std::int32_t(-7), ansi(std::string("a\xB0\xA1", 3)), std::u16string(u"x\0y", 3)}};
    auto bytes = wire::encode(request);
    const std::vector<std::uint8_t> body(bytes.begin() + 4, bytes.end());
    ASSERT_EQ(bytes.size() - 4, std::size_t(bytes[0] | bytes[1] << 8 | bytes[2] << 16));
    auto back = wire::decodeRequest(body);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->dispId, 11);
    EXPECT_EQ(back->args, request.args);
    // Truncated at every length, the call never parses.
    for (std::size_t n = 0; n < body.size(); ++n)
        EXPECT_FALSE(wire::decodeRequest({body.begin(), body.begin() + long(n)})) << n;
    auto extra = body;
    extra.push_back(0);
    EXPECT_FALSE(wire::decodeRequest(extra));
}

}  // namespace
