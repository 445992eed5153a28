// The library as the broker meets it: registered with regsvr, created by its ProgID and driven
// by comcall, each run a process of its own over the same machine folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

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

namespace {

// A folder for the test on a file system other than `other`'s (the temporary folder and
// /dev/shm are usually two); empty when none of the candidates is.
std::filesystem::path folderOnAnotherFileSystem(const std::filesystem::path& other) {
    struct stat mine {};
    if (::stat(other.c_str(), &mine) != 0) return {};
    for (const char* candidate : {"/dev/shm", "/run/shm", "/tmp", "/var/tmp", "/run"}) {
        struct stat st {};
        if (::stat(candidate, &st) != 0 || st.st_dev == mine.st_dev) continue;
        std::string pattern = std::string(candidate) + "/tessel-move-XXXXXX";
        if (::mkdtemp(pattern.data())) return pattern;
    }
    return {};
}

struct MoveRun {
    int exitCode = -1;
    long peakKb = 0;  // the child's peak resident size
    std::string err;
};

// comcall m_FileMove source target in a child of its own, measured from outside (the peak
// resident size of the reaped child); `fileSizeLimit` caps the size of files it writes (a
// write past it fails with EFBIG, as on a full disk).
MoveRun moveThroughComcall(const std::string& source, const std::string& target,
                           rlim_t fileSizeLimit = RLIM_INFINITY) {
    MoveRun run;
    char errName[] = "/tmp/tessel-move-err-XXXXXX";
    const int errFd = ::mkstemp(errName);
    if (errFd < 0) return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::dup2(errFd, 2);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execl(COMCALL, COMCALL, "Kestrum.UAC", "m_FileMove", source.c_str(), target.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.peakKb = usage.ru_maxrss;
    }
    std::ifstream in(errName);
    run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ::close(errFd);
    ::unlink(errName);
    return run;
}

// A file of `mib` MiB whose bytes depend on their place, so a copy with a piece out of place
// differs; answers its digest.
std::uint64_t writePattern(const std::filesystem::path& file, int mib) {
    std::ofstream out(file, std::ios::binary);
    std::vector<std::uint64_t> piece(1 << 17);
    std::uint64_t sum = 1469598103934665603ull, n = 0;
    for (int i = 0; i < mib; ++i) {
        for (auto& word : piece) {
            word = ++n * 0x9E3779B97F4A7C15ull;
            sum = (sum ^ word) * 1099511628211ull;
        }
        out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size() * 8));
    }
    return sum;
}

std::uint64_t digestOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint64_t> piece(1 << 17);
    std::uint64_t sum = 1469598103934665603ull;
    while (in.read(reinterpret_cast<char*>(piece.data()), std::streamsize(piece.size() * 8)) ||
           in.gcount() > 0) {
        for (std::size_t i = 0; i < std::size_t(in.gcount()) / 8; ++i)
            sum = (sum ^ piece[i]) * 1099511628211ull;
        if (!in) break;
    }
    return sum;
}

}  // namespace

// m_FileMove between two file systems: the file is copied in bounded pieces (the mover's peak
// memory stays far below the file's size), comes out with its own mode and contents, and the
// source goes only once the copy is whole. A copy that fails half-way (the disk takes no more)
// leaves the source as it was and neither the target nor any part of a copy.
TEST(KestrumTools, FileMoveAcrossFileSystemsCopiesInBoundedPiecesAndKeepsTheMode) {
    platform::testing::TempMachine machine;
    ASSERT_EQ(runProgram(REGSVR, {KESTRUM_LIBRARY}).exitCode, 0);
    const std::filesystem::path away = folderOnAnotherFileSystem(machine.path());
    ASSERT_FALSE(away.empty()) << "no folder on a file system other than that of " << machine.path()
                               << " to move from";
    struct Cleanup {
        std::filesystem::path folder;
        ~Cleanup() {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        }
    } cleanup{away};

    constexpr int kMib = 256;
    const std::filesystem::path source = away / "big.bin";
    const std::filesystem::path target = machine.path() / "moved.bin";
    const std::uint64_t digest = writePattern(source, kMib);
    ASSERT_EQ(::chmod(source.c_str(), 0640), 0);
    // A caller that may give files away (root) moves another user's file as that user's.
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    const gid_t group = ::geteuid() == 0 ? 65534 : ::getegid();
    ASSERT_EQ(::chown(source.c_str(), owner, group), 0);

    // Failing half-way: nothing changes.
    auto failed = moveThroughComcall(source.string(), target.string(), 64u << 20);
    EXPECT_EQ(failed.exitCode, 1) << failed.err;
    EXPECT_NE(failed.err.find("0x800A004B"), std::string::npos) << failed.err;
    EXPECT_EQ(std::filesystem::file_size(source), std::uintmax_t(kMib) << 20);
    EXPECT_EQ(digestOf(source), digest);
    for (const auto& entry : std::filesystem::directory_iterator(machine.path()))
        EXPECT_EQ(entry.path().filename().string().rfind(".move-", 0), std::string::npos)
            << entry.path();
    EXPECT_FALSE(std::filesystem::exists(target));

    auto moved = moveThroughComcall(source.string(), target.string());
    ASSERT_EQ(moved.exitCode, 0) << moved.err;
    EXPECT_LT(moved.peakKb, 64 * 1024) << "peak resident size " << moved.peakKb << " KiB";
    EXPECT_FALSE(std::filesystem::exists(source));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, owner);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(std::uintmax_t(st.st_size), std::uintmax_t(kMib) << 20);
    EXPECT_EQ(digestOf(target), digest);
}
