// The real Vigilo program, copied into a folder of its own (it keeps vigilo.ini and Logs beside
// itself), against the simulated service manager of a temporary machine folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "fakes.h"
#include "platform/process/control.h"
#include "platform/process/process.h"
#include "platform/services/services.h"
#include "platform/testing/environment.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/testing/wait.h"

using namespace vigilo::testing;
namespace fs = std::filesystem;
using platform::services::ServiceState;
using platform::services::SimulatedManager;

namespace {

// Waits for a condition that the program makes true; fails after a generous limit (a check of
// thousands of entries takes some 30 s in the sanitizer build, which unwinds every
// allocation's stack).
template <class F>
bool waitFor(F condition) {
    return platform::testing::waitFor(condition, std::chrono::seconds(120));
}

bool hasLine(const fs::path& logs, const std::string& message) {
    std::error_code ec;  // no folder yet: no line yet
    for (const auto& entry : fs::directory_iterator(logs, ec)) {
        const auto lines = logMessages(entry.path());
        if (std::find(lines.begin(), lines.end(), message) != lines.end()) return true;
    }
    return false;
}

std::vector<pid_t> running(const std::string& name) {
    std::vector<pid_t> pids;
    for (const auto& p : platform::process::snapshot())
        if (!p.zombie && p.exeFile == platform::text::fromUtf8(name)) pids.push_back(p.pid);
    return pids;
}

// A root watchdog reads only an INI file nobody else can change.
void onlyOwnerCanChange(const fs::path& folder) {
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(folder / "vigilo.ini", fs::perms::owner_read | fs::perms::owner_write |
                                               fs::perms::group_read | fs::perms::others_read);
}

TEST(VigiloProgram, InstallsRunsAsTheServiceStartsAMissingProgramAndStops) {
    platform::testing::TempMachine machine;
    const fs::path folder = machine.path() / "program";
    fs::create_directories(folder);
    const fs::path vigilo = folder / "Vigilo";
    fs::copy_file(VIGILO_PROGRAM, vigilo);
    const std::string sleeper = "vgl-it-" + std::to_string(::getpid());
    fs::copy_file("/bin/sleep", folder / sleeper);
    writeFile(folder / "vigilo.ini",
              "[Vigilo]\r\nDebug=1\r\nTimeInterval=0:0:1\r\nProcessCount=1\r\n"
              "[Process_1]\r\nRealTime=1\r\nProcessName=" +
                  sleeper + "\r\nPCommand=" + (folder / sleeper).string() + " 120\r\n");
    onlyOwnerCanChange(folder);
    const fs::path logs = folder / "Logs";

    // Install: the service is recorded and the event log says so.
    auto install = platform::testing::runProgram(vigilo.string(), {"/Install"});
    EXPECT_EQ(install.exitCode, 0);
    SimulatedManager manager;
    auto record = manager.record("vigilo");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->spec.command, std::vector<std::string>{vigilo.string()});
    ASSERT_EQ(manager.events().size(), 1u);
    EXPECT_EQ(manager.events()[0],
              "4 110 Velmora Vigilo Service: Velmora Vigilo Service 설치하였습니다.");
    EXPECT_TRUE(hasLine(logs, "/Install"));
    EXPECT_TRUE(hasLine(logs, "start"));

    // Run as the service: the first tick starts the missing program.
    platform::process::Child service;
    ASSERT_EQ(platform::process::spawn({{vigilo.string()}}, service), 0);
    ASSERT_TRUE(waitFor([&] { return running(sleeper).size() == 1; }));
    ASSERT_TRUE(waitFor([&] { return manager.record("vigilo")->pid == service.pid(); }));
    ASSERT_TRUE(waitFor([&] { return hasLine(logs, sleeper + " is running....."); }));

    ::kill(service.pid(), SIGUSR1);
    ASSERT_TRUE(waitFor([&] { return hasLine(logs, "pause"); }));
    ::kill(service.pid(), SIGUSR2);
    ASSERT_TRUE(waitFor([&] { return hasLine(logs, "NTService1_Continue  - 0:0:1"); }));

    // Stop through the manager ends the service; the program it started keeps running.
    auto stop = platform::testing::runProgram(vigilo.string(), {"-STOP"});
    EXPECT_EQ(stop.exitCode, 0);
    const int status = service.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(hasLine(logs, "stopped"));
    EXPECT_EQ(manager.record("vigilo")->state, ServiceState::Stopped);
    const auto left = running(sleeper);
    EXPECT_EQ(left.size(), 1u);
    for (pid_t pid : left)
        platform::process::terminateIfNamed(pid, platform::text::fromUtf8(sleeper));

