// The library as the broker meets it: registered with regsvr, created by its ProgID and driven
// by comcall, each run a process of its own over the same machine folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/registry/registry.h"
#include "platform/system/description.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"

using platform::registry::Root;
using platform::testing::runProgram;
namespace registry = platform::registry;

TEST(KestrumTools, RegistersAndAnswersThroughComcall) {
    platform::testing::TempMachine machine;
    auto reg = runProgram(REGSVR, {KESTRUM_LIBRARY});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;
    EXPECT_EQ(registry::getString(Root::ClassesRoot, u"Kestrum.UAC\\CLSID", u""),
              std::optional<std::u16string>(u"{914C7DA0-46A3-4ACA-82C9-1747F78FC836}"));
    EXPECT_TRUE(
        registry::keyExists(Root::ClassesRoot, u"TypeLib\\{350DF115-0569-439F-8937-EAFBFB27EE87}"));

    ASSERT_TRUE(platform::system::describeMachine(
        R"({"printers": [{"device": "P1", "port": "USB001", "driver": "D", "attributes": "0x243",
            "devMode": {"printQuality": -4}}]})"));
    const std::string file = (machine.path() / "note.txt").string();
    auto run = runProgram(COMCALL, {"Kestrum.UAC",
                                    "m_Version",
                                    "--",
                                    "m_SpoolerUse",
                                    "1",
                                    "P1",
                                    "--",
                                    "m_prnProperty",
                                    "P1",
                                    "--",
                                    "m_PrintQuality",
                                    "600",
                                    "P1",
                                    "--",
                                    "m_SaveAppend",
                                    file,
                                    "abc,def",
                                    "--",
                                    "m_LoadFile",
                                    file,
                                    "--",
                                    "m_DisableClearType"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "1.0.0.6\n\n576\n-4\n\nabc\n\n");
    EXPECT_FALSE(std::filesystem::exists(file));

    // Machine-wide state seen by the next process.
    EXPECT_EQ(runProgram(COMCALL, {"Kestrum.UAC", "m_GetClearTypeFont"}).out, "0\n");
    EXPECT_EQ(runProgram(COMCALL, {"Kestrum.UAC", "m_PrintQuality", "300", "P1"}).out, "600\n");

    auto failed = runProgram(COMCALL, {"Kestrum.UAC", "m_PrintQuality", "40000", "P1"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("0x800A0006"), std::string::npos) << failed.err;
    auto relative = runProgram(COMCALL, {"Kestrum.UAC", "m_SaveAppend", "note.txt", "x"});
    EXPECT_NE(relative.err.find("0x800A004B"), std::string::npos) << relative.err;

    auto unreg = runProgram(REGSVR, {"-u", KESTRUM_LIBRARY});
    ASSERT_EQ(unreg.exitCode, 0) << unreg.err;
    EXPECT_EQ(runProgram(COMCALL, {"Kestrum.UAC", "m_Version"}).exitCode, 1);
}
