#include "watchdog/watchdog.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "fakes.h"
#include "platform/process/control.h"
#include "platform/process/process.h"
#include "platform/testing/temp_machine.h"
#include "watchdog/settings.h"

using namespace vigilo;
using namespace vigilo::testing;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

TEST(Settings, IntervalsCountTheirPartsFromTheRight) {
    struct Case {
        const char16_t* text;
        long seconds;  // 0: no period
    } cases[] = {
        {u"60", 60},
        {u"0:1:30", 90},
        {u"1:2:3", 3723},
        {u"2:30", 150},
        {u" 0 : 0 : 5 ", 5},
        {u"0:0:90", 90},
        {u"2.5", 2},
        {u"3.5", 4},
        {u"0", 0},
        {u"0:0:0", 0},
        {u"", 0},
        {u"abc", 0},
        {u"1:x:3", 0},
        {u"1:2:3:4", 0},
        {u"-5", 0},
        {u"1::3", 0},
        {u"40000", 0},
        {u"32767:0:0", 32767L * 3600},
    };
    for (const auto& c : cases) {
        const auto got = parseInterval(c.text);
        const std::string shown = platform::text::toUtf8(c.text);
        if (c.seconds == 0) {
            EXPECT_FALSE(got) << shown;
        } else {
            ASSERT_TRUE(got) << shown;
            EXPECT_EQ(got->period().count(), c.seconds) << shown;
        }
    }
}

