// regsvr and comcall as a user runs them, in a temporary machine folder.
#include <gtest/gtest.h>

#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"

using platform::testing::runProgram;

namespace {
class Tools : public ::testing::Test {
  protected:
    platform::testing::TempMachine machine;
};
}  // namespace

TEST_F(Tools, RegisterCallAndUnregisterTheTestServer) {
    auto reg = runProgram(REGSVR, {COMTEST_LIBRARY});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;
    EXPECT_NE(reg.out.find("DllRegisterServer"), std::string::npos);

    auto sum = runProgram(COMCALL, {"ComTest.Calculator", "Add", "40", "2"});
    EXPECT_EQ(sum.exitCode, 0) << sum.err;
    EXPECT_EQ(sum.out, "42\n");

    auto named = runProgram(COMCALL, {"--new", "ComTest.Calculator.1", "Name=한글", "Name"});
    EXPECT_EQ(named.out, "한글\n");

    auto failed = runProgram(COMCALL, {"ComTest.Calculator", "Fail"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, "error 0x80070057: 잘못된 값입니다\n");

    auto mismatch = runProgram(COMCALL, {"ComTest.Calculator", "Add", "x", "2"});
    EXPECT_EQ(mismatch.exitCode, 1);
    EXPECT_EQ(mismatch.err.substr(0, 16), "error 0x80020005");

    auto unreg = runProgram(REGSVR, {"-u", COMTEST_LIBRARY});
    ASSERT_EQ(unreg.exitCode, 0) << unreg.err;
    auto gone = runProgram(COMCALL, {"ComTest.Calculator", "Add", "1", "2"});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(gone.err.substr(0, 16), "error 0x800401F3");
}

TEST_F(Tools, UsageAndLoadErrors) {
    EXPECT_EQ(runProgram(REGSVR, {}).exitCode, 2);
    EXPECT_EQ(runProgram(REGSVR, {"/nonexistent/libnothing.so"}).exitCode, 3);
    EXPECT_EQ(runProgram(COMCALL, {"OnlyProgId"}).exitCode, 2);
}
