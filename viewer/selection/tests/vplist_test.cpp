#include "viewer/selection/vplist.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/system/storefile.h"
#include "platform/testing/run_program.h"
#include "platform/text/codepage.h"
#include "selection_fixture.h"
#include "viewer/selection/drivers.h"

using namespace vistrel;
using platform::testing::runProgram;
using selection_test::DescribedMachine;
namespace fs = std::filesystem;

namespace {

std::u16string plain(std::initializer_list<std::u16string> records) {
    std::u16string text;
    for (const auto& r : records) {
        if (!text.empty()) text += char16_t(7);
        text += r;
    }
    return text;
}

// A record's two fields.
std::u16string rec(const char16_t* a, const char16_t* b) {
    return std::u16string(a) + char16_t(8) + b;
}

const SelectionLists& lists() {
    return moduleState().lists;
}

}  // namespace

TEST(VirtualPrinterList, WrittenByTheToolAndReadBack) {
    DescribedMachine machine;
    const fs::path file = machine.systemFolder() / "vplist.exml";
    const fs::path records = machine.path() / "records.txt";
    std::ofstream(records) << "# the kiosk's list\n"
                              "ACME PDF Writer\tACMEPORT:\n"
                              "\n"
                              "가상프린터 프로그램\tcapture.exe\n"
                              "a,Kiosk Laser\tany\r\n"
                              "원격 제어 프로그램\tremote.exe\n";
    auto written = runProgram(VPLIST, {"write", file.string(), records.string()});
    ASSERT_EQ(written.exitCode, 0) << written.err;

    auto listed = runProgram(VPLIST, {"list", file.string()});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out,
              "ACME PDF Writer\tACMEPORT:\n가상프린터 프로그램\tcapture.exe\n"
              "a,Kiosk Laser\tany\n원격 제어 프로그램\tremote.exe\n");

    // The file is an XML document whose text is no plain list.
    std::ifstream in(file);
    std::string document((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(document.rfind("<?xml", 0), 0u);
    EXPECT_EQ(document.find("ACME"), std::string::npos);

    ASSERT_TRUE(SetVirtualPrinter());
    EXPECT_EQ(lists().VirtualPrinterCount, 2);
    EXPECT_EQ(lists().VirtualPrinterList,
              (std::vector<VirtualPrinterRecord>{{u"acme pdf writer", u"acmeport:"},
                                                 {u"a,kiosk laser", u"any"}}));
    EXPECT_EQ(lists().ProgramList,
              (std::vector<ProgramRecord>{{u"가상프린터 프로그램", u"capture.exe"},
                                          {u"원격 제어 프로그램", u"remote.exe"}}));

    // Reading again rebuilds the lists from empty.
    ASSERT_TRUE(SetVirtualPrinter());
    EXPECT_EQ(lists().VirtualPrinterList.size(), 2u);
    EXPECT_EQ(lists().ProgramList.size(), 2u);
}

TEST(VirtualPrinterList, ModelsLoseLineBreakPairsAndCase) {
    DescribedMachine machine;
    ASSERT_TRUE(machine.writeList({{u"Two\r\nLines\rX", u"Port\r\nOne:"}}));
    ASSERT_TRUE(SetVirtualPrinter());
    ASSERT_EQ(lists().VirtualPrinterCount, 1);
    EXPECT_EQ(lists().VirtualPrinterList[0].model, u"twolines\rx");
    EXPECT_EQ(lists().VirtualPrinterList[0].port, u"port\r\none:");
}

TEST(VirtualPrinterList, MissingOrNotXmlIsAnEmptyList) {
    DescribedMachine machine;
    moduleState().lists.VirtualPrinterList = {{u"stale", u"stale:"}};
    moduleState().lists.VirtualPrinterCount = 1;
    EXPECT_TRUE(SetVirtualPrinter());
    EXPECT_EQ(lists().VirtualPrinterCount, 0);
    EXPECT_TRUE(lists().VirtualPrinterList.empty());

    ASSERT_TRUE(machine.writeList({{u"A", u"B"}}));
    ASSERT_TRUE(SetVirtualPrinter());
    std::ofstream(machine.systemFolder() / "vplist.exml") << "<vplist>unclosed";
    EXPECT_TRUE(SetVirtualPrinter());
    EXPECT_EQ(lists().VirtualPrinterCount, 0);
    EXPECT_TRUE(lists().VirtualPrinterList.empty());

    // Case does not matter to the file's name.
    fs::remove(machine.systemFolder() / "vplist.exml");
    std::string error;
    ASSERT_TRUE(
        writeVirtualPrinterFile(machine.systemFolder() / "VPLIST.EXML", {{u"A", u"B"}}, error));
    EXPECT_TRUE(SetVirtualPrinter());
    EXPECT_EQ(lists().VirtualPrinterList, (std::vector<VirtualPrinterRecord>{{u"a", u"b"}}));
}

TEST(VirtualPrinterList, DamagedListsKeepWhatWasReadAndFail) {
    DescribedMachine machine;
    const fs::path file = machine.systemFolder() / "vplist.exml";
    struct Case {
        const char* name;
        std::u16string text;
        bool ok;
        std::size_t kept;
    } cases[] = {
        {"no records", plain({u"0"}), true, 0},
        {"count beyond the records", plain({u"3", rec(u"A", u"a:"), rec(u"B", u"b:")}), false, 2},
        {"short record", plain({u"2", rec(u"A", u"a:"), u"B only"}), false, 1},
        {"count not a number", plain({u"two", rec(u"A", u"a:")}), false, 0},
        {"empty list", u"", false, 0},
        {"fewer counted than written", plain({u"1", rec(u"A", u"a:"), rec(u"B", u"b:")}), true, 1},
        {"extra fields", plain({u"1", rec(u"A", u"a:") + char16_t(8) + u"more"}), true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        ASSERT_TRUE(writeVirtualPrinterText(file, c.text, error)) << error;
        EXPECT_EQ(SetVirtualPrinter(), c.ok);
        EXPECT_EQ(lists().VirtualPrinterList.size(), c.kept);
        EXPECT_EQ(std::size_t(lists().VirtualPrinterCount), c.kept);
    }

    // XML whose text does not decipher.
    std::ofstream(file) << "<?xml version=\"1.0\"?><vplist>QUJDRA==</vplist>";
    EXPECT_FALSE(SetVirtualPrinter());
    EXPECT_TRUE(lists().VirtualPrinterList.empty());
    std::ofstream(file) << "<vplist>not base64!</vplist>";
    EXPECT_FALSE(SetVirtualPrinter());
    auto listed = runProgram(VPLIST, {"list", file.string()});
    EXPECT_EQ(listed.exitCode, 1);

    // The tool reports the damage after the records it could read.
    std::string error;
    ASSERT_TRUE(writeVirtualPrinterText(file, plain({u"2", rec(u"A", u"a:")}), error));
    listed = runProgram(VPLIST, {"list", file.string()});
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_EQ(listed.out, "A\ta:\n");
}

TEST(VirtualPrinterList, ToolRefusesBadInput) {
    DescribedMachine machine;
    const fs::path records = machine.path() / "records.txt";
    std::ofstream(records) << "no tab here\n";
    const std::string file = (machine.path() / "out.exml").string();
    EXPECT_EQ(runProgram(VPLIST, {"write", file, records.string()}).exitCode, 2);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(runProgram(VPLIST, {"write"}).exitCode, 2);
    EXPECT_EQ(runProgram(VPLIST, {"list", file}).exitCode, 1);
    EXPECT_EQ(runProgram(VPLIST, {"write", file, (machine.path() / "none").string()}).exitCode, 1);
}

// Both the records file and the list file are read only as regular files: a named pipe with
// no writer or an endless device is refused at once, and nothing is written.
TEST(VirtualPrinterList, ToolReadsOnlyRegularFiles) {
    DescribedMachine machine;
    const fs::path pipe = machine.path() / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string file = (machine.path() / "out.exml").string();
    for (const fs::path& given : {pipe, fs::path("/dev/zero"), machine.path()}) {
        SCOPED_TRACE(given.string());
        auto write = runProgram(VPLIST, {"write", file, given.string()});
        EXPECT_EQ(write.exitCode, 1);
        EXPECT_NE(write.err.find("not a regular file"), std::string::npos) << write.err;
        EXPECT_FALSE(fs::exists(file));
        auto list = runProgram(VPLIST, {"list", given.string()});
        EXPECT_EQ(list.exitCode, 1);
        EXPECT_EQ(list.err, "vplist: no list file " + given.string() + "\n");
    }
}

// A list that cannot be written whole (the disk is full) leaves the old list as it was.
TEST(VirtualPrinterList, AFailedWriteLeavesTheOldListWhole) {
    DescribedMachine machine;
    const fs::path file = machine.path() / "list.exml";
    std::string error;
    ASSERT_TRUE(writeVirtualPrinterFile(file, {{u"A", u"a:"}}, error)) << error;
    std::ifstream in(file, std::ios::binary);
    const std::string old((std::istreambuf_iterator<char>(in)), {});
    platform::system::setStoreWriteFault([](const fs::path&) { return ENOSPC; });
    EXPECT_FALSE(writeVirtualPrinterFile(file, {{u"B", u"b:"}, {u"C", u"c:"}}, error));
    platform::system::setStoreWriteFault(nullptr);
    EXPECT_NE(error.find("the disk is full"), std::string::npos) << error;
    std::ifstream again(file, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), old);
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(machine.path()))
        files += entry.path().filename().string().starts_with("list.exml");
    EXPECT_EQ(files, 1u);
}

TEST(VirtualPrinterList, FeedsTheFileHeuristics) {
    DescribedMachine machine;
    ASSERT_TRUE(machine.writeList({{u"ACME PDF Writer", u"ACMEPORT:"}, {u"", u""}}));
    ASSERT_TRUE(SetVirtualPrinter());
    EXPECT_TRUE(IsFilePrinter(u"ACME PDF Writer", u"usb001"));
    EXPECT_TRUE(IsFilePrinter(u"Other", u"acmeport:"));
    // The record with empty fields refuses nothing.
    EXPECT_FALSE(IsFilePrinter(u"Other", u"usb001"));
}
