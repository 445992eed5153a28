// Files in protected folders, the MAC address and font smoothing.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/system/guardedfiles.h"
#include "platform/system/identity.h"
#include "platform/system/machine.h"
#include "platform/system/parameters.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/codepage.h"
#include "privileged/tests/test_util.h"

using namespace platform::com;
using kestrum::testing::callUac;
namespace fs = std::filesystem;
using platform::text::fromUtf8;

namespace {

class KestrumFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = machine.path() / "work";
        fs::create_directories(dir);
    }
    std::u16string at(const std::string& name) const { return fromUtf8((dir / name).string()); }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    platform::testing::TempMachine machine;
    fs::path dir;
};

constexpr HRESULT vb(unsigned n) {
    return hr(0x800A0000u + n);
}

}  // namespace

TEST_F(KestrumFiles, LoadSaveAndAppendFollowTheirTextRules) {
    const struct {
        std::string contents;
        std::u16string field;
    } loads[] = {{"abc,def", u"abc"},
                 {"  \"a, b\",c\r\n", u"a, b"},
                 {"first line\r\nsecond", u"first line"},
                 {"\xB0\xA1\xB3\xAA", u"가나"},
                 {" \t spaced out ,x", u"spaced out"},
                 {"\"unclosed, to the end\r\n", u"unclosed, to the end\r\n"},
                 {"\"\xB0\xA1\",\"b\"", u"가"}};
    for (const auto& l : loads) {
        std::ofstream(dir / "in.txt", std::ios::binary) << l.contents;
        auto out = callUac(0x60030006, {Variant(at("in.txt"))});
        EXPECT_EQ(out.status, S_OK);
        EXPECT_EQ(out.result.toText(), l.field);
        EXPECT_FALSE(fs::exists(dir / "in.txt"));
    }
    std::ofstream(dir / "empty.txt").close();
    const auto pastEnd = callUac(0x60030006, {Variant(at("empty.txt"))});
    EXPECT_EQ(pastEnd.status, vb(62));
    EXPECT_EQ(pastEnd.description, u"Input past end of file");
    EXPECT_TRUE(fs::exists(dir / "empty.txt"));
    EXPECT_EQ(callUac(0x60030006, {Variant(at("missing.txt"))}).result.toText(), u"");
    EXPECT_EQ(callUac(0x60030006, {Variant(u"")}).result.toText(), u"");

    callUac(0x60030014, {Variant(at("log.txt")), Variant(u"a")});
    callUac(0x60030014, {Variant(at("log.txt")), Variant(u"a")});
    EXPECT_EQ(read(dir / "log.txt"), "a\r\na\r\n");
    callUac(0x60030013, {Variant(at("log.txt")), Variant(u"가")});
    EXPECT_EQ(read(dir / "log.txt"), "\xB0\xA1");
}

// Bytes this process has read through read(2) and its kin so far.
std::uint64_t bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

// A loaded file is read as far as its first field goes, and only a regular file is read: what
// never ends or blocks (a device, a named pipe) and a folder are refused and left in place.
TEST_F(KestrumFiles, LoadReadsOnlyTheFirstFieldOfARegularFile) {
    {
        std::ofstream big(dir / "big.txt", std::ios::binary);
        big << "abc,";
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 64; ++i) big << block;
    }
    const std::uint64_t before = bytesReadSoFar();
    const auto out = callUac(0x60030006, {Variant(at("big.txt"))});
    const std::uint64_t read = bytesReadSoFar() - before;
    EXPECT_EQ(out.status, S_OK);
    EXPECT_EQ(out.result.toText(), u"abc");
    EXPECT_LT(read, std::uint64_t(1) << 20);  // of 64 MiB
    EXPECT_FALSE(fs::exists(dir / "big.txt"));

    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directories(dir / "folder");
    const struct {
        const char* what;
        fs::path path;
    } refused[] = {
        {"a named pipe", dir / "pipe"}, {"a device", "/dev/zero"}, {"a folder", dir / "folder"}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(callUac(0x60030006, {Variant(fromUtf8(r.path.string()))}).status, vb(75));
        EXPECT_TRUE(fs::exists(r.path));
    }
}

TEST_F(KestrumFiles, MoveReplacesTheTargetInOneStep) {
    std::ofstream(dir / "src") << "new";
    std::ofstream(dir / "dst") << "old";
    EXPECT_EQ(callUac(0x60030005, {Variant(at("src")), Variant(at("dst"))}).status, S_OK);
    EXPECT_EQ(read(dir / "dst"), "new");
    EXPECT_FALSE(fs::exists(dir / "src"));
    // A missing source moves nothing; a target that cannot be replaced fails and survives.
    EXPECT_EQ(callUac(0x60030005, {Variant(at("src")), Variant(at("dst"))}).status, S_OK);
    EXPECT_EQ(read(dir / "dst"), "new");
    std::ofstream(dir / "src") << "newer";
    fs::create_directories(dir / "folder");
    const auto refused = callUac(0x60030005, {Variant(at("src")), Variant(at("folder"))});
    EXPECT_EQ(refused.status, vb(75));
    EXPECT_EQ(refused.description, u"Path/File access error");
    EXPECT_EQ(read(dir / "src"), "newer");
}

