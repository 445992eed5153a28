// The library as the broker meets it: registered with regsvr, created by its ProgID and driven
// by comcall, each run a process of its own over the same machine folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/system/description.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/testing/wait.h"

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

// A folder removed with everything in it when the test ends, however it ends.
struct RemovedAtEnd {
    std::filesystem::path folder;
    ~RemovedAtEnd() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

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
    const RemovedAtEnd cleanup{away};

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

namespace {

namespace fs = std::filesystem;

// comcall with `args` in a child of its own, under a file size limit when one is given. The
// child keeps the default action of every signal, as a program started from a shell does: a
// program that did not ignore SIGXFSZ would die of the limit.
platform::testing::ProgramResult comcallInChild(const std::vector<std::string>& args,
                                                rlim_t fileSizeLimit = RLIM_INFINITY) {
    platform::testing::ProgramResult run;
    char errName[] = "/tmp/tessel-comcall-err-XXXXXX";
    const int errFd = ::mkstemp(errName);
    if (errFd < 0) return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_DFL);
        const struct rlimit limit = {fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::dup2(errFd, 2);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        std::vector<char*> argv{const_cast<char*>(COMCALL)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(COMCALL, argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid)
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(errName);
    run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ::close(errFd);
    ::unlink(errName);
    return run;
}

std::string contentsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> partialCopiesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".move-", 0) == 0 || name.find(".tmp.") != std::string::npos)
            names.push_back(name);
    }
    return names;
}

