// Test support: several child processes running the same body at once, for races between
// processes over the machine folder.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace platform::testing {

// Forks `count` children; child n runs body(n) and exits 0 when it returns true. Returns how
// many children failed (or could not be started).
inline int inChildren(int count, const std::function<bool(int)>& body) {
    std::vector<pid_t> children;
    int failed = 0;
    for (int n = 0; n < count; ++n) {
        pid_t pid = ::fork();
        if (pid == 0) ::_exit(body(n) ? 0 : 1);
        if (pid < 0)
            ++failed;
        else
            children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    }
    return failed;
}

// A child process that repeats `step` until this object is destroyed, for something that must
// keep happening while other children race. A process rather than a thread: forking while a
// thread of the parent holds a lock (the allocator's, a sanitizer's) can leave a child stuck.
class RepeatingChild {
  public:
    explicit RepeatingChild(const std::function<void()>& step) {
        pid_ = ::fork();
        if (pid_ == 0)
            for (;;) step();
    }
    ~RepeatingChild() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    RepeatingChild(const RepeatingChild&) = delete;
    RepeatingChild& operator=(const RepeatingChild&) = delete;

  private:
    pid_t pid_ = -1;
};

}  // namespace platform::testing