TEST(Settings, NumbersAreTheLeadingNumberRoundedHalfToEven) {
    struct Case {
        const char16_t* text;
        std::optional<std::int16_t> value;
    } cases[] = {
        {u"1", 1},
        {u"1abc", 1},
        {u"abc", 0},
        {u"", 0},
        {u"2.5", 2},
        {u"1.5", 2},
        {u"0.5", 0},
        {u"-3", -3},
        {u"32767", 32767},
        {u"-32768", -32768},
        {u"32768", std::nullopt},
        {u"99999", std::nullopt},
        {u"1e400", std::nullopt},
        {u"&HFFFF", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(iniNumber(c.text), c.value) << platform::text::toUtf8(c.text);
}

struct Fixture {
    platform::testing::TempMachine folder;
    FakeClock clock;
    FakePrograms programs;
    ServiceLog log{folder.path() / "Logs", [this] { return clock.localTime(); }};
    Watchdog watchdog{folder.path() / "vigilo.ini", log, clock, programs, 1000};

    Fixture(const std::string& ini) {
        writeFile(folder.path() / "vigilo.ini", ini);
        log.setLevel(1);
    }
    Lines messages() const { return logMessages(log.fileFor(clock.localTime())); }
};

TEST(StartSequence, ReadsOnlyTheWatchedEntriesIntoOneBasedOrder) {
    Fixture f(
        "[Vigilo]\nDebug=1\nTimeInterval=0:1:30\nProcessCount=4\n"
        "[Process_1]\nRealTime=1\nProcessName=  one.exe  \nPCommand= /opt/one  -a \n"
        "[Process_2]\nRealTime=0\nProcessName=two.exe\nPCommand=/opt/two\n"
        "[process_3]\nrealtime=1abc\nprocessname=three.exe\npcommand=/opt/three\n"
        "[Process_4]\nRealTime=1.5\nProcessName=four.exe\nPCommand=/opt/four\n");
    f.watchdog.startSequence();
    ASSERT_EQ(f.watchdog.entries().size(), 2u);
    EXPECT_EQ(f.watchdog.entries()[0].processName, u"one.exe");
    EXPECT_EQ(f.watchdog.entries()[0].command, u"/opt/one  -a");
    EXPECT_EQ(f.watchdog.entries()[1].processName, u"three.exe");
    EXPECT_EQ(f.watchdog.interval().period(), std::chrono::seconds(90));
    EXPECT_EQ(f.messages(), (Lines{"start", "NTService1_Start  - 0:1:30"}));

    // Every start reads the file again and numbers from 1 again.
    writeFile(f.folder.path() / "vigilo.ini",
              "[Vigilo]\nDebug=1\nProcessCount=1\n[Process_1]\nRealTime=1\nProcessName=x\n");
    f.watchdog.startSequence();
    ASSERT_EQ(f.watchdog.entries().size(), 1u);
    EXPECT_EQ(f.watchdog.entries()[0].processName, u"x");
}

TEST(StartSequence, BadValuesFallBackToDefaultsWithALogLine) {
    // The default interval "60" is one part; out-of-range numbers give their defaults.
    Fixture f("[Vigilo]\nDebug=1\nProcessCount=40000\n");
    f.watchdog.startSequence();
    EXPECT_TRUE(f.watchdog.timerRunning());
    EXPECT_EQ(f.watchdog.interval().period(), std::chrono::seconds(60));
    EXPECT_TRUE(f.watchdog.entries().empty());
    EXPECT_EQ(f.messages(),
              (Lines{"start", "[Vigilo] ProcessCount \"40000\" is out of range; using 0",
                     "NTService1_Start  - 60"}));

    Fixture g("[Vigilo]\nDebug=70000\nTimeInterval=0\n");
    g.watchdog.startSequence();
    EXPECT_EQ(g.log.level(), 0);
    EXPECT_EQ(g.watchdog.interval().period(), std::chrono::seconds(60));
    ASSERT_TRUE(g.watchdog.nextDue());
    EXPECT_EQ(*g.watchdog.nextDue() - g.clock.steady(), std::chrono::seconds(60));
    EXPECT_EQ(g.messages(), (Lines{"start", "[Vigilo] Debug \"70000\" is out of range; using 0"}));

    Fixture h("[Vigilo]\nDebug=1\nTimeInterval=1:x\n");
    h.watchdog.startSequence();
    EXPECT_EQ(h.messages(),
              (Lines{"start", "TimeInterval \"1:x\" gives no period; checking every 60 seconds",
                     "NTService1_Start  - 1:x"}));
}

TEST(StartSequence, DebugZeroWritesNothingAfterStartAndAMissingIniIsCreated) {
    Fixture f("");
    fs::remove(f.folder.path() / "vigilo.ini");
    f.watchdog.startSequence();
    EXPECT_TRUE(fs::exists(f.folder.path() / "vigilo.ini"));
    f.watchdog.tick();
    f.watchdog.pause();
    EXPECT_EQ(f.messages(), (Lines{"start"}));
}

TEST(StartSequence, RootRefusesAnIniOthersCanChange) {
    platform::testing::TempMachine folder;
    const fs::path ini = folder.path() / "vigilo.ini";
    writeFile(ini,
              "[Vigilo]\nDebug=0\nProcessCount=1\n"
              "[Process_1]\nRealTime=1\nProcessName=x\nPCommand=/bin/x\n");
    ::chmod(ini.c_str(), 0666);  // writable by anyone (and not root's, unless we are root)
    FakeClock clock;
    FakePrograms programs;
    ServiceLog log(folder.path() / "Logs", [&] { return clock.localTime(); });
    log.setLevel(1);
    Watchdog asRoot(ini, log, clock, programs, 0);
    asRoot.startSequence();
    EXPECT_TRUE(asRoot.entries().empty());
    EXPECT_TRUE(asRoot.timerRunning());
    const Lines lines = logMessages(log.fileFor(clock.localTime()));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("vigilo.ini refused: ", 0), 0u) << lines[1];

    // The same file steers an ordinary user's watchdog.
    Watchdog asUser(ini, log, clock, programs, 1000);
    asUser.startSequence();
    EXPECT_EQ(asUser.entries().size(), 1u);
}

TEST(Tick, AFailingEntryDoesNotKeepTheNextOnesFromBeingChecked) {
    Fixture f(
        "[Vigilo]\nDebug=1\nProcessCount=4\n"
        "[Process_1]\nRealTime=1\nProcessName=gone.exe\nPCommand=/opt/gone\n"
        "[Process_2]\nRealTime=1\nProcessName=blank.exe\nPCommand=\n"
        "[Process_3]\nRealTime=1\nProcessName=app.exe\nPCommand=/opt/app -x\n"
        "[Process_4]\nRealTime=1\nProcessName=Up.EXE\nPCommand=/opt/up\n");
    f.programs.failures[u"/opt/gone"] = ENOENT;
    f.programs.failures[u""] = EINVAL;
    f.programs.running = {u"Up.EXE"};
    f.watchdog.startSequence();
    f.watchdog.tick();
    EXPECT_EQ(f.programs.started, (std::vector<std::u16string>{u"/opt/app -x"}));
    const Lines lines = f.messages();
    const Lines tick(lines.begin() + 2, lines.end());
    EXPECT_EQ(tick, (Lines{"[TIMER] service is running...Start", "gone.exe is Not running.....",
                           "/opt/gone", "[TIMERError] 53 - File not found",
                           "blank.exe is Not running.....", "",
                           "[TIMERError] 5 - Invalid procedure call or argument",
                           "app.exe is Not running.....", "/opt/app -x", "/opt/app -x 실행 완료",
                           "Up.EXE is running.....", "[TIMER] service is running...End"}));
}

TEST(Timer, PauseStopsTheTicksAndContinueResumesThem) {
    Fixture f(
        "[Vigilo]\nDebug=1\nTimeInterval=0:1:30\nProcessCount=1\n"
        "[Process_1]\nRealTime=1\nProcessName=a.exe\nPCommand=/opt/a\n");
    f.programs.running = {u"a.exe"};
    f.watchdog.startSequence();
    auto ticks = [&] { return f.programs.asked.size(); };

    f.clock.advance(std::chrono::seconds(89));
    f.watchdog.poll();
    EXPECT_EQ(ticks(), 0u);
    f.clock.advance(std::chrono::seconds(1));
    f.watchdog.poll();
    f.watchdog.poll();  // one tick per period however often it is asked
    EXPECT_EQ(ticks(), 1u);
    f.clock.advance(std::chrono::seconds(90));
    f.watchdog.poll();
    EXPECT_EQ(ticks(), 2u);

    f.watchdog.pause();
    EXPECT_FALSE(f.watchdog.nextDue());
    f.clock.advance(std::chrono::seconds(1000));
    f.watchdog.poll();
    EXPECT_EQ(ticks(), 2u);

    f.watchdog.resume();
    ASSERT_TRUE(f.watchdog.nextDue());
    EXPECT_EQ(*f.watchdog.nextDue(), f.clock.steady() + std::chrono::seconds(90));
    f.clock.advance(std::chrono::seconds(90));
    f.watchdog.poll();
    EXPECT_EQ(ticks(), 3u);

    // A late poll runs one tick, and the next is a whole period later.
    f.clock.advance(std::chrono::seconds(500));
    f.watchdog.poll();
    EXPECT_EQ(ticks(), 4u);
    EXPECT_EQ(*f.watchdog.nextDue(), f.clock.steady() + std::chrono::seconds(90));

    f.watchdog.stop();
    EXPECT_TRUE(f.watchdog.stopped());
    EXPECT_FALSE(f.watchdog.nextDue());
    const Lines lines = f.messages();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "pause"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "continue"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "NTService1_Continue  - 0:1:30"), 1);
    EXPECT_EQ(lines.back(), "stopped");
}

