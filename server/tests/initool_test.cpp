#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>

#include "lib/initool/initool.h"
#include "platform/system/storefile.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

using tessel::IniSnapshot;
using tessel::iniTool;
namespace fs = std::filesystem;
namespace text = platform::text;

namespace {

class IniToolTest : public ::testing::Test {
  protected:
    std::u16string path(const char* name) {
        return text::fromUtf8((machine.path() / name).string());
    }
    void write(const char* name, const std::string& bytes) {
        std::ofstream(machine.path() / name, std::ios::binary) << bytes;
    }
    std::string read(const char* name) {
        std::ifstream in(machine.path() / name, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    platform::testing::TempMachine machine;
};

}  // namespace

TEST_F(IniToolTest, FileNameCreatesAMissingFileAndLeavesAnExistingOne) {
    iniTool ini;
    ini.FileName(path("new.ini"));
    EXPECT_TRUE(fs::exists(machine.path() / "new.ini"));
    EXPECT_EQ(fs::file_size(machine.path() / "new.ini"), 0u);
    EXPECT_EQ(ini.FileName(), path("new.ini"));

    write("old.ini", "[A]\r\nk=v\r\n");
    ini.FileName(path("old.ini"));
    EXPECT_EQ(read("old.ini"), "[A]\r\nk=v\r\n");
}

TEST_F(IniToolTest, ReadsWithTheProfileRules) {
    write("a.ini",
          "orphan=before any section\r\n"
          "; comment\r\n"
          "[System]\r\n"
          "  Port  =  9900   \r\n"
          "quoted=\"  spaced  \"\r\n"
          "single='x'\r\n"
          "half=\"open\r\n"
          "port=second\r\n"
          ";hidden=1\r\n"
          "[SYSTEM]\r\n"
          "extra=not read\r\n"
          "[Other]\r\n"
          "k=v\r\n"
          "bare\r\n"
          "\xC3\x84\xC3\x96=umlaut\r\n"
          "[\xC3\x9C"
          "ber]\r\n"
          "k=\xC3\xBC\r\n");
    struct Case {
        const char16_t* section;
        const char16_t* key;
        const char16_t* expected;
    } cases[] = {
        {u"SYSTEM", u"PORT", u"9900"},        // names without case, blanks dropped
        {u"system", u"quoted", u"  spaced"},  // quotes stripped, then right-trimmed
        {u"System", u"single", u"x"},
        {u"System", u"half", u"\"open"},  // unmatched quote kept
        {u"System", u"extra", u"dflt"},   // the first duplicate section wins
        {u"System", u"hidden", u"dflt"},  // comment lines are not keys
        {u"Other", u"k", u"v"},
        {u"Missing", u"k", u"dflt"},
        {u"", u"orphan", u"dflt"},     // a key before any section belongs to none
        {u"Other", u"BARE", u""},      // a key without "=" has an empty value
        {u"other", u"äö", u"umlaut"},  // letter case beyond ASCII
        {u"üBER", u"K", u"ü"},
    };
    // The file read once answers every lookup as the file read for each one does.
    iniTool ini;
    ini.FileName(path("a.ini"));
    const IniSnapshot snapshot(ini);
    for (const auto& c : cases) {
        EXPECT_EQ(ini.GetValue(c.section, c.key, u"dflt"), c.expected)
            << text::toUtf8(c.section) << "/" << text::toUtf8(c.key);
        EXPECT_EQ(snapshot.GetValue(c.section, c.key, u"dflt"), c.expected)
            << text::toUtf8(c.section) << "/" << text::toUtf8(c.key);
    }
    iniTool both(iniTool::Trim::Both);
    both.FileName(path("a.ini"));
    EXPECT_EQ(IniSnapshot(both).GetValue(u"System", u"quoted"), u"spaced");
    EXPECT_EQ(IniSnapshot(both).GetValue(u"System", u"none", u"  d  "), u"d");
    iniTool missing;
    EXPECT_EQ(IniSnapshot(missing).GetValue(u"System", u"Port", u"x "), u"x");
}

TEST_F(IniToolTest, RightTrimForTheServerBothEndsForTheWatchdog) {
    write("t.ini", "[S]\nk=\"  both  \"\n");
    iniTool server;
    server.FileName(path("t.ini"));
    iniTool watchdog(iniTool::Trim::Both);
    watchdog.Filename(path("t.ini"));
    EXPECT_EQ(server.GetValue(u"S", u"k"), u"  both");
    EXPECT_EQ(watchdog.GetValue(u"S", u"k"), u"both");
    EXPECT_EQ(watchdog.Filename(), path("t.ini"));
    // Defaults follow the same rule.
    EXPECT_EQ(server.GetValue(u"S", u"none", u" d "), u" d");
    EXPECT_EQ(watchdog.GetValue(u"S", u"none", u" d "), u"d");
}

TEST_F(IniToolTest, LongAndKoreanValuesComeBackWhole) {
    iniTool ini;
    ini.FileName(path("long.ini"));
    std::u16string longValue(3000, u'x');
    std::u16string korean = u"증명서 발급 서버 한글 값";
    ASSERT_TRUE(ini.WriteValue(u"CERTPARAM", u"LayoutUrl", longValue));
    ASSERT_TRUE(ini.WriteValue(u"CERTPARAM", u"WinTitle", korean));
    EXPECT_EQ(ini.GetValue(u"CERTPARAM", u"LayoutUrl"), longValue);
    EXPECT_EQ(ini.GetValue(u"CERTPARAM", u"WinTitle"), korean);
    EXPECT_EQ(ini.GetValue(u"CERTPARAM", u"WinTitle").find(u'\0'), std::u16string::npos);
}

TEST_F(IniToolTest, KeepsTheFileEncodingAndLineEnds) {
    // CP949 bytes of "한글" (not valid UTF-8), LF line ends.
    write("ansi.ini", "[S]\nname=\xC7\xD1\xB1\xDB\n");
    iniTool ini;
    ini.FileName(path("ansi.ini"));
    EXPECT_EQ(ini.GetValue(u"S", u"name"), u"한글");
    ASSERT_TRUE(ini.WriteValue(u"S", u"more", u"값"));
    EXPECT_EQ(read("ansi.ini"), "[S]\nname=\xC7\xD1\xB1\xDB\nmore=\xB0\xAA\n");

    write("bom.ini", "\xEF\xBB\xBF[S]\r\nk=\xED\x95\x9C\r\n");
    ini.FileName(path("bom.ini"));
    EXPECT_EQ(ini.GetValue(u"S", u"k"), u"한");
    ASSERT_TRUE(ini.WriteValue(u"S", u"k", u"글"));
    EXPECT_EQ(read("bom.ini"), "\xEF\xBB\xBF[S]\r\nk=\xEA\xB8\x80\r\n");

    write("utf16.ini", std::string("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\x5C\xD5\r\0\n\0", 22));
    ini.FileName(path("utf16.ini"));
    EXPECT_EQ(ini.GetValue(u"S", u"k"), u"한");
}

// Bytes the ANSI code page cannot decode once came back as "?" after any write to the file.
TEST_F(IniToolTest, WritesLeaveUndecodableAnsiLinesAsTheyWere) {
    const std::string odd = "; \x80\xFF\xC7 comment\r\n[S]\r\nname=\xC7\xD1\xFF\r\nk=1\r\n";
    write("odd.ini", odd);
    iniTool ini;
    ini.FileName(path("odd.ini"));
    ASSERT_TRUE(ini.WriteValue(u"S", u"k", u"2"));
    EXPECT_EQ(read("odd.ini"), "; \x80\xFF\xC7 comment\r\n[S]\r\nname=\xC7\xD1\xFF\r\nk=2\r\n");
    ASSERT_TRUE(ini.WriteValue(u"T", u"new", u"값"));
    ASSERT_TRUE(ini.DeleteKey(u"S", u"k"));
    EXPECT_EQ(read("odd.ini"),
              "; \x80\xFF\xC7 comment\r\n[S]\r\nname=\xC7\xD1\xFF\r\n[T]\r\nnew=\xB0\xAA\r\n");
    // Nothing is left beside the file.
    EXPECT_FALSE(std::filesystem::exists(machine.path() / "odd.ini.tmp"));
}

// A file reached through a link is written through to its target; the link stays.
TEST_F(IniToolTest, WritesThroughALinkToItsTarget) {
    write("real.ini", "[S]\r\nk=1\r\n");
    std::filesystem::create_symlink(machine.path() / "real.ini", machine.path() / "link.ini");
    iniTool ini;
    ini.FileName(path("link.ini"));
    ASSERT_TRUE(ini.WriteValue(u"S", u"k", u"2"));
    EXPECT_TRUE(std::filesystem::is_symlink(machine.path() / "link.ini"));
    EXPECT_EQ(read("real.ini"), "[S]\r\nk=2\r\n");
}

// A link to nothing is left as it is: naming it makes no file at the link's target, and a
// write through it reports False with the reason, so no second copy of the settings starts
// apart from the file the link was meant to name.
TEST_F(IniToolTest, ALinkToNothingMakesNoFile) {
    fs::create_directory(machine.path() / "elsewhere");
    const fs::path target = machine.path() / "elsewhere" / "gone.ini";
    fs::create_symlink(target, machine.path() / "link.ini");
    iniTool ini;
    ini.FileName(path("link.ini"));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(ini.discardMadeFile());
    EXPECT_FALSE(ini.WriteValue(u"S", u"k", u"1"));
    EXPECT_NE(ini.lastWriteError().find("does not exist"), std::string::npos)
        << ini.lastWriteError();
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_symlink(machine.path() / "link.ini"));
}

// The empty file FileName made is removed on request only while it is still that empty file.
TEST_F(IniToolTest, OnlyTheStillEmptyMadeFileIsDiscarded) {
    iniTool ini;
    ini.FileName(path("first.ini"));
    EXPECT_TRUE(ini.discardMadeFile());
    EXPECT_FALSE(fs::exists(machine.path() / "first.ini"));

    ini.FileName(path("written.ini"));
    ASSERT_TRUE(ini.WriteValue(u"S", u"k", u"1"));
    EXPECT_FALSE(ini.discardMadeFile());
    EXPECT_EQ(read("written.ini"), "[S]\r\nk=1\r\n");

    write("theirs.ini", "");
    ini.FileName(path("theirs.ini"));
    EXPECT_FALSE(ini.discardMadeFile());
    EXPECT_TRUE(fs::exists(machine.path() / "theirs.ini"));
}

// Two writers of one INI, round after round: each one's temporary file is its own while it
// writes, so neither takes the other's for a killed writer's and removes it. Every write
// lands and says so; the file is whole after each round and nothing is left beside it.
TEST_F(IniToolTest, TwoWritersOfOneIniBothSucceedEveryRound) {
    std::string big = "[SYSTEM]\r\nPORT=9900\r\n";
    for (int i = 0; i < 400; ++i) big += "[S" + std::to_string(i) + "]\r\nk=some value\r\n";
    write("shared.ini", big);
    constexpr int kRounds = 300;
    std::atomic<int> failures{0};
    std::string reasons;
    std::mutex reasonsMutex;
    auto writer = [&](const char16_t* key) {
        iniTool ini;
        ini.FileName(path("shared.ini"));
        for (int round = 0; round < kRounds; ++round) {
            if (ini.WriteValue(u"SYSTEM", key, text::fromUtf8(std::to_string(round)))) continue;
            ++failures;
            std::lock_guard lock(reasonsMutex);
            reasons += ini.lastWriteError() + "\n";
        }
    };
    std::thread first(writer, u"A"), second(writer, u"B");
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0) << reasons;
    iniTool ini;
    ini.FileName(path("shared.ini"));
    EXPECT_EQ(ini.GetValue(u"SYSTEM", u"PORT"), u"9900");
    EXPECT_EQ(ini.GetAllSections().size(), 401u);
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(machine.path())) left.push_back(entry.path());
    EXPECT_EQ(left, std::vector<fs::path>{machine.path() / "shared.ini"});
}

