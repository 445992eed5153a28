// What the broker tests share: a machine with the privileged library and the broker
// registered, the broker's environment switches, and the host processes of this test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/process/process.h"
#include "platform/testing/com_status.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"

namespace elevation::testing {

// Sets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

inline void registerLibrary(const char* library) {
    auto run = platform::testing::runProgram(REGSVR, {library});
    ASSERT_EQ(run.exitCode, 0) << run.err;
}

// Host programs this test process started and has not reaped.
inline std::vector<pid_t> hostProcesses() {
    std::vector<pid_t> found;
    for (const auto& p : platform::process::snapshot())
        if (p.parentPid == ::getpid() && p.exeFile == u"tessel-uac-host") found.push_back(p.pid);
    return found;
}

using platform::testing::statusOf;

}  // namespace elevation::testing