TEST(Log, LinesGoToADailyFileInACreatedLogsFolder) {
    platform::testing::TempMachine folder;
    FakeClock clock;
    ServiceLog log(folder.path() / "Logs", [&] { return clock.localTime(); });
    log.write(u"hidden");  // level 0 writes nothing
    EXPECT_FALSE(fs::exists(folder.path() / "Logs"));
    log.setLevel(1);
    log.write(u"start");
    log.write(u"a.exe 실행 완료");
    EXPECT_EQ(readFile(folder.path() / "Logs" / "Vigilo-20260307.log"),
              "2026/03/07 09:05:03 start\r\n2026/03/07 09:05:03 a.exe 실행 완료\r\n");
    // A folder that cannot hold the file loses the line, nothing more.
    ServiceLog blocked(folder.path() / "Logs" / "Vigilo-20260307.log" / "x",
                       [&] { return clock.localTime(); });
    blocked.setLevel(1);
    blocked.write(u"lost");
}

// ---------------------------------------------------------------------------------------------
// The real process list and real programs

struct CopiedSleep {
    fs::path file;
    explicit CopiedSleep(const fs::path& folder, const std::string& name) : file(folder / name) {
        fs::copy_file("/bin/sleep", file);
        fs::permissions(file, fs::perms::owner_all);
    }
};

