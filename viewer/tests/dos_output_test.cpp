#include "viewer/dosoutput/dos_output.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <fcntl.h>

#include <fstream>
#include <thread>

#include "platform/testing/wait.h"

using namespace vistrel;

namespace {

// No child of this process is left unreaped.
bool noChildrenLeft() {
    int status;
    return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

TEST(ClassDosOutput, BlankCommandStartsNothing) {
    ClassDosOutput dos;
    for (const char16_t* blank : {u"", u"   "}) {
        EXPECT_FALSE(dos.Execute(blank, u"cmd.exe /c "));
        EXPECT_EQ(dos.ErrorNo(), 1);
        EXPECT_EQ(dos.ErrorMsg(), u"Command line is empty");
        EXPECT_EQ(dos.Command(), blank);
        EXPECT_EQ(dos.Output(), u"");
    }
}

TEST(ClassDosOutput, MissingProgramIsReportedAndThenCleared) {
    ClassDosOutput dos;
    EXPECT_FALSE(dos.Execute(u"no-such-program.exe /x", u""));
    EXPECT_EQ(dos.ErrorNo(), 3);
    EXPECT_EQ(dos.ErrorMsg(), u"File or command not found");
    // Through the interpreter the program is the shell, which answers with its own message.
    EXPECT_TRUE(dos.Execute(u"no-such-program.exe", u"cmd.exe /c "));
    EXPECT_EQ(dos.ErrorNo(), 0);
    EXPECT_EQ(dos.ErrorMsg(), u"");
    EXPECT_NE(dos.Output().find(u"no-such-program.exe"), std::u16string::npos);
}

TEST(ClassDosOutput, OutputAndErrorStreamsArriveTogetherInOrder) {
    ClassDosOutput dos;
    EXPECT_TRUE(dos.Execute(u"echo one; echo two 1>&2; echo three", u"cmd.exe /c "));
    EXPECT_EQ(dos.Output(), u"one\ntwo\nthree\n");
    EXPECT_TRUE(dos.Execute(u"true", u"cmd.exe /c "));
    EXPECT_EQ(dos.Output(), u"") << "a command that writes nothing";
    EXPECT_TRUE(noChildrenLeft());
}

TEST(ClassDosOutput, OutputIsTheSystemCodePage) {
    ClassDosOutput dos;
    EXPECT_TRUE(dos.Execute(u"printf '\\273\\347\\277\\353'", u"cmd.exe /c "));  // CP949 "사용"
    EXPECT_EQ(dos.Output(), u"사용");
}

TEST(ClassDosOutput, LargeOutputStopsJustPastTheCapAndEndsTheWriter) {
    ClassDosOutput dos;
    EXPECT_TRUE(dos.Execute(u"head -c 100000 /dev/zero | tr '\\0' a; sleep 30", u"cmd.exe /c "));
    EXPECT_GE(dos.Output().size(), ClassDosOutput::kOutputCap);
    EXPECT_LT(dos.Output().size(), ClassDosOutput::kOutputCap + ClassDosOutput::kReadSize);
    EXPECT_EQ(dos.Output().find_first_not_of(u'a'), std::u16string::npos);
    EXPECT_TRUE(noChildrenLeft()) << "the child is killed and reaped, not left running";
}

TEST(ClassDosOutput, ChildHoldingItsOutputOpenIsCutOffByTheTimeOut) {
    ClassDosOutput::Options options;
    options.timeout = std::chrono::milliseconds(300);
    ClassDosOutput dos(options);
    // The background sleep keeps the pipe open after the shell has answered.
    EXPECT_TRUE(dos.Execute(u"sleep 60 & echo $!", u"cmd.exe /c "));
    EXPECT_TRUE(dos.TimedOut());
    pid_t sleeper = pid_t(std::stol(std::string(dos.Output().begin(), dos.Output().end() - 1)));
    ASSERT_GT(sleeper, 0);
    // The whole process group went with the shell: the sleeper is gone or a zombie of init.
    const bool ended = platform::testing::waitFor(
        [&] {
            std::ifstream stat("/proc/" + std::to_string(sleeper) + "/stat");
            std::string text((std::istreambuf_iterator<char>(stat)), {});
            return text.empty() || text.find(") Z") != std::string::npos;
        },
        std::chrono::seconds(2));
    EXPECT_TRUE(ended);
    EXPECT_TRUE(noChildrenLeft());
}

TEST(ClassDosOutput, WithoutTimeOutItWaitsForTheCommandToFinishItsOutput) {
    ClassDosOutput dos;
    EXPECT_TRUE(dos.Execute(u"sleep 0.2; echo stopped", u"cmd.exe /c "));
    EXPECT_EQ(dos.Output(), u"stopped\n");
    EXPECT_FALSE(dos.TimedOut());
}

TEST(ClassDosOutput, CallerDescriptorsDoNotReachTheChild) {
    int socketLike = ::open("/dev/null", O_RDONLY);
    ClassDosOutput dos;
    EXPECT_TRUE(dos.Execute(u"ls /proc/self/fd", u"cmd.exe /c "));
    ::close(socketLike);
    EXPECT_EQ(dos.Output(), u"0\n1\n2\n3\n");  // 3 is the listing ls itself opens
}

TEST(ClassDosOutput, LogHookGetsTheSteps) {
    std::vector<std::pair<std::u16string, int>> lines;
    ClassDosOutput::Options options;
    options.log = [&](std::u16string_view t, std::int16_t l) { lines.emplace_back(t, l); };
    ClassDosOutput dos(options);
    EXPECT_TRUE(dos.Execute(u"echo hi", u"cmd.exe /c "));
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines.front(), (std::pair<std::u16string, int>{u"Dos.Excute 시작", 6}));
    EXPECT_EQ(lines.back(), (std::pair<std::u16string, int>{u"Dos.Excute 종료", 6}));
    EXPECT_EQ(lines[1], (std::pair<std::u16string, int>{u"파이프 생성", 7}));
    lines.clear();
    dos.Execute(u" ", u"");
    EXPECT_EQ(lines.size(), 1u) << "a blank command logs only its start";
}

}  // namespace
