// Ending and starting real processes: copies of sleep under chosen names, ended by name or by
// window and checked through their wait status; programs started without a shell.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/process/control.h"
#include "platform/process/process.h"
#include "platform/text/codepage.h"
#include "platform/window/shell.h"
#include "privileged/tests/test_util.h"

using namespace platform::com;
using kestrum::testing::callUac;
namespace fs = std::filesystem;
namespace proc = platform::process;
namespace win = platform::window;
using platform::text::fromUtf8;

namespace {

class KestrumProcesses : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrum-proc-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        tag = std::to_string(::getpid());
    }
    void TearDown() override {
        children.clear();  // ends and reaps what is left
        fs::remove_all(dir);
    }
    // Starts a copy of sleep named `name` (the tag is put before ".exe").
    proc::Child& start(const std::string& name, const std::string& sub = "") {
        fs::path folder = dir / sub;
        fs::create_directories(folder);
        fs::path exe = folder / name;
        if (!fs::exists(exe)) fs::copy_file("/bin/sleep", exe);
        children.emplace_back();
        proc::SpawnOptions options;
        options.argv = {exe.string(), "300"};
        EXPECT_EQ(proc::spawn(options, children.back()), 0);
        return children.back();
    }
    std::string named(const std::string& stem) const { return stem + tag + ".exe"; }
    // How the child ended once we also send SIGTERM: SIGKILL means it had been killed already.
    static int endedBy(proc::Child& child) {
        ::kill(child.pid(), SIGTERM);
        int status = child.wait();
        return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    }
    fs::path dir;
    std::string tag;
    std::deque<proc::Child> children;
};

}  // namespace

