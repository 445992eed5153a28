#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/system/files.h"
#include "platform/testing/temp_machine.h"

namespace platform::system {
namespace {

namespace fs = std::filesystem;

TEST(Files, ProgramAndModuleFiles) {
    EXPECT_EQ(programFile().filename(), "system_tests");
    // A function of the system module lies in its shared library, not in the program.
    EXPECT_EQ(moduleFile(reinterpret_cast<const void*>(&programFile)).filename(),
              "libtessel_system.so");
    EXPECT_EQ(moduleFile(nullptr), fs::path());
}

TEST(Files, FindFilesMatchesTheLastComponent) {
    platform::testing::TempMachine machine;
    const fs::path folder = machine.path();
    for (const char* name : {"net.exe", "NET.EXE", ".hidden.exe", "netsh.com", "readme.txt"})
        std::ofstream(folder / name) << "x";
    auto names = [](std::vector<fs::path> files) {
        std::vector<std::string> out;
        for (const auto& f : files) out.push_back(f.filename().string());
        std::sort(out.begin(), out.end());
        return out;
    };
    using List = std::vector<std::string>;
    EXPECT_EQ(names(findFiles(folder / "*.exe")), (List{".hidden.exe", "net.exe"}));
    EXPECT_EQ(names(findFiles(folder / "net???.com")), List{});
    EXPECT_EQ(names(findFiles(folder / "net??.com")), List{"netsh.com"});
    EXPECT_EQ(names(findFiles(folder / "readme.txt")), List{"readme.txt"});
    EXPECT_TRUE(findFiles(folder / "missing.txt").empty());
    EXPECT_TRUE(findFiles(folder / "no-such-folder" / "*").empty());
    // Without regard to case the last component matches as the platform's search does; an
    // exact name is the only match then.
    EXPECT_EQ(names(findFiles(folder / "Net.Exe", NameCase::Ignore)), (List{"NET.EXE", "net.exe"}));
    EXPECT_EQ(names(findFiles(folder / "NET.EXE", NameCase::Ignore)), List{"NET.EXE"});
    EXPECT_EQ(names(findFiles(folder / "README.*", NameCase::Ignore)), List{"readme.txt"});
    EXPECT_TRUE(findFiles(folder / "Net.Exe").empty());
    EXPECT_EQ(findFiles(folder.string() + "/"), std::vector<fs::path>{folder.string() + "/"});
    // Matches keep the folder as the pattern gave it.
    EXPECT_EQ(findFiles(folder / "read*").front(), folder / "readme.txt");
}

TEST(Files, RandomBytesFillTheWholeSpan) {
    std::vector<std::uint8_t> a(4096), b(4096);
    ASSERT_TRUE(randomBytes(a));
    ASSERT_TRUE(randomBytes(b));
    EXPECT_NE(a, b);
    // Each byte value appears: a short or partial fill would leave long runs of zeros.
    EXPECT_LT(std::count(a.begin(), a.end(), 0), 64);
    EXPECT_TRUE(randomBytes({}));
}

}  // namespace
}  // namespace platform::system