// A small file system of its own (a tmpfs of `size`), for root; unmounted when it goes.
class SmallDisk {
  public:
    SmallDisk(const fs::path& at, const std::string& size) : at_(at) {
        fs::create_directories(at);
        mounted_ =
            ::mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0755").c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    // Takes all the room left with one file.
    void fill() const {
        const int fd = ::open((at_ / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }

  private:
    fs::path at_;
    bool mounted_ = false;
};

}  // namespace

// On a disk that takes no more, m_SaveBinFile leaves the old bytes of its file and m_SaveAppend
// leaves no part of its record, each failing with 75 and a log line that names the cause; a
// move onto that disk logs that the disk is full. For root the disk is a full 2 MB tmpfs; for
// anybody else a file size limit (8 KiB) makes the writes fail, and comcall, which ignores
// SIGXFSZ, reports the failure instead of dying of it.
TEST(KestrumTools, SavesAndMovesOnAFullDiskLeaveEveryFileAsItWas) {
    platform::testing::TempMachine machine;
    ASSERT_EQ(runProgram(REGSVR, {KESTRUM_LIBRARY}).exitCode, 0);
    const fs::path disk = machine.path() / "disk";
    const bool root = ::geteuid() == 0;
    std::optional<SmallDisk> small;
    rlim_t limit = RLIM_INFINITY;
    if (root) {
        small.emplace(disk, "2m");
        ASSERT_TRUE(small->mounted()) << "cannot mount a tmpfs on " << disk;
    } else {
        fs::create_directories(disk);
        limit = 8192;
    }
    const std::string cause = root ? "the disk is full (ENOSPC)" : "File too large (EFBIG)";
    const fs::path bin = disk / "bin.txt", log = disk / "log.txt", moved = disk / "moved.bin";
    const std::string oldBin = "the old contents of the file\r\n", oldLog = "first record\r\n";
    std::ofstream(bin, std::ios::binary) << oldBin;
    std::ofstream(log, std::ios::binary) << oldLog;
    const fs::path source = machine.path() / "source.bin";
    std::ofstream(source, std::ios::binary) << std::string(1 << 20, 's');
    if (small) small->fill();

    const std::string text(20000, 'x');
    const struct {
        std::string member;
        fs::path file;
        std::string old;
    } saves[] = {{"m_SaveBinFile", bin, oldBin}, {"m_SaveAppend", log, oldLog}};
    for (const auto& save : saves) {
        SCOPED_TRACE(save.member);
        const auto run =
            comcallInChild({"Kestrum.UAC", save.member, save.file.string(), text}, limit);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("0x800A004B"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(cause), std::string::npos) << run.err;
        const std::string now = contentsOf(save.file);
        EXPECT_TRUE(now == save.old)
            << "the file holds " << now.size() << " bytes, not the old " << save.old.size();
    }

    // Across file systems when the folder is a tmpfs of its own; the same file system for the
    // limit.
    const auto move = comcallInChild({"Kestrum.UAC", "m_FileMove", source.string(), moved.string()},
                                     limit == RLIM_INFINITY ? limit : 65536);
    EXPECT_EQ(move.exitCode, root ? 1 : 0) << move.err;
    if (root) {
        EXPECT_NE(move.err.find("0x800A004B"), std::string::npos) << move.err;
        EXPECT_NE(move.err.find("m_FileMove: cannot move " + source.string() + " to " +
                                moved.string() + ": " + cause),
                  std::string::npos)
            << move.err;
        EXPECT_EQ(fs::file_size(source), std::uintmax_t(1) << 20);
        EXPECT_FALSE(fs::exists(moved));
    }
    EXPECT_EQ(partialCopiesIn(disk), std::vector<std::string>{});
}

// A file still being written while it is moved across file systems: the copy cannot hold what
// comes after it, so the source is kept whole and the move fails with its reason; every
// record the writer wrote is in the source.
TEST(KestrumTools, AFileStillBeingWrittenIsNotMovedAcrossFileSystems) {
    platform::testing::TempMachine machine;
    ASSERT_EQ(runProgram(REGSVR, {KESTRUM_LIBRARY}).exitCode, 0);
    const fs::path away = folderOnAnotherFileSystem(machine.path());
    ASSERT_FALSE(away.empty()) << "no folder on a file system other than that of "
                               << machine.path();
    const RemovedAtEnd cleanup{away};
    const fs::path source = away / "records.txt", target = machine.path() / "records.txt";
    constexpr std::size_t kRecord = 16;
    std::size_t before = 0;
    {
        std::ofstream out(source, std::ios::binary);
        char line[kRecord + 1];
        for (; before < (64u << 20) / kRecord; ++before) {
            std::snprintf(line, sizeof line, "record %08zu\n", before);
            out.write(line, kRecord);
        }
    }
    // The writer appends records until told to stop, then says how many it wrote.
    int stop[2], count[2];
    ASSERT_EQ(::pipe(stop), 0);
    ASSERT_EQ(::pipe(count), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::close(stop[1]);
        const int fd = ::open(source.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ::fcntl(stop[0], F_SETFL, O_NONBLOCK);
        std::size_t n = 0;
        char line[kRecord + 1], byte;
        while (::read(stop[0], &byte, 1) < 0) {
            for (int i = 0; i < 64; ++i, ++n) {
                std::snprintf(line, sizeof line, "appended %06zu\n", n % 1000000);
                if (::write(fd, line, kRecord) != ssize_t(kRecord)) ::_exit(1);
            }
        }
        [[maybe_unused]] ssize_t w = ::write(count[1], &n, sizeof n);
        ::_exit(0);
    }
    ::close(stop[0]);
    ::close(count[1]);
    platform::testing::waitFor([&] { return fs::file_size(source) > before * kRecord; });
    const auto move =
        comcallInChild({"Kestrum.UAC", "m_FileMove", source.string(), target.string()});
    ::close(stop[1]);
    std::size_t appended = 0;
    EXPECT_EQ(::read(count[0], &appended, sizeof appended), ssize_t(sizeof appended));
    ::close(count[0]);
    int status = 0;
    ::waitpid(writer, &status, 0);
    EXPECT_GT(appended, 0u);

    EXPECT_EQ(move.exitCode, 1) << move.err;
    EXPECT_NE(move.err.find("0x800A004B"), std::string::npos) << move.err;
    EXPECT_NE(move.err.find("changed while it was copied"), std::string::npos) << move.err;
    ASSERT_TRUE(fs::exists(source)) << "the source is gone";
    EXPECT_EQ(fs::file_size(source), (before + appended) * kRecord)
        << "records lost: " << (before + appended) - fs::file_size(source) / kRecord << " of "
        << before + appended;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(partialCopiesIn(machine.path()), std::vector<std::string>{});
}

// A move across file systems killed half-way leaves its partial copy; the next move into that
// folder removes it. A partial copy that a live move holds stays, and so do files that only
// look alike.
TEST(KestrumTools, TheNextMoveRemovesAKilledMovesPartialCopy) {
    platform::testing::TempMachine machine;
    ASSERT_EQ(runProgram(REGSVR, {KESTRUM_LIBRARY}).exitCode, 0);
    const fs::path away = folderOnAnotherFileSystem(machine.path());
    ASSERT_FALSE(away.empty()) << "no folder on a file system other than that of "
                               << machine.path();
    const RemovedAtEnd cleanup{away};
    const fs::path source = away / "big.bin";
    writePattern(source, 256);

    const pid_t mover = ::fork();
    if (mover == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(COMCALL, COMCALL, "Kestrum.UAC", "m_FileMove", source.c_str(),
                (machine.path() / "moved.bin").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string partial;
    platform::testing::waitFor(
        [&] {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(machine.path(), ec)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind(".move-", 0) == 0 && entry.file_size(ec) > (1u << 20))
                    partial = name;
            }
            return !partial.empty();
        },
        std::chrono::milliseconds(20000),
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    ::kill(mover, SIGKILL);
    int status = 0;
    ::waitpid(mover, &status, 0);
    ASSERT_FALSE(partial.empty()) << "the move ended before it could be killed";
    ASSERT_TRUE(fs::exists(machine.path() / partial));
    EXPECT_TRUE(fs::exists(source));

    // A live move's partial copy (locked, as a mover holds it) and names of another pattern.
    const fs::path live = machine.path() / ".move-Live01";
    const int held = ::open(live.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    for (const char* other : {".move-abc", ".move-abcdefg", "x.move-abc123"})
        std::ofstream(machine.path() / other) << "mine";

    std::ofstream(away / "small.txt") << "small";
    const auto next = comcallInChild({"Kestrum.UAC", "m_FileMove", (away / "small.txt").string(),
                                      (machine.path() / "small.txt").string()});
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(contentsOf(machine.path() / "small.txt"), "small");
    EXPECT_FALSE(fs::exists(machine.path() / partial)) << partial << " is still there";
    EXPECT_TRUE(fs::exists(live));
    for (const char* other : {".move-abc", ".move-abcdefg", "x.move-abc123"})
        EXPECT_TRUE(fs::exists(machine.path() / other)) << other;
    ::close(held);
}
