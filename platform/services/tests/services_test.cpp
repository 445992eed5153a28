#include "platform/services/services.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "platform/services/controls.h"
#include "platform/services/trust.h"
#include "platform/testing/temp_machine.h"

using namespace platform::services;
namespace fs = std::filesystem;

namespace {

ServiceSpec watchdogSpec() {
    ServiceSpec spec;
    spec.unit = "vigilo";
    spec.name = "Velmora Vigilo Service";
    spec.displayName = "Velmora Vigilo Service";
    spec.description = "Velmora Vigilo Service by Velmora";
    spec.command = {"/opt/tessel/bin/Vigilo"};
    return spec;
}

TEST(Systemd, ExecArgumentsAreQuotedSoNothingExpands) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"/opt/tessel/bin/Vigilo", "/opt/tessel/bin/Vigilo"},
        {"/opt/my programs/Vigilo", "\"/opt/my programs/Vigilo\""},
        {"100%", "100%%"},
        {"$HOME", "$$HOME"},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\\b", "\"a\\\\b\""},
        {";", "\";\""},
        {"", "\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(quoteExecArgument(c.in), c.out) << c.in;
}

TEST(Systemd, UnitTextStartsTheProgramAndLetsItsChildrenOutliveAStop) {
    ServiceSpec spec = watchdogSpec();
    spec.command = {"/opt/my programs/Vigilo"};
    EXPECT_EQ(unitText(spec),
              "# Velmora Vigilo Service\n"
              "[Unit]\n"
              "Description=Velmora Vigilo Service by Velmora\n"
              "After=network.target\n\n"
              "[Service]\n"
              "Type=simple\n"
              "ExecStart=\"/opt/my programs/Vigilo\"\n"
              "KillMode=process\n"
              "Restart=no\n\n"
              "[Install]\n"
              "WantedBy=multi-user.target\n");
    const std::string user = unitText(spec, true);
    EXPECT_EQ(user.substr(user.find("[Install]")), "[Install]\nWantedBy=default.target\n");
    spec.autoStart = false;
    EXPECT_EQ(unitText(spec).find("[Install]"), std::string::npos);
}

struct Recorded {
    std::vector<std::vector<std::string>> calls;
    int answer = 0;
    SystemdManager::Runner runner() {
        return [this](const std::vector<std::string>& argv) {
            calls.push_back(argv);
            return answer;
        };
    }
};

TEST(Systemd, InstallWritesTheUnitAndRunsSystemctlWithoutAShell) {
    platform::testing::TempMachine machine;
    Recorded rec;
    SystemdManager manager({machine.path() / "units", false, "systemctl"}, rec.runner());
    ASSERT_TRUE(manager.install(watchdogSpec()));
    using Calls = std::vector<std::vector<std::string>>;
    EXPECT_EQ(rec.calls,
              (Calls{{"systemctl", "daemon-reload"}, {"systemctl", "enable", "vigilo.service"}}));
    std::ifstream unit(machine.path() / "units/vigilo.service");
    std::string text((std::istreambuf_iterator<char>(unit)), {});
    EXPECT_EQ(text, unitText(watchdogSpec()));
    EXPECT_FALSE(manager.install(watchdogSpec())) << "a second install must not overwrite";

    rec.calls.clear();
    EXPECT_TRUE(manager.start("vigilo"));
    EXPECT_TRUE(manager.stop("vigilo"));
    EXPECT_TRUE(manager.uninstall("vigilo"));
    EXPECT_EQ(rec.calls, (Calls{{"systemctl", "start", "vigilo.service"},
                                {"systemctl", "stop", "vigilo.service"},
                                {"systemctl", "disable", "vigilo.service"},
                                {"systemctl", "daemon-reload"}}));
    EXPECT_FALSE(fs::exists(machine.path() / "units/vigilo.service"));
    EXPECT_FALSE(manager.uninstall("vigilo"));

    // The user's own manager, and a systemctl that fails.
    SystemdManager user({machine.path() / "units", true, "/usr/bin/systemctl"}, rec.runner());
    rec.calls.clear();
    rec.answer = 5;
    EXPECT_FALSE(user.start("vigilo"));
    EXPECT_EQ(rec.calls, (Calls{{"/usr/bin/systemctl", "--user", "start", "vigilo.service"}}));
}