// One file under two names: a move onto itself changes nothing and succeeds, as naming the same
// path twice does (replacing the target, which is the file itself, would remove it).
TEST_F(KestrumFiles, AMoveOntoTheSameFileByAnotherNameChangesNothing) {
    fs::create_directories(dir / "a");
    std::ofstream(dir / "a" / "f.txt") << "keep me";
    fs::create_hard_link(dir / "a" / "f.txt", dir / "linked.txt");
    fs::create_directory_symlink(dir / "a", dir / "via");
    for (const char* other : {"a/f.txt", "linked.txt", "via/f.txt"}) {
        SCOPED_TRACE(other);
        const auto out = callUac(0x60030005, {Variant(at("a/f.txt")), Variant(at(other))});
        EXPECT_EQ(out.status, S_OK) << platform::text::toUtf8(out.description);
        EXPECT_EQ(read(dir / "a" / "f.txt"), "keep me");
        EXPECT_EQ(read(dir / other), "keep me");
    }
}

// A folder mounted a second time (mount --bind) is the same file system under another path,
// yet renaming between the two is refused as a move across file systems: the move must still
// see one file and leave it.
TEST_F(KestrumFiles, AMoveOntoItselfThroughABindMountChangesNothing) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a bind mount needs root";
    }
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    std::ofstream(dir / "a" / "f.txt") << "keep me";
    ASSERT_EQ(::mount((dir / "a").c_str(), (dir / "b").c_str(), nullptr, MS_BIND, nullptr), 0)
        << std::strerror(errno);
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{dir / "b"};
    const auto out = callUac(0x60030005, {Variant(at("a/f.txt")), Variant(at("b/f.txt"))});
    EXPECT_EQ(out.status, S_OK) << platform::text::toUtf8(out.description);
    EXPECT_EQ(read(dir / "a" / "f.txt"), "keep me");
    EXPECT_EQ(read(dir / "b" / "f.txt"), "keep me");
}

