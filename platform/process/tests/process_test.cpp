#include "platform/process/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <thread>

#include "platform/process/control.h"
#include "platform/testing/environment.h"
#include "platform/testing/wait.h"

using namespace platform::process;

namespace {

TEST(CommandArgv, InterpreterCallsRunUnderTheShell) {
    ::unsetenv("COMSPEC");
    using V = std::vector<std::string>;
    struct Case {
        const char16_t* line;
        V argv;
    } cases[] = {
        {u"cmd.exe /c echo hi", {"/bin/sh", "-c", "echo hi"}},
        {u"CMD /C dir", {"/bin/sh", "-c", "dir"}},
        {u"C:\\Windows\\system32\\cmd.exe /c a | b", {"/bin/sh", "-c", "a | b"}},
        {u"%COMSPEC% /c x", {"/bin/sh", "-c", "x"}},
        // the prefix of a caller, then an interpreter call whose COMSPEC was empty
        {u"cmd.exe /c  /c net.exe use | find.exe /I \"LPT1\"",
         {"/bin/sh", "-c", "net.exe use | find.exe /I \"LPT1\""}},
        {u"cmd.exe /c \"C:\\Windows\\system32\\cmd.exe\" /c y", {"/bin/sh", "-c", "y"}},
        {u"cmd.exe /c    ", {}},
        {u"prog.exe \"two words\" a\\\\\"b\\\" c d", {"prog.exe", "two words", "a\\b\" c d"}},
        {u"p a\\\\b \"\"", {"p", "a\\\\b", ""}},
        {u"cmd.exe", {"cmd.exe"}},  // no run switch: a program of that name
        {u"   ", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(commandArgv(c.line), c.argv)
            << std::string(c.line, c.line + std::char_traits<char16_t>::length(c.line));

    ::setenv("COMSPEC", "/opt/shell/cmd-like", 1);
    EXPECT_EQ(commandArgv(u"/opt/shell/cmd-like /c z"), (V{"/bin/sh", "-c", "z"}));
    ::unsetenv("COMSPEC");
}

TEST(Snapshot, ListsThisProcessAndItsChildByProgramName) {
    Child child;
    ASSERT_EQ(spawn({{"sleep", "30"}}, child), 0);
    auto list = snapshot();
    auto find = [&](pid_t pid) {
        return std::find_if(list.begin(), list.end(),
                            [&](const ProcessEntry& e) { return e.pid == pid; });
    };
    auto self = find(::getpid());
    ASSERT_NE(self, list.end());
    EXPECT_GE(self->threads, 1u);
    auto c = find(child.pid());
    ASSERT_NE(c, list.end());
    EXPECT_EQ(c->exeFile, u"sleep");
    EXPECT_EQ(c->parentPid, ::getpid());
    EXPECT_TRUE(terminate(child.pid()));
    int status = child.wait();
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(terminate(0));
}

TEST(Spawn, MissingProgramFailsAtOnce) {
    // A PATH folder this user may not search (root's, kept by su) would make it EACCES.
    platform::testing::ScopedVariable path("PATH", "/usr/bin:/bin");
    Child child;
    EXPECT_EQ(spawn({{"no-such-program-anywhere.exe"}}, child), ENOENT);
    EXPECT_FALSE(child.running());
}

TEST(Spawn, ChildInheritsOnlyTheStandardDescriptors) {
    int leaked = ::open("/dev/null", O_RDONLY);  // not close-on-exec, like a socket
    ASSERT_GE(leaked, 3);
    Pipe pipe;
    ASSERT_EQ(pipe.create(), 0);
    Child child;
    ASSERT_EQ(
        spawn({{"/bin/sh", "-c", "ls /proc/self/fd"}, pipe.writeEnd(), pipe.writeEnd()}, child), 0);
    pipe.closeWrite();
    std::string out;
    std::uint8_t buf[256];
    std::size_t got;
    while (readSome(pipe.readEnd(), buf, sizeof buf, got, std::nullopt) == ReadStatus::Data)
        out.append(reinterpret_cast<char*>(buf), got);
    child.wait();
    ::close(leaked);
    // ls itself opens one descriptor for the listing (3); nothing else is there.
    EXPECT_EQ(out, "0\n1\n2\n3\n");
}

TEST(Spawn, KillGroupEndsGrandchildrenAndDestroyReaps) {
    Pipe pipe;
    ASSERT_EQ(pipe.create(), 0);
    pid_t grandchild = 0;
    {
        Child child;
        ASSERT_EQ(
            spawn({{"/bin/sh", "-c", "sleep 60 & echo $!; wait"}, pipe.writeEnd(), -1}, child), 0);
        pipe.closeWrite();
        std::uint8_t buf[64];
        std::size_t got = 0;
        ASSERT_EQ(readSome(pipe.readEnd(), buf, sizeof buf, got, std::nullopt), ReadStatus::Data);
        grandchild = pid_t(std::atoi(std::string(reinterpret_cast<char*>(buf), got).c_str()));
        ASSERT_GT(grandchild, 0);
    }  // destroying the child kills the group and reaps the shell
    // The grandchild is not ours to reap: it is gone, or a zombie for its new parent.
    auto state = [&] {
        std::string text;
        if (FILE* f = std::fopen(("/proc/" + std::to_string(grandchild) + "/stat").c_str(), "r")) {
            char buf[512] = {};
            std::fread(buf, 1, sizeof buf - 1, f);
            std::fclose(f);
            text = buf;
        }
        return text;
    };
    auto ended = [&] {
        std::string s = state();
        return s.empty() || s.find(") Z") != std::string::npos;
    };
    EXPECT_TRUE(platform::testing::waitFor(ended, std::chrono::seconds(2))) << state();
}

TEST(Spawn, ExitedAnswersWithoutWaitingAndOnlyOnce) {
    Child child;
    ASSERT_EQ(spawn({{"sleep", "30"}}, child), 0);
    EXPECT_EQ(child.exited(), std::nullopt);  // still running: no wait
    child.killGroup();
    std::optional<int> status;
    platform::testing::waitFor([&] { return (status = child.exited()).has_value(); },
                               std::chrono::seconds(5));
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFSIGNALED(*status));
    EXPECT_FALSE(child.running());
    EXPECT_EQ(child.exited(), std::nullopt);  // reaped once
}

TEST(ReadSome, DeadlineEndsTheWaitForSilentWriters) {
    Pipe pipe;
    ASSERT_EQ(pipe.create(), 0);
    std::uint8_t buf[8];
    std::size_t got = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readSome(pipe.readEnd(), buf, sizeof buf, got, start + std::chrono::milliseconds(50)),
              ReadStatus::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    pipe.closeWrite();
    EXPECT_EQ(readSome(pipe.readEnd(), buf, sizeof buf, got, std::nullopt), ReadStatus::End);
}

TEST(WriteAll, AGoneReaderIsAnErrorNotTheEndOfTheProcess) {
    Pipe pipe;
    ASSERT_EQ(pipe.create(), 0);
    const std::uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(writeAll(pipe.writeEnd(), data, sizeof data), 0);
    pipe.closeRead();
    // Without care the write raises SIGPIPE, which ends the process.
    EXPECT_EQ(writeAll(pipe.writeEnd(), data, sizeof data), EPIPE);
    EXPECT_EQ(writeAll(pipe.writeEnd(), data, sizeof data), EPIPE);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);  // nothing left to arrive later
}

TEST(Spawn, StandardInputComesFromTheGivenDescriptor) {
    Pipe in, out;
    ASSERT_EQ(in.create(), 0);
    ASSERT_EQ(out.create(), 0);
    SpawnOptions options{{"cat"}};
    options.stdinFd = in.readEnd();
    options.stdoutFd = out.writeEnd();
    Child child;
    ASSERT_EQ(spawn(options, child), 0);
    in.closeRead();
    out.closeWrite();
    const std::uint8_t data[] = {'a', 'b'};
    ASSERT_EQ(writeAll(in.writeEnd(), data, sizeof data), 0);
    in.closeWrite();
    std::uint8_t buf[8];
    std::size_t got = 0;
    ASSERT_EQ(readSome(out.readEnd(), buf, sizeof buf, got, std::nullopt), ReadStatus::Data);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "ab");
    EXPECT_EQ(exitCodeOf(child.wait()), 0);
}

}  // namespace