// A temporary file a killed writer left (no writer holds it) is cleared by the next write;
// one a live writer holds is not.
TEST_F(IniToolTest, OnlyTemporaryFilesNoWriterHoldsAreCleared) {
    write("s.ini", "[S]\r\nk=1\r\n");
    write("s.ini.tmp.AAAAAA", "left by a killed writer");
    write("s.ini.tmp.BBBBBB", "being written");
    const int held = ::open((machine.path() / "s.ini.tmp.BBBBBB").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    iniTool ini;
    ini.FileName(path("s.ini"));
    EXPECT_TRUE(ini.WriteValue(u"S", u"k", u"2"));
    EXPECT_FALSE(fs::exists(machine.path() / "s.ini.tmp.AAAAAA"));
    EXPECT_EQ(read("s.ini.tmp.BBBBBB"), "being written");
    ::close(held);
    EXPECT_TRUE(ini.WriteValue(u"S", u"k", u"3"));
    EXPECT_FALSE(fs::exists(machine.path() / "s.ini.tmp.BBBBBB"));
    EXPECT_EQ(read("s.ini"), "[S]\r\nk=3\r\n");
}

TEST_F(IniToolTest, WritesKeepCommentsAndOrder) {
    write("w.ini", "; head\r\n[A]\r\na=1\r\n; note on b\r\nb=2\r\n\r\n[B]\r\nc=3\r\n");
    iniTool ini;
    ini.FileName(path("w.ini"));
    EXPECT_TRUE(ini.WriteValue(u"a", u"B", u"22"));   // replaced in place, case ignored
    EXPECT_TRUE(ini.WriteValue(u"A", u"new", u"n"));  // after the section's last entry
    EXPECT_TRUE(ini.WriteValue(u"C", u"d", u"4"));    // new section at the end
    EXPECT_EQ(read("w.ini"),
              "; head\r\n[A]\r\na=1\r\n; note on b\r\nB=22\r\nnew=n\r\n\r\n[B]\r\nc=3\r\n"
              "[C]\r\nd=4\r\n");
    EXPECT_EQ(ini.GetAllSections(), (std::vector<std::u16string>{u"A", u"B", u"C"}));
    EXPECT_EQ(ini.GetAllKeys(u"a"), (std::vector<std::u16string>{u"a", u"B", u"new"}));
    EXPECT_TRUE(ini.GetAllKeys(u"none").empty());

    EXPECT_TRUE(ini.DeleteKey(u"A", u"a"));
    EXPECT_TRUE(ini.DeleteSection(u"B"));
    EXPECT_EQ(read("w.ini"), "; head\r\n[A]\r\n; note on b\r\nB=22\r\nnew=n\r\n\r\n[C]\r\nd=4\r\n");
    EXPECT_TRUE(ini.DeleteKey(u"A", u"absent"));
}

TEST_F(IniToolTest, MissingFileGivesDefaultsAndEmptyListsAndUnwritablePathsReportFalse) {
    iniTool ini;
    EXPECT_EQ(ini.GetValue(u"S", u"k", u"d"), u"d");
    EXPECT_TRUE(ini.GetAllSections().empty());
    EXPECT_FALSE(ini.WriteValue(u"S", u"k", u"v"));
    ini.FileName(path("no/such/folder/x.ini"));
    EXPECT_EQ(ini.GetValue(u"S", u"k", u"d"), u"d");
    EXPECT_FALSE(ini.WriteValue(u"S", u"k", u"v"));
}

// Every write replaces the file whole: when the system fails it (a full disk, a quota, an I/O
// error) the old file stays byte for byte and nothing is left beside it.
TEST_F(IniToolTest, FailedWritesLeaveTheOldFileWhole) {
    const std::string old = "; keep\r\n[A]\r\na=1\r\nb=2\r\n[B]\r\nc=3\r\n";
    write("keep.ini", old);
    iniTool ini;
    ini.FileName(path("keep.ini"));
    const std::function<bool()> writes[] = {
        [&] { return ini.WriteValue(u"A", u"a", u"changed"); },
        [&] { return ini.WriteValue(u"New", u"k", u"v"); },
        [&] { return ini.DeleteKey(u"A", u"b"); },
        [&] { return ini.DeleteSection(u"B"); },
    };
    for (int error : {ENOSPC, EDQUOT, EIO}) {
        platform::system::setStoreWriteFault([error](const fs::path&) { return error; });
        for (const auto& change : writes) {
            EXPECT_FALSE(change());
            EXPECT_EQ(read("keep.ini"), old);
        }
    }
    platform::system::setStoreWriteFault(nullptr);
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(machine.path())) left.push_back(entry.path());
    EXPECT_EQ(left, std::vector<fs::path>{machine.path() / "keep.ini"});
    // Once the disk takes it, the write goes through; a file others may not read stays so.
    fs::permissions(machine.path() / "keep.ini", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(ini.WriteValue(u"A", u"a", u"changed"));
    EXPECT_EQ(read("keep.ini"), "; keep\r\n[A]\r\na=changed\r\nb=2\r\n[B]\r\nc=3\r\n");
    EXPECT_EQ(fs::status(machine.path() / "keep.ini").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

// A path naming a named pipe, a device or a folder is neither read (it would wait or never
// end) nor written over: reads give the defaults, writes report False and say why.
TEST_F(IniToolTest, PipesDevicesAndFoldersAreNeitherReadNorReplaced) {
    const fs::path pipe = machine.path() / "pipe.ini";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        fs::path file;
        const char* what;
    } cases[] = {
        {pipe, "a named pipe"}, {"/dev/zero", "a character device"}, {machine.path(), "a folder"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.string());
        const std::string why = c.file.string() + " is " + c.what + ", not a regular file";
        iniTool ini;
        ini.FileName(text::fromUtf8(c.file.string()));
        EXPECT_EQ(ini.GetValue(u"S", u"k", u"d"), u"d");
        EXPECT_TRUE(ini.GetAllSections().empty());
        EXPECT_FALSE(ini.WriteValue(u"S", u"k", u"v"));
        EXPECT_NE(ini.lastWriteError().find(why), std::string::npos) << ini.lastWriteError();
        EXPECT_FALSE(ini.DeleteSection(u"S"));
        EXPECT_NE(ini.lastWriteError().find(why), std::string::npos) << ini.lastWriteError();
        EXPECT_FALSE(ini.DeleteKey(u"S", u"k"));
        EXPECT_NE(ini.lastWriteError().find(why), std::string::npos) << ini.lastWriteError();
    }
    struct stat st {};
    ASSERT_EQ(::stat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