std::size_t countRunning(const std::string& name) {
    const auto wanted = platform::text::fromUtf8(name);
    std::size_t n = 0;
    for (const auto& p : platform::process::snapshot())
        if (!p.zombie && p.exeFile == wanted) ++n;
    return n;
}

TEST(RealPrograms, ATickStartsTheMissingCopyAndLeavesTheRunningOne) {
    platform::testing::TempMachine folder;
    const std::string tag = std::to_string(::getpid());
    CopiedSleep up(folder.path(), "vgl-up-" + tag), down(folder.path(), "vgl-down-" + tag);
    platform::process::Child upChild;
    ASSERT_EQ(platform::process::spawn({{up.file.string(), "60"}}, upChild), 0);

    writeFile(folder.path() / "vigilo.ini",
              "[Vigilo]\nDebug=1\nProcessCount=2\n"
              "[Process_1]\nRealTime=1\nProcessName=VGL-UP-" +
                  tag + "\nPCommand=" + up.file.string() +
                  " 60\n"
                  "[Process_2]\nRealTime=1\nProcessName=vgl-down-" +
                  tag + "\nPCommand=\"" + down.file.string() + "\" 60\n");
    FakeClock clock;
    SystemPrograms programs;
    ServiceLog log(folder.path() / "Logs", [&] { return clock.localTime(); });
    Watchdog watchdog(folder.path() / "vigilo.ini", log, clock, programs, 1000);
    watchdog.startSequence();
    watchdog.tick();
    EXPECT_EQ(countRunning("vgl-up-" + tag), 1u);
    EXPECT_EQ(countRunning("vgl-down-" + tag), 1u);
    // Now both run: a second tick starts nothing.
    watchdog.tick();
    EXPECT_EQ(countRunning("vgl-down-" + tag), 1u);

    // Only the whole name counts: a part of it is not running.
    EXPECT_FALSE(programs.isRunning(platform::text::fromUtf8("vgl-down")));
    for (const auto& p : platform::process::snapshot())
        if (p.exeFile == platform::text::fromUtf8("vgl-down-" + tag))
            platform::process::terminateIfNamed(p.pid, p.exeFile);
}

TEST(RealPrograms, AnEndedChildNotYetReapedDoesNotCountAsRunning) {
    platform::testing::TempMachine folder;
    const std::string name = "vz" + std::to_string(::getpid() % 100000);
    CopiedSleep copy(folder.path(), name);
    // The pipe's write end closes when the child's exec succeeds: reading its end waits for
    // exactly that.
    platform::process::Pipe execDone;
    ASSERT_EQ(execDone.create(), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(copy.file.c_str(), name.c_str(), "60", nullptr);
        ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    execDone.closeWrite();
    char byte;
    ASSERT_EQ(::read(execDone.readEnd(), &byte, 1), 0);
    SystemPrograms programs;
    ASSERT_TRUE(programs.isRunning(platform::text::fromUtf8(name)));
    ::kill(pid, SIGKILL);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, pid, &info, WEXITED | WNOWAIT), 0);  // ended, still a zombie
    bool listed = false;
    for (const auto& p : platform::process::snapshot())
        if (p.pid == pid) listed = p.zombie;
    EXPECT_TRUE(listed);
    EXPECT_FALSE(programs.isRunning(platform::text::fromUtf8(name)));
    ::waitpid(pid, nullptr, 0);
}

}  // namespace