// A systemctl that fails (or cannot run) at any step of an install or uninstall: the step fails
// with a reason naming the command, and the unit file is there exactly when the unit is.
TEST(Systemd, AFailingSystemctlLeavesNothingHalfDoneAndSaysWhy) {
    platform::testing::TempMachine machine;
    const fs::path unit = machine.path() / "units/vigilo.service";
    using Calls = std::vector<std::vector<std::string>>;
    const struct {
        const char* what;
        bool install;                        // else uninstall, of a unit installed before
        std::map<std::string, int> answers;  // systemctl's first argument -> exit code
        Calls calls;
        bool unitLeft;
        const char* why;
    } cases[] = {
        {"install, no systemctl",
         true,
         {{"daemon-reload", -1}},
         {{"systemctl", "daemon-reload"}},
         false,
         "systemctl daemon-reload could not be run (is systemd installed?); "},
        {"install, enable fails",
         true,
         {{"enable", 1}},
         {{"systemctl", "daemon-reload"},
          {"systemctl", "enable", "vigilo.service"},
          {"systemctl", "daemon-reload"}},
         false,
         "systemctl enable vigilo.service failed with exit code 1; "},
        {"uninstall, no systemctl",
         false,
         {{"disable", -1}},
         {{"systemctl", "disable", "vigilo.service"}},
         true,
         "systemctl disable vigilo.service could not be run (is systemd installed?); "},
        {"uninstall, reload fails after the removal",
         false,
         {{"daemon-reload", 3}},
         {{"systemctl", "disable", "vigilo.service"}, {"systemctl", "daemon-reload"}},
         false,
         "systemctl daemon-reload failed with exit code 3; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(unit);
        Calls calls;
        SystemdManager manager({machine.path() / "units", false, "systemctl"},
                               [&](const std::vector<std::string>& argv) {
                                   calls.push_back(argv);
                                   auto a = c.answers.find(argv[1]);
                                   return a == c.answers.end() ? 0 : a->second;
                               });
        if (!c.install) {
            SystemdManager({machine.path() / "units", false, "systemctl"},
                           [](const std::vector<std::string>&) { return 0; })
                .install(watchdogSpec());
            ASSERT_TRUE(fs::exists(unit));
        }
        EXPECT_FALSE(c.install ? manager.install(watchdogSpec()) : manager.uninstall("vigilo"));
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(fs::exists(unit), c.unitLeft);
        const std::string said = manager.failure();
        EXPECT_EQ(said.substr(0, std::string(c.why).size()), c.why) << said;
        EXPECT_NE(said.find(unit.string()), std::string::npos) << said;
    }
    // The reasons of the other refusals.
    SystemdManager manager({machine.path() / "units", false, "systemctl"},
                           [](const std::vector<std::string>&) { return 0; });
    EXPECT_FALSE(manager.uninstall("vigilo"));
    EXPECT_EQ(manager.failure(), unit.string() + " is not installed");
    ASSERT_TRUE(manager.install(watchdogSpec()));
    EXPECT_FALSE(manager.install(watchdogSpec()));
    EXPECT_EQ(manager.failure(), unit.string() + " already exists");
    EXPECT_TRUE(manager.start("vigilo"));
    EXPECT_EQ(manager.failure(), "");
}

TEST(Systemd, RefusesUnitNamesAndTextsThatWouldEscapeTheUnitFile) {
    platform::testing::TempMachine machine;
    Recorded rec;
    SystemdManager manager({machine.path() / "units", false, "systemctl"}, rec.runner());
    ServiceSpec spec = watchdogSpec();
    for (const char* unit : {"", "..", "../etc/x", "a b", "a/b"}) {
        spec.unit = unit;
        EXPECT_FALSE(manager.install(spec)) << unit;
        EXPECT_FALSE(manager.start(unit)) << unit;
    }
    spec = watchdogSpec();
    spec.description = "x\nExecStartPre=/bin/evil";
    EXPECT_FALSE(manager.install(spec));
    spec = watchdogSpec();
    spec.command = {"Vigilo"};  // systemd needs an absolute program path
    EXPECT_FALSE(manager.install(spec));
    EXPECT_TRUE(rec.calls.empty());
}

TEST(Simulated, KeepsServicesAndEventsInTheMachineFolder) {
    platform::testing::TempMachine machine;
    SimulatedManager manager;
    EXPECT_EQ(manager.folder(), machine.path() / "services");
    EXPECT_FALSE(manager.start("vigilo")) << "not installed yet";
    ASSERT_TRUE(manager.install(watchdogSpec()));
    EXPECT_FALSE(manager.install(watchdogSpec()));

    // Another process sees what this one stored.
    SimulatedManager other;
    auto r = other.record("vigilo");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->spec.name, "Velmora Vigilo Service");
    EXPECT_EQ(r->spec.description, "Velmora Vigilo Service by Velmora");
    EXPECT_EQ(r->spec.command, watchdogSpec().command);
    EXPECT_EQ(r->state, ServiceState::Stopped);

    EXPECT_TRUE(manager.start("vigilo"));
    EXPECT_EQ(other.record("vigilo")->state, ServiceState::Running);
    manager.connect("vigilo");
    EXPECT_EQ(other.record("vigilo")->pid, long(::getpid()));
    EXPECT_TRUE(manager.stop("vigilo"));
    EXPECT_EQ(other.record("vigilo")->state, ServiceState::Stopped);
    EXPECT_EQ(other.record("vigilo")->pid, 0);
    EXPECT_TRUE(manager.uninstall("vigilo"));
    EXPECT_FALSE(other.record("vigilo"));
    EXPECT_FALSE(manager.uninstall("vigilo"));

    manager.reportEvent(EventKind::Information, 110, "Vigilo", "line one\r\nline two");
    EXPECT_EQ(other.events(), (std::vector<std::string>{"4 110 Vigilo: line one  line two"}));
}

