// Registering server files on a worker thread, and checking that a class can be created.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/temp_machine.h"
#include "platform/text/codepage.h"
#include "privileged/tests/test_util.h"

using namespace platform::com;
using kestrum::testing::callUac;
namespace fs = std::filesystem;
using platform::text::fromUtf8;

namespace {

class KestrumRegistration : public ::testing::Test {
  protected:
    void SetUp() override {
        markFile = machine.path() / "mark";
        setenv("KESTRUM_FIXTURE_MARK", markFile.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("KESTRUM_FIXTURE_MARK");
        kestrum::setRegistrationTimeout(std::chrono::milliseconds(10000));
    }
    std::string mark() const {
        std::ifstream in(markFile);
        std::string s;
        std::getline(in, s);
        return s;
    }
    static bool mapped(const std::string& file) {
        std::ifstream maps("/proc/self/maps");
        std::string line;
        while (std::getline(maps, line))
            if (line.find(fs::path(file).filename().string()) != std::string::npos) return true;
        return false;
    }
    platform::testing::TempMachine machine;
    fs::path markFile;
};

}  // namespace

TEST_F(KestrumRegistration, CodesOfRegisterServerFile) {
    const fs::path writable = machine.path() / "open" / "libregisters.so";
    fs::create_directories(writable.parent_path());
    fs::copy_file(KESTRUM_FIXTURE_REGISTERS_LIBRARY, writable);
    fs::permissions(writable, fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::add);
    const struct {
        std::u16string path;
        int mode;
        int code;
        std::string mark;
    } cases[] = {
        {u"", 1, 0, ""},
        {u"/nonexistent/lib.so", 1, 1, ""},
        {u"libkestrum_fixture_registers.so", 1, 1, ""},  // relative: never searched for
        {fromUtf8(writable.string()), 1, 1, ""},         // others could change it
        {fromUtf8(KESTRUM_FIXTURE_NOEXPORT_LIBRARY), 1, 2, ""},
        {fromUtf8(KESTRUM_FIXTURE_REGISTERS_LIBRARY), 3, 2, ""},
        {fromUtf8(KESTRUM_FIXTURE_REGISTERS_LIBRARY), 1, 4, "register"},
        {fromUtf8(KESTRUM_FIXTURE_REGISTERS_LIBRARY), 2, 5, "unregister"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::text::toUtf8(c.path) + " mode " + std::to_string(c.mode));
        fs::remove(markFile);
        EXPECT_EQ(kestrum::registerServerFile(c.path, c.mode), c.code);
        EXPECT_EQ(mark(), c.mark);
    }
    EXPECT_FALSE(mapped(KESTRUM_FIXTURE_NOEXPORT_LIBRARY));  // released again
}

TEST_F(KestrumRegistration, ATimedOutWorkerKeepsItsLibraryUntilItReturns) {
    const fs::path gate = machine.path() / "gate";
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    setenv("KESTRUM_FIXTURE_GATE", gate.c_str(), 1);
    kestrum::setRegistrationTimeout(std::chrono::milliseconds(20));
    EXPECT_EQ(kestrum::registerServerFile(fromUtf8(KESTRUM_FIXTURE_BLOCKS_LIBRARY), 1), 3);
    EXPECT_TRUE(mapped(KESTRUM_FIXTURE_BLOCKS_LIBRARY));  // its entry point still runs
    int fd = ::open(gate.c_str(), O_WRONLY);  // meets the worker's open: it is still there
    ASSERT_GE(fd, 0);
    ::close(fd);  // lets the entry point return
    unsetenv("KESTRUM_FIXTURE_GATE");
}

TEST_F(KestrumRegistration, ActiveXCheckRegistersOnlyWhenNeeded) {
    const std::u16string postwick = fromUtf8(POSTWICK_LIBRARY);
    EXPECT_FALSE(kestrum::canCreateObject(u"Postwick.cHTTP"));
    // A file that registers but serves no such class; a missing file; no export.
    EXPECT_EQ(callUac(0x60030017, {Variant(fromUtf8(KESTRUM_FIXTURE_REGISTERS_LIBRARY)),
                                   Variant(u"Postwick.cHTTP")})
                  .result.toI4(),
              0);
    EXPECT_EQ(mark(), "register");
    EXPECT_EQ(callUac(0x60030017, {Variant(u"/nonexistent.so"), Variant(u"Postwick.cHTTP")})
                  .result.toI4(),
              0);
    EXPECT_EQ(callUac(0x60030017, {Variant(fromUtf8(KESTRUM_FIXTURE_NOEXPORT_LIBRARY)),
                                   Variant(u"Postwick.cHTTP")})
                  .result.toI4(),
              0);
    // The real server registers its class, which can then be created.
    EXPECT_EQ(callUac(0x60030017, {Variant(postwick), Variant(u"Postwick.cHTTP")}).result.toI4(),
              1);
    EXPECT_TRUE(kestrum::canCreateObject(u"Postwick.cHTTP"));
    // Creatable already: the file is not looked at.
    EXPECT_EQ(callUac(0x60030017, {Variant(u""), Variant(u"Postwick.cHTTP")}).result.toI4(), 1);
}
