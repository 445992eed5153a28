#include "viewer/log/log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "platform/system/files.h"
#include "platform/testing/calendar.h"
#include "platform/testing/temp_machine.h"

using namespace vistrel;
namespace fs = std::filesystem;

namespace {

using platform::testing::at;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Log : public ::testing::Test {
  protected:
    void SetUp() override {
        resetLog();
        folder_ = machine_.path() / "bin";
        fs::create_directories(folder_ / "logs");
        setLogLocation(folder_, "Vistrel");
        setLogClock([this] { return now_; });
        setLogEnabled(true);
    }
    void TearDown() override { resetLog(); }

    platform::testing::TempMachine machine_;
    fs::path folder_;
    std::tm now_ = at(2026, 12, 8, 14, 3, 9);
};

TEST_F(Log, LineFormatAndDailyFileName) {
    WriteLog(u"파이프 생성", 7);
    WriteLog(u"끝", 0, 0);
    fs::path file = folder_ / "logs" / "Vistrel_20261208.log";
    EXPECT_EQ(logFileName(), file);
    EXPECT_EQ(slurp(file), "2026-12-08 14:03:09" + std::string(16, ' ') + "파이프 생성\r\n" +
                               "2026-12-08 14:03:09  끝\r\n");
}

TEST_F(Log, IndentationByLevelNeverNegative) {
    struct Case {
        std::int16_t level;
        std::size_t spaces;
    } cases[] = {{-1, 0}, {0, 2}, {6, 14}, {7, 16}, {-2, 0}, {-32768, 0}};
    const std::tm t = at(2026, 1, 2, 3, 4, 5);
    for (const auto& c : cases)
        EXPECT_EQ(ViewerLogLine(t, u"x", c.level),
                  u"2026-01-02 03:04:05" + std::u16string(c.spaces, u' ') + u"x")
            << c.level;
    WriteLog(u"below", -5);
    EXPECT_EQ(slurp(logFileName()), "2026-12-08 14:03:09below\r\n") << "the line is kept";
}

TEST_F(Log, RunPastMidnightStaysInTheFirstDaysFile) {
    now_ = at(2026, 12, 31, 23, 59, 0);
    WriteLog(u"before", 1);
    now_ = at(2027, 1, 1, 0, 1, 0);
    WriteLog(u"after", 1);
    EXPECT_FALSE(fs::exists(folder_ / "logs" / "Vistrel_20270101.log"));
    EXPECT_EQ(slurp(folder_ / "logs" / "Vistrel_20261231.log"),
              "2026-12-31 23:59:00    before\r\n2027-01-01 00:01:00    after\r\n");
}

TEST_F(Log, SwitchedOffTouchesNothing) {
    fs::remove_all(folder_ / "logs");
    setLogEnabled(false);
    WriteLog(u"text", 1);
    EXPECT_TRUE(logFileName().empty());
    EXPECT_FALSE(fs::exists(folder_ / "logs"));
}

TEST_F(Log, MissingFolderLosesLinesSilently) {
    fs::remove_all(folder_ / "logs");
    WriteLog(u"lost", 1);
    EXPECT_FALSE(fs::exists(folder_ / "logs"));
    EXPECT_EQ(logFileName(), folder_ / "logs" / "Vistrel_20261208.log") << "kept for later lines";
    fs::create_directories(folder_ / "logs");
    WriteLog(u"found", 1);
    EXPECT_EQ(slurp(logFileName()), "2026-12-08 14:03:09    found\r\n");
}

TEST(LogSwitch, OffByDefaultOnByEnvironment) {
    resetLog();
    ::unsetenv("TESSEL_VISTREL_LOG");
    EXPECT_FALSE(logEnabled());
    for (const char* on : {"1", "on", "YES", "true"}) {
        resetLog();
        ::setenv("TESSEL_VISTREL_LOG", on, 1);
        EXPECT_TRUE(logEnabled()) << on;
    }
    resetLog();
    ::setenv("TESSEL_VISTREL_LOG", "0", 1);
    EXPECT_FALSE(logEnabled());
    ::unsetenv("TESSEL_VISTREL_LOG");
    resetLog();
}

TEST(LogLocation, DefaultsToTheFolderAndNameOfTheHoldingFile) {
    // In the tests the code lives in the test program itself.
    resetLog();
    setLogEnabled(true);
    setLogClock([] { return at(2026, 12, 8, 0, 0, 0); });
    const fs::path self = platform::system::programFile();
    const fs::path logs = self.parent_path() / "logs";
    ASSERT_FALSE(fs::exists(logs)) << "a logs folder beside the test program would take its lines";
    WriteLog(u"x", 0);
    // The name is fixed by the first line even when the line is lost for want of the folder,
    // and the folder is never created.
    EXPECT_EQ(logFileName(), logs / (self.filename().string() + "_20261208.log"));
    EXPECT_FALSE(fs::exists(logs));
    resetLog();
}

}  // namespace
