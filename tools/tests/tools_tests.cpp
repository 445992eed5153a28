// regsvr and comcall as a user runs them, in a temporary machine folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

// Several calls on one object, in order, each result on its own line; a failing call stops
// the run after the results before it.
TEST_F(Tools, CallsSeveralMembersOnOneObject) {
    ASSERT_EQ(runProgram(REGSVR, {COMTEST_LIBRARY}).exitCode, 0);
    auto calls = runProgram(COMCALL, {"ComTest.Calculator", "Add", "40", "2", "--", "Name=한글",
                                      "Name", "--", "Concat", "a", "7", "--", "Name"});
    EXPECT_EQ(calls.exitCode, 0) << calls.err;
    EXPECT_EQ(calls.out, "42\n한글\na7\n한글\n");

    auto failed = runProgram(
        COMCALL, {"ComTest.Calculator", "Add", "1", "2", "--", "Fail", "--", "Add", "3", "4"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "3\n");
    EXPECT_EQ(failed.err, "error 0x80070057: 잘못된 값입니다\n");

    EXPECT_EQ(runProgram(COMCALL, {"ComTest.Calculator", "Add", "1", "2", "--"}).exitCode, 2);
    EXPECT_EQ(runProgram(COMCALL, {"ComTest.Calculator", "--", "Add", "1", "2"}).exitCode, 2);
}

TEST_F(Tools, UsageAndLoadErrors) {
    EXPECT_EQ(runProgram(REGSVR, {}).exitCode, 2);
    EXPECT_EQ(runProgram(REGSVR, {"/nonexistent/libnothing.so"}).exitCode, 3);
    EXPECT_EQ(runProgram(COMCALL, {"OnlyProgId"}).exitCode, 2);
}

// A library is a regular file: regsvr refuses a named pipe, a device and a folder at once.
TEST_F(Tools, RegsvrRefusesWhatIsNotARegularFile) {
    namespace fs = std::filesystem;
    const fs::path pipe = machine.path() / "libpipe.so";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const fs::path& library : {pipe, fs::path("/dev/zero"), machine.path()}) {
        SCOPED_TRACE(library.string());
        auto reg = runProgram(REGSVR, {library.string()});
        EXPECT_EQ(reg.exitCode, 3);
        EXPECT_NE(reg.err.find("is not a regular file"), std::string::npos) << reg.err;
    }
}

// The protocol client sends only regular files: a named pipe, a device or a folder given as a
// set-up or page file is refused before anything is sent.
TEST_F(Tools, ProtocolClientRefusesWhatIsNotARegularFile) {
    namespace fs = std::filesystem;
    const std::string client = (platform::testing::binFolder() / "tessel-client").string();
    const fs::path pipe = machine.path() / "page.pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const char* command : {"setup", "page", "page64"})
        for (const fs::path& file : {pipe, fs::path("/dev/zero"), machine.path()}) {
            SCOPED_TRACE(std::string(command) + " " + file.string());
            auto sent = runProgram(client, {"--port", "1", command, file.string()});
            EXPECT_EQ(sent.exitCode, 2);
            EXPECT_NE(sent.err.find("not a regular file"), std::string::npos) << sent.err;
        }
}