// A folder is no source of a move: nothing happens to it or to the target. A file to be made
// in a folder that does not exist fails with "Path not found".
TEST_F(KestrumFiles, AFolderIsNotMovedAndAMissingFolderIsNotFound) {
    fs::create_directories(dir / "folder");
    std::ofstream(dir / "folder" / "inside") << "kept";
    std::ofstream(dir / "dst") << "old";
    const auto folder = callUac(0x60030005, {Variant(at("folder")), Variant(at("dst"))});
    EXPECT_EQ(folder.status, S_OK) << platform::text::toUtf8(folder.description);
    EXPECT_EQ(read(dir / "folder" / "inside"), "kept");
    EXPECT_EQ(read(dir / "dst"), "old");
    EXPECT_EQ(callUac(0x60030005, {Variant(at("folder")), Variant(at("moved"))}).status, S_OK);
    EXPECT_FALSE(fs::exists(dir / "moved"));

    std::ofstream(dir / "src") << "new";
    const struct {
        std::string what;
        DispId id;
        std::vector<Variant> args;
    } cases[] = {
        {"move into it", 0x60030005, {Variant(at("src")), Variant(at("nowhere/dst"))}},
        {"save into it", 0x60030013, {Variant(at("nowhere/x")), Variant(u"x")}},
        {"append into it", 0x60030014, {Variant(at("nowhere/x")), Variant(u"x")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto out = callUac(c.id, c.args);
        EXPECT_EQ(out.status, vb(76));
        EXPECT_EQ(out.description, u"Path not found");
    }
    EXPECT_EQ(read(dir / "src"), "new");
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

TEST_F(KestrumFiles, UnsafePathsAreRefused) {
    std::ofstream(dir / "secret") << "keep";
    fs::create_symlink(dir / "secret", dir / "link");
    const struct {
        std::string what;
        DispId id;
        std::vector<Variant> args;
    } cases[] = {
        {"load through a link", 0x60030006, {Variant(at("link"))}},
        {"save through a link", 0x60030013, {Variant(at("link")), Variant(u"x")}},
        {"append through a link", 0x60030014, {Variant(at("link")), Variant(u"x")}},
        {"move a link", 0x60030005, {Variant(at("link")), Variant(at("moved"))}},
        {"move onto a link", 0x60030005, {Variant(at("secret2")), Variant(at("link"))}},
        {"relative", 0x60030013, {Variant(u"work/x"), Variant(u"x")}},
        {"dot dot", 0x60030013, {Variant(at("../x")), Variant(u"x")}},
        {"a folder", 0x60030014, {Variant(fromUtf8(dir.string())), Variant(u"x")}},
    };
    std::ofstream(dir / "secret2") << "other";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(callUac(c.id, c.args).status, vb(75));
    }
    EXPECT_EQ(read(dir / "secret"), "keep");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_FALSE(fs::exists(machine.path() / "x"));

    platform::system::setGuardedRoots({dir / "allowed"});
    EXPECT_EQ(callUac(0x60030013, {Variant(at("x")), Variant(u"x")}).status, vb(75));
    fs::create_directories(dir / "allowed");
    EXPECT_EQ(callUac(0x60030013, {Variant(at("allowed/x")), Variant(u"x")}).status, S_OK);
    platform::system::setGuardedRoots({});
}

// The allowed roots hold for the folders themselves: a link inside a root to a folder outside
// it leads nowhere, whichever member follows it; a link that stays inside is fine.
TEST_F(KestrumFiles, AllowedRootsHoldThroughLinkedFolders) {
    const fs::path allowed = dir / "allowed", outside = dir / "outside";
    fs::create_directories(allowed / "inner");
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, allowed / "link");
    fs::create_directory_symlink(allowed / "inner", allowed / "near");
    std::ofstream(outside / "secret.txt") << "keep";
    std::ofstream(allowed / "mine.txt") << "mine";
    platform::system::setGuardedRoots({allowed});
    const std::u16string secret = at("allowed/link/secret.txt");
    const struct {
        std::string what;
        DispId id;
        std::vector<Variant> args;
    } cases[] = {
        {"save", 0x60030013, {Variant(secret), Variant(u"x")}},
        {"append", 0x60030014, {Variant(secret), Variant(u"x")}},
        {"load", 0x60030006, {Variant(secret)}},
        {"move onto it", 0x60030005, {Variant(at("allowed/mine.txt")), Variant(secret)}},
        {"move it away", 0x60030005, {Variant(secret), Variant(at("allowed/taken.txt"))}},
        {"a new file there", 0x60030013, {Variant(at("allowed/link/new.txt")), Variant(u"x")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(callUac(c.id, c.args).status, vb(75));
    }
    EXPECT_EQ(read(outside / "secret.txt"), "keep");
    EXPECT_FALSE(fs::exists(outside / "new.txt"));
    EXPECT_EQ(read(allowed / "mine.txt"), "mine");
    EXPECT_EQ(callUac(0x60030013, {Variant(at("allowed/near/x.txt")), Variant(u"x")}).status, S_OK);
    EXPECT_EQ(read(allowed / "inner" / "x.txt"), "x");
    platform::system::setGuardedRoots({});
}

TEST_F(KestrumFiles, FoldersVersionAndFontSmoothing) {
    std::u16string temp = callUac(0x60030004).result.toText();
    EXPECT_EQ(temp.back(), u'/');
    const char* old = std::getenv("TMPDIR");
    setenv("TMPDIR", "/nonexistent-kestrum", 1);
    temp = callUac(0x60030004).result.toText();
    old ? setenv("TMPDIR", old, 1) : unsetenv("TMPDIR");
    EXPECT_EQ(temp.back(), u'/');

    EXPECT_EQ(callUac(0x60030009).result.toI4(), 1);  // on until switched off
    callUac(0x6003000A);
    EXPECT_EQ(callUac(0x60030009).result.toI4(), 0);
    EXPECT_EQ(platform::system::fontSmoothingFlags(), 3u);
    callUac(0x60030008);
    EXPECT_EQ(callUac(0x60030009).result.toI4(), 1);
}

TEST_F(KestrumFiles, MacComesFromTheCacheThenTheInterfaces) {
    const fs::path cache = platform::system::systemFolder() / "_MAC_";
    std::ofstream(cache) << "0a1b2c3d4e5f\r\n";
    EXPECT_EQ(callUac(0x60030015).result.toText(), u"0a1b2c3d4e5f");

    std::ofstream(cache) << "000000000000\r\n";
    const std::u16string mac = callUac(0x60030015).result.toText();
    ASSERT_EQ(mac.size(), 12u);
    for (char16_t c : mac) EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
    // Written to the cache, with a line end.
    EXPECT_EQ(read(cache), platform::text::toUtf8(mac) + "\r\n");
}

TEST(MacListing, TheLastAddressLineWins) {
    const struct {
        std::u16string listing;
        std::u16string mac;
    } cases[] = {
        {u"00-1A-2B-3C-4D-5E   \\Device\\Tcpip_{X}\r\n", u"001A2B3C4D5E"},
        {u"N/A   Hardware not present\r\n00-1A-2B-0C-0D-0E   eth0\r\n", u"001A2B0C0D0E"},
        {u"00-1A-2B-3C-4D-5E   eth0\r\n00-11-22-33-44-55   eth1\r\n", u"001122334455"},
        {u"", u"000000000000"},
        {u"\r\nN/A  x\r\n", u"000000000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(kestrum::macFromListing(c.listing), c.mac);
    // The machine's own listing has the same form.
    for (const std::string& line : platform::system::macListing()) {
        EXPECT_EQ(line.substr(0, 17).size(), 17u);
        EXPECT_NE(line.substr(0, 17), "00-00-00-00-00-00");
    }
}
