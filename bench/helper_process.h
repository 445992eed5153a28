// A reference program of the benchmarks (tessel-bench-qt) in a process of its own, talked to by
// lines over its standard input and output, and killed with its owner. Started with
// posix_spawn, as a threaded program must start one.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing/temp_machine.h"

extern char** environ;

namespace tessel::bench {

class HelperProcess {
  public:
    explicit HelperProcess(std::vector<std::string> args) {
        // Its input is one end of a socket pair, written with MSG_NOSIGNAL: a program that
        // ended early fails its benchmark instead of ending this one with SIGPIPE.
        int in[2], out[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) return;
        if (::pipe2(out, O_CLOEXEC) != 0) {
            ::close(in[0]);
            ::close(in[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        for (int fd : {in[0], in[1], out[0], out[1]})
            posix_spawn_file_actions_addclose(&actions, fd);
        const std::string program = (platform::testing::binFolder() / "tessel-bench-qt").string();
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = in[1];
        fromChild_ = ::fdopen(out[0], "r");
    }
    ~HelperProcess() {
        if (toChild_ >= 0) ::close(toChild_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fromChild_) std::fclose(fromChild_);
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool send(const std::string& line) {
        const std::string bytes = line + "\n";
        for (std::size_t at = 0; at < bytes.size();) {
            const ssize_t n = ::send(toChild_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return false;
            at += static_cast<std::size_t>(n);
        }
        return true;
    }
    // The next line the program prints, without its end; nullopt when it ended.
    std::optional<std::string> line() {
        if (!fromChild_) return std::nullopt;
        std::string text;
        for (int c; (c = std::fgetc(fromChild_)) != EOF;) {
            if (c == '\n') return text;
            text.push_back(static_cast<char>(c));
        }
        return std::nullopt;
    }

  private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    FILE* fromChild_ = nullptr;
};

}  // namespace tessel::bench
