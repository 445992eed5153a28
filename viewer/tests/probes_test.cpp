#include "viewer/probes/probes.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/system/description.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/codepage.h"

using namespace vistrel;
namespace fs = std::filesystem;

namespace {

std::u16string u16(const fs::path& p) {
    return platform::text::fromUtf8(p.string());
}

TEST(FileExist, FilesFoldersAndPatterns) {
    platform::testing::TempMachine machine;
    const fs::path root = machine.path() / "probe";
    fs::create_directories(root / "sub");
    std::ofstream(root / "net.exe") << "x";
    std::ofstream(root / ".hidden") << "x";
    struct Case {
        std::u16string path;
        bool exists;
    } cases[] = {
        {u"", false},
        {u16(root / "net.exe"), true},
        {u16(root / "net1.exe"), false},
        {u16(root / "sub"), true},  // a folder counts
        {u16(root / "*.exe"), true},
        {u16(root / "n?t.exe"), true},
        {u16(root / "*.dll"), false},
        {u16(root / ".hid*"), true},   // hidden files match too
        {u16(root) + u"\\sub", true},  // either separator
        {u16(root) + u"\\*.exe", true},
        // The platform ignores case: the last part matches without it when nothing matches
        // exactly.
        {u16(root / "NET.EXE"), true},
        {u16(root) + u"\\Net.Exe", true},
        {u16(root / "SUB"), true},
        {u16(root / "NET.EXE1"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileExist(c.path), c.exists) << platform::text::toUtf8(c.path);
}

TEST(GetFileVersionText, ReadsTheDescribedVersionBlocks) {
    platform::testing::TempMachine machine;
    ASSERT_TRUE(platform::system::describeMachine(R"j({"versionBlocks": {
        "C:\\Windows\\System32\\spool\\drivers\\W32X86\\3\\ML2570.DLL":
            {"translations": [[1042, 1200], [1033, 1200]],
             "strings": {"CompanyName": "Samsung", "FileVersion": "3.0"}},
        "C:\\drv\\PSCRIPT5.DLL": {"translations": [[1033, 1252]],
             "strings": {"CompanyName": "Microsoft", "FileDescription": "PostScript Printer Driver",
                         "FileVersion": "0.3", "InternalName": "PSCRIPT5.DLL",
                         "LegalCopyright": "(c)", "OriginalFilename": "PSCRIPT5.DLL",
                         "ProductName": "Windows", "ProductVersion": "6.1"}},
        "C:\\drv\\readme.txt": null,
        "C:\\drv\\NOTRANS.DLL": {"strings": {"CompanyName": "x"}}
    }})j"));
    FileVersionStrings two =
        GetFileVersionText(u"c:\\windows\\system32\\spool\\drivers\\w32x86\\3\\ml2570.dll");
    EXPECT_EQ(two, (FileVersionStrings{u"Samsung", u"?", u"3.0", u"?", u"?", u"?", u"?", u"?"}));

    FileVersionStrings all = GetFileVersionText(u"C:\\drv\\PSCRIPT5.DLL");
    EXPECT_EQ(all.FileDescription, u"PostScript Printer Driver");
    EXPECT_EQ(all.OriginalFileName, u"PSCRIPT5.DLL") << "the names compare without case";
    EXPECT_EQ(all.ProductVersion, u"6.1");

    const FileVersionStrings empty{};
    EXPECT_EQ(GetFileVersionText(u"C:\\drv\\readme.txt"), empty) << "no version block";
    EXPECT_EQ(GetFileVersionText(u"C:\\drv\\NOTRANS.DLL"), empty) << "no translation";
    EXPECT_EQ(GetFileVersionText(u"C:\\drv\\missing.dll"), empty);

    GetFileVersionText(u"C:\\drv\\PSCRIPT5.DLL");
    EXPECT_EQ(GetFileVersionText(u""), empty) << "not the previous file's values";
}

}  // namespace
