#include "platform/system/machine.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/testing/temp_machine.h"

namespace fs = std::filesystem;
using platform::system::machineFolder;
using platform::system::systemFolder;

namespace {

// Restores an environment variable when the test ends.
class EnvGuard {
  public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v;
    }
    ~EnvGuard() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class MachineFolderTest : public ::testing::Test {
  protected:
    EnvGuard machine_{"TESSEL_MACHINE"};
    EnvGuard home_{"HOME"};
    platform::testing::TempMachine temp_;
    const fs::path root_ = temp_.path();
};

TEST_F(MachineFolderTest, HonoursTesselMachineAndCreatesIt) {
    fs::path wanted = root_ / "a" / "b" / "machine";
    ::setenv("TESSEL_MACHINE", wanted.c_str(), 1);
    EXPECT_EQ(machineFolder(), wanted);
    EXPECT_TRUE(fs::is_directory(wanted));
    EXPECT_EQ(systemFolder(), wanted / "system");
    EXPECT_TRUE(fs::is_directory(wanted / "system"));
}

TEST_F(MachineFolderTest, ReadsTheEnvironmentAtEveryCall) {
    ::setenv("TESSEL_MACHINE", (root_ / "one").c_str(), 1);
    EXPECT_EQ(machineFolder(), root_ / "one");
    ::setenv("TESSEL_MACHINE", (root_ / "two/").c_str(), 1);
    EXPECT_EQ(machineFolder(), root_ / "two");  // one spelling, trailing "/" or not
    EXPECT_TRUE(fs::is_directory(root_ / "two"));
}

TEST_F(MachineFolderTest, DefaultsUnderHome) {
    ::unsetenv("TESSEL_MACHINE");
    ::setenv("HOME", root_.c_str(), 1);
    fs::path wanted = root_ / ".local" / "share" / "tessel" / "machine";
    EXPECT_EQ(machineFolder(), wanted);
    EXPECT_TRUE(fs::is_directory(wanted));

    ::setenv("TESSEL_MACHINE", "", 1);  // empty counts as unset
    EXPECT_EQ(machineFolder(), wanted);
}

}  // namespace