    // Uninstall, and an unknown option that only shows the usage text.
    EXPECT_EQ(platform::testing::runProgram(vigilo.string(), {"uninstall"}).exitCode, 0);
    EXPECT_FALSE(manager.record("vigilo"));
    auto usage = platform::testing::runProgram(vigilo.string(), {"-bogus"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_NE(usage.err.find("-restart\tVigilo Service 재시작"), std::string::npos) << usage.err;
    EXPECT_EQ(manager.events().size(), 2u);
}

// Each command-line action says what it did, and a failed one ends with a non-zero exit code.
TEST(VigiloProgram, CommandsSayWhatTheyDidAndFailVisibly) {
    platform::testing::TempMachine machine;
    const fs::path folder = machine.path() / "program";
    fs::create_directories(folder);
    const fs::path vigilo = folder / "Vigilo";
    fs::copy_file(VIGILO_PROGRAM, vigilo);
    const std::string name = "Velmora Vigilo Service";
    const std::string notInstalled = "\nVelmora Vigilo Service: the service is not installed";
    struct Step {
        const char* argument;
        int exitCode;
        std::string said;  // on standard output when it worked, on standard error when not
    } steps[] = {
        {"-start", 1, ": could not be started" + notInstalled},
        {"-stop", 1, ": could not be stopped" + notInstalled},
        {"-install", 0, " 설치하였습니다."},
        {"-install", 1, " 설치 실패하였습니다.\n" + name + ": the service is already installed"},
        {"-start", 0, ": started"},
        {"-restart", 0, ": stopped\nVelmora Vigilo Service: started"},
        {"-stop", 0, ": stopped"},
        {"-uninstall", 0, " 삭제하였습니다."},
        {"-uninstall", 1, " 삭제 실패하였습니다." + notInstalled},
    };
    for (const auto& step : steps) {
        const auto r = platform::testing::runProgram(vigilo.string(), {step.argument});
        EXPECT_EQ(r.exitCode, step.exitCode) << step.argument << "\n" << r.out << r.err;
        const std::string& said = step.exitCode == 0 ? r.out : r.err;
        EXPECT_NE(said.find(name + step.said), std::string::npos)
            << step.argument << ": " << r.out << "|" << r.err;
    }
}

// With systemd chosen where systemctl cannot run (missing, or no systemd running), install and
// uninstall fail, say why, and leave the unit folder as they found it.
TEST(VigiloProgram, SystemdThatCannotRunLeavesNothingHalfDone) {
    platform::testing::TempMachine machine;
    const fs::path folder = machine.path() / "program";
    const fs::path tools = machine.path() / "tools";  // the only PATH: systemctl or none
    const fs::path units = machine.path() / "units";
    fs::create_directories(folder);
    fs::create_directories(tools);
    fs::copy_file(VIGILO_PROGRAM, folder / "Vigilo");
    const std::string vigilo = (folder / "Vigilo").string();
    const fs::path unit = units / "vigilo.service";
    platform::testing::ScopedVariable manager("TESSEL_SERVICE_MANAGER", "systemd");
    platform::testing::ScopedVariable unitFolder("TESSEL_SYSTEMD_UNITS", units.string());
    platform::testing::ScopedVariable path("PATH", tools.string());
    const std::string name = "Velmora Vigilo Service";

    const struct {
        const char* what;
        const char* systemctl;  // the script standing as systemctl; none when null
        const char* why;        // on standard error after the failure
    } cases[] = {
        {"no systemctl", nullptr, "could not be run"},
        {"systemd not running",
         "#!/bin/sh\necho 'System has not been booted with systemd as init system.' >&2\n"
         "exit 1\n",
         "failed with exit code 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(tools / "systemctl");
        if (c.systemctl) {
            writeFile(tools / "systemctl", c.systemctl);
            fs::permissions(tools / "systemctl", fs::perms::owner_all);
        }
        auto install = platform::testing::runProgram(vigilo, {"-install"});
        EXPECT_EQ(install.exitCode, 1) << install.out << install.err;
        EXPECT_NE(install.err.find(name + " 설치 실패하였습니다."), std::string::npos)
            << install.err;
        EXPECT_NE(install.err.find(c.why), std::string::npos) << install.err;
        EXPECT_NE(install.err.find(unit.string() + " was removed again"), std::string::npos)
            << install.err;
        EXPECT_FALSE(fs::exists(unit)) << "a unit systemd never took is left behind";
        if (c.systemctl) {
            EXPECT_NE(install.err.find("System has not been booted"), std::string::npos)
                << "systemctl's own reason: " << install.err;
        }

        // A unit installed earlier stays while systemctl cannot disable it.
        writeFile(unit, "[Unit]\n");
        auto uninstall = platform::testing::runProgram(vigilo, {"-uninstall"});
        EXPECT_EQ(uninstall.exitCode, 1) << uninstall.out << uninstall.err;
        EXPECT_NE(uninstall.err.find(name + " 삭제 실패하였습니다."), std::string::npos)
            << uninstall.err;
        EXPECT_NE(uninstall.err.find(c.why), std::string::npos) << uninstall.err;
        EXPECT_NE(uninstall.err.find(unit.string() + " was left as it was"), std::string::npos)
            << uninstall.err;
        EXPECT_TRUE(fs::exists(unit)) << "uninstall removed what it said it failed to remove";
        fs::remove(unit);
    }
}

// A folder of its own with the real program and a vigilo.ini of `count` process sections, of
// which `watched` (section number -> name) are watched; every other entry is not.
fs::path programWith(const platform::testing::TempMachine& machine, int count,
                     const std::map<int, std::string>& watched) {
    const fs::path folder = machine.path() / "program";
    fs::create_directories(folder);
    fs::copy_file(VIGILO_PROGRAM, folder / "Vigilo");
    std::string ini =
        "[Vigilo]\r\nDebug=1\r\nTimeInterval=0:0:1\r\nProcessCount=" + std::to_string(count) +
        "\r\n";
    for (int n = 1; n <= count; ++n) {
        auto it = watched.find(n);
        ini += "[Process_" + std::to_string(n) +
               "]\r\nRealTime=" + (it != watched.end() ? "1" : "0") +
               "\r\nProcessName=" + (it != watched.end() ? it->second : "idle") +
               "\r\nPCommand=" + (folder / "no-such-program").string() + "\r\n";
    }
    writeFile(folder / "vigilo.ini", ini);
    onlyOwnerCanChange(folder);
    return folder;
}

// Thousands of entries are read (the watched ones found by their section numbers), and a name
// holding control characters stays on its one log line with each of them shown as an escape:
// the log holds no control character but its line ends.
TEST(VigiloProgram, ReadsAThousandsOfEntriesFileAndKeepsEachLogMessageOnOneLine) {
    platform::testing::TempMachine machine;
    const fs::path folder = programWith(machine, 4000,
                                        {{1000, "w1000"},
                                         {2500, "bad\rname"},
                                         {2600, "vt\vname"},
                                         {2700, "esc\x1B[2Jname"},
                                         {2800, "tab\tdel\x7F"},
                                         {4000, "w4000"}});
    platform::process::Child service;
    ASSERT_EQ(platform::process::spawn({{(folder / "Vigilo").string()}}, service), 0);
    const fs::path logs = folder / "Logs";
    ASSERT_TRUE(waitFor([&] { return hasLine(logs, "[TIMER] service is running...End"); }));
    ::kill(service.pid(), SIGTERM);
    const int status = service.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (const char* line :
         {"w1000 is Not running.....", "bad\\rname is Not running.....",
          "vt\\x0Bname is Not running.....", "esc\\x1B[2Jname is Not running.....",
          "tab\\tdel\\x7F is Not running.....", "w4000 is Not running....."})
        EXPECT_TRUE(hasLine(logs, line)) << line;
    EXPECT_FALSE(hasLine(logs, "idle is Not running....."));
    EXPECT_FALSE(hasLine(logs, "bad"));
    EXPECT_FALSE(hasLine(logs, "name is Not running....."));
    for (const auto& entry : fs::directory_iterator(logs)) {
        const std::string text = readFile(entry.path());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            const bool lineEnd = (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ||
                                 (byte == '\n' && i > 0 && text[i - 1] == '\r');
            EXPECT_TRUE(lineEnd || (byte >= 0x20 && byte != 0x7F))
                << "byte " << +byte << " at " << i << " of " << entry.path();
        }
    }
}

// A check of every entry that takes longer than the period (a snapshot of the processes for
// each of them): the stop is still seen between two checks.
TEST(VigiloProgram, SigtermIsSeenWhenTheChecksTakeLongerThanThePeriod) {
    platform::testing::TempMachine machine;
    std::map<int, std::string> watched;
    // The program's own name: found running every time, so nothing is started.
    for (int n = 1; n <= 1500; ++n) watched[n] = "Vigilo";
    const fs::path folder = programWith(machine, 1500, watched);
    platform::process::Child service;
    ASSERT_EQ(platform::process::spawn({{(folder / "Vigilo").string()}}, service), 0);
    const fs::path logs = folder / "Logs";
    ASSERT_TRUE(waitFor([&] { return hasLine(logs, "[TIMER] service is running...End"); }));
    ::kill(service.pid(), SIGTERM);
    EXPECT_TRUE(waitFor([&] { return service.exited().has_value(); }));
    EXPECT_TRUE(hasLine(logs, "stopped"));
}

}  // namespace