TEST_F(KestrumProcesses, KillByNameMatchesSuffixesOfProgramNames) {
    const struct {
        std::string what;
        std::u16string name;                 // {} : the tag is added as for the programs
        std::map<std::string, int> endings;  // program stem -> the signal that ends it
    } cases[] = {
        {"suffix", u"pad", {{"notepad", SIGKILL}, {"wordpad", SIGKILL}, {"paint", SIGTERM}}},
        {"upper case", u"NOTEPAD", {{"notepad", SIGKILL}, {"wordpad", SIGTERM}}},
        {"longer than the name", u"xnotepad", {{"notepad", SIGTERM}}},
        {"a path", u"/tmp/notepad", {{"notepad", SIGTERM}}},
        {"a Windows path", u"c:\\windows\\notepad", {{"notepad", SIGTERM}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::map<std::string, proc::Child*> started;
        for (const auto& [stem, signal] : c.endings) started[stem] = &start(named(stem));
        callUac(0x60030002, {Variant(c.name + fromUtf8(tag) + u".EXE")});
        for (const auto& [stem, signal] : c.endings)
            EXPECT_EQ(endedBy(*started[stem]), signal) << stem;
    }
}

TEST_F(KestrumProcesses, EveryCopyEndsAndBlankNamesEndNothing) {
    proc::Child* copies[] = {&start(named("three")), &start(named("three")),
                             &start(named("three"), "other")};
    EXPECT_TRUE(kestrum::killProcessByName(fromUtf8(named("three"))));
    for (proc::Child* c : copies) EXPECT_EQ(endedBy(*c), SIGKILL);

    proc::Child& survivor = start(named("blank"));
    EXPECT_FALSE(kestrum::killProcessByName(u""));
    EXPECT_FALSE(kestrum::killProcessByName(u"   "));
    EXPECT_EQ(endedBy(survivor), SIGTERM);
}

TEST_F(KestrumProcesses, TheNameIsCheckedAgainOnThePinnedProcess) {
    proc::Child& child = start(named("pinned"));
    EXPECT_FALSE(proc::terminateIfNamed(child.pid(), fromUtf8(named("other"))));
    EXPECT_TRUE(proc::terminateIfNamed(child.pid(), fromUtf8(named("PINNED"))));
    EXPECT_EQ(endedBy(child), SIGKILL);
    EXPECT_TRUE(proc::isProtected(::getpid()));
    EXPECT_TRUE(proc::isProtected(1));
    EXPECT_FALSE(proc::terminateIfNamed(::getpid(), proc::programName(::getpid())));
}

TEST_F(KestrumProcesses, KillByWindowSparesTheDesktopAndOurselves) {
    win::resetForTests();
    proc::Child& other = start(named("windowed"));
    proc::Child& desktopOwner = start(named("desktop"));
    const win::Hwnd theirs = win::createWindow(0, {0, 0, 10, 10});
    const win::Hwnd ours = win::createWindow(0, {0, 0, 10, 10});
    win::setWindowProcessForTests(theirs, other.pid());
    win::setWindowProcessForTests(win::desktopWindow(), desktopOwner.pid());

    callUac(0x60030001, {Variant(std::int32_t(win::desktopWindow()))});
    callUac(0x60030001, {Variant(std::int32_t(ours))});  // this process: refused
    callUac(0x60030001, {Variant(12345)});               // no window
    callUac(0x60030001, {Variant(std::int32_t(theirs))});
    EXPECT_EQ(endedBy(other), SIGKILL);
    EXPECT_EQ(endedBy(desktopOwner), SIGTERM);
    win::setWindowProcessForTests(win::desktopWindow(), 0);
}

TEST_F(KestrumProcesses, ShowWindowAsksForegroundAndFocusOnlyForModeOne) {
    win::resetForTests();
    const win::Hwnd w = win::createWindow(0, {0, 0, 10, 10});
    win::takeWindowRequests();
    callUac(0x60030000, {Variant(std::int32_t(w)), Variant(3)});
    EXPECT_EQ(win::takeWindowRequests(), (std::vector<win::WindowRequest>{{"show", w, 3}}));
    callUac(0x60030000, {Variant(std::int32_t(w)), Variant(1)});
    EXPECT_EQ(
        win::takeWindowRequests(),
        (std::vector<win::WindowRequest>{{"show", w, 1}, {"foreground", w, 0}, {"focus", w, 0}}));
    EXPECT_EQ(win::focus(), w);
    callUac(0x60030000, {Variant(std::int32_t(w)), Variant(0)});
    EXPECT_FALSE(win::isVisible(w));
}

TEST_F(KestrumProcesses, PrentorStartsFromAnAbsoluteFolderWithoutAShell) {
    const fs::path tools = dir / "tools";
    fs::create_directories(tools);
    const fs::path fifo = dir / "args";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        std::ofstream script(tools / "Prentor.exe");
        script << "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > " << fifo.string() << "\n";
    }
    fs::permissions(tools / "Prentor.exe", fs::perms::owner_all);
    const std::u16string folder = fromUtf8(tools.string());
    // Each spelling of the folder starts the program; the arguments are split by the Windows
    // rules and reach it unchanged, shell characters included.
    for (const std::u16string& f : {folder, folder + u"\\", folder + u"/"}) {
        auto out = callUac(0x60030011, {Variant(f), Variant(u"a \"b c\" $(id);x")});
        ASSERT_EQ(out.result.toI4(), 1);
        std::ifstream in(fifo);  // opens when the program writes: its start is the event
        std::string all((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(all, "[a]\n[b c]\n[$(id);x]\n");
    }
    const fs::path plain = dir / "plain";
    fs::create_directories(plain);
    std::ofstream(plain / "Prentor.exe") << "not a program";
    fs::permissions(plain / "Prentor.exe", fs::perms::owner_read | fs::perms::owner_write);
    const struct {
        std::u16string folder;
    } refused[] = {
        {u"tools"}, {u""}, {fromUtf8(plain.string())}, {fromUtf8((dir / "none").string())}};
    for (const auto& r : refused)
        EXPECT_EQ(callUac(0x60030011, {Variant(r.folder), Variant(u"")}).result.toI4(), 0);
    EXPECT_FALSE(kestrum::shellRun(u"", u"cmd.exe", u"/c echo hi"));
    EXPECT_FALSE(kestrum::shellRun(u"", u"%COMSPEC%", u"/c echo hi"));
}

// The program runs with raised rights, so it may only come from where no other user could
// have put it or swapped it: the file and every folder above it written by no other user
// (a sticky folder such as /tmp excepted above the program's own), owned by root or us.
TEST_F(KestrumProcesses, PrentorRefusesAProgramOthersCouldHavePlanted) {
    std::vector<std::u16string> logged;
    kestrum::setLogSink([&](const std::u16string& line) { logged.push_back(line); });
    // Makes `folder`/Prentor.exe, a harmless program, and answers the folder.
    auto plant = [&](const fs::path& folder) {
        fs::create_directories(folder);
        std::ofstream(folder / "Prentor.exe") << "#!/bin/sh\nexit 0\n";
        ::chmod((folder / "Prentor.exe").c_str(), 0755);
        return folder;
    };
    const fs::path sticky = dir / "sticky";
    fs::create_directories(sticky);
    ::chmod(sticky.c_str(), 01777);
    const fs::path open = dir / "open";
    fs::create_directories(open);
    const fs::path elsewhere = plant(open / "elsewhere");
    ::chmod(open.c_str(), 0777);
    fs::create_directories(dir / "linked");
    fs::create_directory_symlink(elsewhere, dir / "linked" / "tools");

    struct Case {
        const char* what;
        fs::path folder;
        const char* said;  // in the logged reason; null: the program starts
    };
    std::vector<Case> cases = {
        {"a safe folder", plant(dir / "safe"), nullptr},
        {"below a sticky folder", plant(sticky / "tools"), nullptr},
        {"a program anyone may write", plant(dir / "writable"), "can be written by other users"},
        {"a folder anyone may write", plant(dir / "world"), "its folder"},
        {"a folder its group may write", plant(dir / "group"), "(mode 0775)"},
        {"a folder above anyone may write", elsewhere, "the folder above it"},
        {"a link into such a folder", dir / "linked" / "tools", "the folder above it"},
        {"a sticky folder holding it", sticky, "its folder"},
    };
    std::ofstream(sticky / "Prentor.exe") << "#!/bin/sh\nexit 0\n";
    ::chmod((sticky / "Prentor.exe").c_str(), 0755);
    ::chmod((dir / "writable" / "Prentor.exe").c_str(), 0777);
    ::chmod((dir / "world").c_str(), 0777);
    ::chmod((dir / "group").c_str(), 0775);
    if (::geteuid() == 0) {
        // The case as found: a world-writable program in a 0777 folder of another user; and a
        // program of another user in a folder of ours.
        const fs::path planted = plant(dir / "nobody");
        ::chmod((planted / "Prentor.exe").c_str(), 0777);
        ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
        ::chmod(planted.c_str(), 0777);
        cases.push_back({"as found", planted, "can be written by other users"});
        const fs::path theirs = plant(dir / "theirs");
        ASSERT_EQ(::chown((theirs / "Prentor.exe").c_str(), 65534, 65534), 0);
        cases.push_back({"another user's program", theirs, "belongs to another user"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        logged.clear();
        const auto out = callUac(0x60030011, {Variant(fromUtf8(c.folder.string())), Variant(u"")});
        EXPECT_EQ(out.result.toI4(), c.said ? 0 : 1);
        if (!c.said) continue;
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].rfind(u"refusing to start ", 0), 0u);
        EXPECT_NE(logged[0].find(fromUtf8(c.said)), std::u16string::npos)
            << platform::text::toUtf8(logged[0]);
    }
    kestrum::setLogSink(nullptr);
}