namespace {

TEST(RunToEnd, AnswersTheExitCodeOrMinusOne) {
    EXPECT_EQ(runToEnd({"sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(runToEnd({"true"}), 0);
    EXPECT_EQ(runToEnd({"no-such-program-anywhere.exe"}), -1);
    EXPECT_EQ(runToEnd({"sh", "-c", "kill -9 $$"}), -1);
    EXPECT_EQ(runToEnd({}), -1);
}

TEST(StartCommandLine, FindsBareNamesInPathAndStartsWithNoSignalBlocked) {
    EXPECT_EQ(startCommandLine(u"   "), EINVAL);
    EXPECT_EQ(startCommandLine(u""), EINVAL);
    EXPECT_EQ(startCommandLine(u"no-such-program-anywhere.exe -x"), ENOENT);
    EXPECT_EQ(startCommandLine(u"/no/such/folder/prog"), ENOENT);

    // A caller that blocks signals for itself (a service reading them from a descriptor) must
    // not hand that mask to the programs it starts. Run in a child so this runner's mask stays.
    char dir[] = "/tmp/start-cmdline-XXXXXX";
    ASSERT_TRUE(::mkdtemp(dir));
    const std::string fifo = std::string(dir) + "/status";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGUSR1);
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
        const std::string line = "sh -c \"grep SigBlk /proc/self/status > " + fifo + "\"";
        ::_exit(startCommandLine(std::u16string(line.begin(), line.end())));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    // Opening the FIFO waits for the started program to write it.
    int fd = ::open(fifo.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::string text;
    char buf[128];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, std::size_t(n));
    ::close(fd);
    ::unlink(fifo.c_str());
    ::rmdir(dir);
    EXPECT_EQ(text, "SigBlk:\t0000000000000000\n");
}

}  // namespace