TEST(Trust, OnlyRootOwnedFilesNobodyElseCanWriteSteerRoot) {
    platform::testing::TempMachine machine;
    const fs::path file = machine.path() / "vigilo.ini";
    std::ofstream(file) << "[Vigilo]\n";
    ::chmod(file.c_str(), 0644);
    // Anyone's file may steer an ordinary process.
    EXPECT_EQ(distrustReason(file, 1000), "");
    if (effectiveUser() != 0) {
        EXPECT_EQ(distrustReason(file, 0), "it is not owned by root");
    } else {
        ::chmod(machine.path().c_str(), 0755);
        EXPECT_EQ(distrustReason(file, 0), "");
        ::chmod(file.c_str(), 0666);
        EXPECT_EQ(distrustReason(file, 0), "group or others may write it");
    }
    EXPECT_EQ(distrustReason(machine.path() / "missing.ini", 0), "it cannot be examined");
}

TEST(Controls, SignalsArriveAsControlsAndADeadlineEndsTheWait) {
    // The loop is driven in a child so the blocked signals never touch the test runner.
    pid_t pid = ::fork();
    if (pid == 0) {
        ControlLoop loop;
        if (!loop.open()) ::_exit(10);
        const auto soon = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
        if (loop.wait(soon)) ::_exit(11);
        ::kill(::getpid(), SIGUSR1);
        if (loop.wait(std::nullopt) != Control::Pause) ::_exit(12);
        ::kill(::getpid(), SIGUSR2);
        if (loop.wait(std::nullopt) != Control::Continue) ::_exit(13);
        ::kill(::getpid(), SIGTERM);
        if (loop.wait(std::nullopt) != Control::Stop) ::_exit(14);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
