// Test support: several child processes running the same body at once, for races between
// processes over the machine folder.
#pragma once

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

}  // namespace platform::testing