// Code is loaded only from absolute paths to regular files in folders no other user can write:
// regsvr refuses to register anything else, and the runtime refuses to load it.
TEST_F(Tools, LibrariesFromUnsafePlacesAreRefusedWithTheReason) {
    namespace fs = std::filesystem;
    const fs::path open = machine.path() / "open";
    fs::create_directory(open);
    fs::copy_file(COMTEST_LIBRARY, open / "libcomtest.so");
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    auto refused = runProgram(REGSVR, {(open / "libcomtest.so").string()});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("can be written by other users (mode 0777)"), std::string::npos)
        << refused.err;
    // A folder of its own below one that anyone may write: anyone could swap that folder.
    const fs::path shared = machine.path() / "shared";
    fs::create_directories(shared / "lib");
    fs::copy_file(COMTEST_LIBRARY, shared / "lib" / "libcomtest.so");
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    auto below = runProgram(REGSVR, {(shared / "lib" / "libcomtest.so").string()});
    EXPECT_EQ(below.exitCode, 3);
    EXPECT_NE(below.err.find("the folder above it " + shared.string() +
                             " can be written by other users (mode 0777)"),
              std::string::npos)
        << below.err;

    ASSERT_EQ(runProgram(REGSVR, {COMTEST_LIBRARY}).exitCode, 0);
    const fs::path registryFile = machine.path() / "registry.txt";
    std::stringstream text;
    text << std::ifstream(registryFile).rdbuf();
    const std::string registered = text.str();
    const std::string real = fs::canonical(COMTEST_LIBRARY).string();
    ASSERT_NE(registered.find(real), std::string::npos);
    struct Case {
        std::string named;
        const char* said;
    };
    const Case cases[] = {
        {(open / "libcomtest.so").string(), "can be written by other users"},
        {(shared / "lib" / "libcomtest.so").string(), "the folder above it"},
        {"libcomtest.so", "not an absolute path"},  // would be searched for
        {"./libcomtest.so", "not an absolute path"},
        {machine.path().string(), "not a regular file"},
        // Loadable by the rules but not a library: the loader's own words, with the path.
        {(machine.path() / "notes.so").string(), "cannot load"},
    };
    std::ofstream(machine.path() / "notes.so") << "not a library\n";
    for (const auto& c : cases) {
        std::string changed = registered;
        for (auto at = changed.find(real); at != std::string::npos; at = changed.find(real, at))
            changed.replace(at, real.size(), c.named), at += c.named.size();
        std::ofstream(registryFile, std::ios::trunc) << changed;
        auto call = runProgram(COMCALL, {"ComTest.Calculator", "Add", "1", "2"});
        EXPECT_EQ(call.exitCode, 1) << c.named;
        EXPECT_EQ(call.out, "") << c.named;
        EXPECT_NE(call.err.find(c.said), std::string::npos) << call.err;
        EXPECT_NE(call.err.find(c.named), std::string::npos) << call.err;
    }
}

TEST_F(Tools, RegsvrSaysWhyTheRegistryCouldNotBeWritten) {
    // A named pipe where the registry belongs: once a hang, now a refusal that names it.
    ASSERT_EQ(::mkfifo((machine.path() / "registry.txt").c_str(), 0644), 0);
    auto reg = runProgram(REGSVR, {COMTEST_LIBRARY});
    EXPECT_EQ(reg.exitCode, 1);
    EXPECT_NE(reg.err.find("registry.txt is a named pipe"), std::string::npos) << reg.err;
    EXPECT_NE(reg.err.find("could not be written to the registry"), std::string::npos) << reg.err;
    auto call = runProgram(COMCALL, {"ComTest.Calculator", "Add", "1", "2"});
    EXPECT_EQ(call.exitCode, 1);
    EXPECT_NE(call.err.find("named pipe"), std::string::npos) << call.err;
}

// The sample pages go into the folder named, made with its parents when missing; a folder that
// cannot be made is said so, and nothing is claimed written.
TEST_F(Tools, SamplePagesMakeTheirFolder) {
    const std::string program = (platform::testing::binFolder() / "tessel-sample-pages").string();
    const std::filesystem::path folder = machine.path() / "samples" / "new";
    auto drawn = runProgram(program, {folder.string()});
    ASSERT_EQ(drawn.exitCode, 0) << drawn.err;
    for (const char* page : {"page1.png", "page2.png"})
        EXPECT_GT(std::filesystem::file_size(folder / page), 1000u) << page;

    std::ofstream(machine.path() / "file") << "x";
    auto blocked = runProgram(program, {(machine.path() / "file" / "sub").string()});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_NE(blocked.err.find("cannot make the folder"), std::string::npos) << blocked.err;
}
