// Test support: a private X display, and a display that never answers. Starts Xvfb on a display
// number it picks itself (its log in the given folder), points DISPLAY at it and QT_QPA_PLATFORM at
// xcb for the test, and stops it by its PID, putting both variables back. xdotool types on it.
//
// Without Xvfb or xdotool the test skips, unless real components are required (the
// environment variable CI or TESSEL_REQUIRE_REAL is set): then it fails. The test's program is
// declared with tessel_test(... REAL) (real_label.h).
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing/environment.h"
#include "platform/testing/real_label.h"
#include "platform/testing/run_program.h"

extern char** environ;

namespace platform::testing {

// A program on the PATH, or empty.
inline std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string list = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = list.find(':', start);
        const std::filesystem::path candidate =
            std::filesystem::path(
                list.substr(start, end == std::string::npos ? std::string::npos : end - start)) /
            name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

class XvfbDisplay {
  public:
    // Starts the display; an empty answer on success, else why not. `missing` tells that the
    // programs are not installed (the caller skips or fails as realComponentsRequired says).
    std::string start(const std::filesystem::path& folder, bool& missing) {
        const std::string xvfb = onPath("Xvfb");
        xdotool_ = onPath("xdotool");
        missing = xvfb.empty() || xdotool_.empty();
        if (missing) return "Xvfb and xdotool are needed (scripts/install-packages.sh)";
        int fds[2];
        if (pipe(fds) != 0) return "no pipe";
        const std::string displayFd = std::to_string(fds[1]);
        const std::string log = (folder / "xvfb.log").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args = {xvfb,      "-displayfd", displayFd,    "-nolisten", "tcp",
                                         "-screen", "0",          "640x480x24", "-noreset"};
        if (!authority_.empty()) args.insert(args.end(), {"-auth", authority_.string()});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int spawned =
            posix_spawn(&pid_, xvfb.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            close(fds[0]);
            pid_ = -1;
            return "Xvfb did not start";
        }
        // Xvfb writes the display number it took once it listens.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&p, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return "Xvfb gave no display number (see " + log + ")";
        display_.emplace("DISPLAY", ":" + number);
        platform_.emplace("QT_QPA_PLATFORM", "xcb");
        return {};
    }
    ~XvfbDisplay() { stop(); }
    // The Xvfb process (-1 when it is not running).
    pid_t pid() const { return pid_; }
    // Ends the display (its clients see their connection break); DISPLAY still names it.
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    // Before start: the display admits only the clients that show a cookie of this authority
    // file.
    void requireCookieOf(const std::filesystem::path& file) { authority_ = file; }
    // Types keys by xdotool's names on the display.
    ProgramResult type(const std::vector<std::string>& keys) const {
        std::vector<std::string> args = {"key", "--clearmodifiers"};
        args.insert(args.end(), keys.begin(), keys.end());
        return runProgram(xdotool_, args);
    }

  private:
    pid_t pid_ = -1;
    std::string xdotool_;
    std::filesystem::path authority_;
    std::optional<ScopedVariable> display_, platform_;
};

// A display that takes every connection and never answers: a loopback port of the X range that
// listens and never accepts, so the system completes each connection and then nothing comes.
// Points DISPLAY at it and QT_QPA_PLATFORM at xcb for the test, putting both back.
class SilentDisplay {
  public:
    SilentDisplay() {
        for (int number = 150; number < 250 && fd_ < 0; ++number) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(6000 + number));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                listen(fd, 16) == 0) {
                fd_ = fd;
                name_ = "127.0.0.1:" + std::to_string(number);
            } else {
                close(fd);
            }
        }
        display_.emplace("DISPLAY", name_);
        platform_.emplace("QT_QPA_PLATFORM", "xcb");
    }
    ~SilentDisplay() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    // The display's name, as DISPLAY holds it.
    const std::string& name() const { return name_; }
    SilentDisplay(const SilentDisplay&) = delete;
    SilentDisplay& operator=(const SilentDisplay&) = delete;

  private:
    int fd_ = -1;
    std::string name_;
    std::optional<ScopedVariable> display_, platform_;
};

// Starts `display` in a test's SetUp: skips or fails the test when it cannot.
#define TESSEL_START_XVFB(display, folder)                                                    \
    do {                                                                                      \
        if (auto unlabelled_ = ::platform::testing::realLabelMissing(                         \
                ::platform::testing::realComponentsRequired()))                               \
            FAIL() << *unlabelled_;                                                           \
        bool missing_ = false;                                                                \
        const std::string why_ = (display).start((folder), missing_);                         \
        if (missing_ && !::platform::testing::realComponentsRequired()) GTEST_SKIP() << why_; \
        ASSERT_TRUE(why_.empty()) << why_;                                                    \
    } while (0)

}  // namespace platform::testing
