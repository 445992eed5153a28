// The real TesselServer writing its INI where writes fail: a folder that takes no new file and a
// disk that takes no more (a file size limit on the server, so that writes fail with EFBIG).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "lib/initool/initool.h"
#include "server_process.h"

using namespace tessel;
using namespace tessel::server;
using namespace tessel::server::testing;
namespace fs = std::filesystem;
namespace text = platform::text;

namespace {

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A folder that takes no new entry while its files stay writable: without write permission on
// the folder, or, for root (whom permissions do not stop), marked immutable. Undone when the
// object goes.
class ClosedFolder {
  public:
    explicit ClosedFolder(const fs::path& folder) : folder_(folder) {
        if (::geteuid() != 0) {
            closed_ = ::chmod(folder.c_str(), 0555) == 0;
        } else if (int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
            int flags = 0;
            closed_ = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                      (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
            immutable_ = closed_;
            ::close(fd);
        }
        // Proof that it holds: a new file cannot be made there.
        const fs::path probe = folder / "probe";
        const int made = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (made >= 0) {
            ::close(made);
            ::unlink(probe.c_str());
            closed_ = false;
        }
    }
    ~ClosedFolder() {
        if (immutable_) {
            if (int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
                int flags = 0;
                if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                    flags &= ~FS_IMMUTABLE_FL;
                    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
                }
                ::close(fd);
            }
        } else {
            ::chmod(folder_.c_str(), 0755);
        }
    }
    bool closed() const { return closed_; }

  private:
    fs::path folder_;
    bool closed_ = false;
    bool immutable_ = false;
};

class ServerIniFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = machine.path() / "cfg";
        fs::create_directory(folder);
        port = freePort();
    }
    // An INI of `size` bytes or more: [SYSTEM] with the port and no LocalIP (so the server's
    // start writes one), then sections of plain entries.
    std::string largeIni(std::size_t size) const {
        std::string ini = "[SYSTEM]\r\nPORT=" + std::to_string(port) + "\r\n";
        for (int i = 0; ini.size() < size; ++i) {
            ini += "[SECTION" + std::to_string(i) + "]\r\n";
            for (int k = 0; k < 8; ++k)
                ini += "Key" + std::to_string(k) + "=value " + std::to_string(k) + " of section " +
                       std::to_string(i) + " with some padding text\r\n";
        }
        return ini;
    }
    platform::testing::TempMachine machine;
    fs::path folder;
    int port = 0;
};

}  // namespace

// The folder refuses the temporary file, so the INI is rewritten in place, and the disk takes
// no more than 51,200 bytes of any file: the write fails, and the INI is the old one byte for
// byte (never cut first). The log says why each way of writing failed. The server goes on
// with 127.0.0.1 from memory.
TEST_F(ServerIniFiles, AFailedInPlaceWriteLeavesTheIniByteForByte) {
    const std::string old = largeIni(124972);
    std::ofstream(folder / "server.ini", std::ios::binary) << old;
    std::ofstream(folder / "server.err") << "";  // the server's log, made while it can be
    ClosedFolder closed(folder);
    ASSERT_TRUE(closed.closed()) << "cannot close " << folder << " to new files";
    ServerProcess server(folder, "", StartPort::Configured, 51200);
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    ASSERT_TRUE(waitFor([&] {
        return server.errors().find("쓸 수 없습니다") != std::string::npos;
    })) << server.errors();
    const std::string log = server.errors();
    EXPECT_NE(log.find("permission denied"), std::string::npos) << log;
    EXPECT_NE(log.find("written in place instead"), std::string::npos) << log;
    EXPECT_NE(log.find("File too large"), std::string::npos) << log;
    EXPECT_NE(log.find("the file is left as it was"), std::string::npos) << log;
    const std::string now = readAll(folder / "server.ini");
    EXPECT_TRUE(now == old) << "the INI holds " << now.size() << " of its " << old.size()
                            << " bytes, ending in: "
                            << now.substr(now.size() - std::min<std::size_t>(now.size(), 80));
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"server.err", "server.ini"}));
}

// Where the disk has room the same folder still gets its INI written in place: LocalIP is
// added, everything else stays.
TEST_F(ServerIniFiles, AFolderThatTakesNoNewFileGetsTheIniRewrittenInPlace) {
    const std::string old = largeIni(124972);
    std::ofstream(folder / "server.ini", std::ios::binary) << old;
    std::ofstream(folder / "server.err") << "";  // the server's log, made while it can be
    ClosedFolder closed(folder);
    ASSERT_TRUE(closed.closed()) << "cannot close " << folder << " to new files";
    ServerProcess server(folder, "");
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    std::string expected = old;
    expected.insert(expected.find("\r\n", expected.find("PORT=")) + 2, "LocalIP=127.0.0.1\r\n");
    EXPECT_TRUE(waitFor([&] { return readAll(folder / "server.ini") == expected; }))
        << "the INI holds " << readAll(folder / "server.ini").size() << " bytes, not "
        << expected.size() << "\n"
        << server.errors();
    EXPECT_EQ(server.errors().find("쓸 수 없습니다"), std::string::npos) << server.errors();
}

// In a folder that takes no new file, writes that make the file longer and shorter leave
// exactly the new contents, with no tail of the old ones and nothing beside the file.
TEST_F(ServerIniFiles, InPlaceRewritesLeaveExactlyTheNewContents) {
    const fs::path file = folder / "local.ini";
    std::ofstream(file, std::ios::binary) << "; kept\r\n[A]\r\na=1\r\n[B]\r\nb=2\r\n";
    ClosedFolder closed(folder);
    ASSERT_TRUE(closed.closed()) << "cannot close " << folder << " to new files";
    iniTool ini;
    ini.FileName(text::fromUtf8(file.string()));
    ASSERT_TRUE(ini.WriteValue(u"A", u"a", u"a much longer value than before"))
        << ini.lastWriteError();
    EXPECT_EQ(readAll(file),
              "; kept\r\n[A]\r\na=a much longer value than before\r\n[B]\r\nb=2\r\n");
    ASSERT_TRUE(ini.DeleteSection(u"A")) << ini.lastWriteError();
    EXPECT_EQ(readAll(file), "; kept\r\n[B]\r\nb=2\r\n");
    ASSERT_TRUE(ini.DeleteKey(u"B", u"b")) << ini.lastWriteError();
    EXPECT_EQ(readAll(file), "; kept\r\n[B]\r\n");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"local.ini"});
}

// The first start on a full disk: the INI cannot be written, and no empty or partial INI is
// left in its place; the server listens on 127.0.0.1 and the next start with room writes it.
TEST_F(ServerIniFiles, TheFirstStartOnAFullDiskLeavesNoIni) {
    {
        // Room for the port file's few bytes, not for an INI.
        ServerProcess server(folder, "", StartPort::AnyFree, 16);
        const int port = server.port();
        ASSERT_GT(port, 0) << server.errors();
        ASSERT_TRUE(server.waitListening(port)) << server.errors();
        ASSERT_TRUE(waitFor([&] {
            return server.errors().find("쓸 수 없습니다") != std::string::npos;
        })) << server.errors();
        EXPECT_NE(server.errors().find("File too large"), std::string::npos) << server.errors();
        EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"server.err", "server.port"}));
    }
    ServerProcess server(folder, "", StartPort::AnyFree);
    const int port = server.port();
    ASSERT_TRUE(port > 0 && server.waitListening(port)) << server.errors();
    iniTool ini;
    ini.FileName(text::fromUtf8((folder / "server.ini").string()));
    EXPECT_EQ(ini.GetValue(u"SYSTEM", u"LocalIP"), u"127.0.0.1") << server.errors();
}

// The run of a kiosk's start under `prlimit --fsize=65536`: a 127 KiB INI in a folder that takes
// no new file, its LocalIP an address the machine lacks, so the server falls back to 127.0.0.1
// and writes that. The write cannot fit under the limit: the server (which ignores SIGXFSZ)
// refuses it before changing a byte, says why, and listens on 127.0.0.1 from memory.
TEST_F(ServerIniFiles, UnderAFileSizeLimitTheServerRefusesTheWriteAndKeepsItsIni) {
    std::string old = largeIni(127 * 1024);
    old.insert(old.find("\r\n", old.find("PORT=")) + 2, "LocalIP=192.0.2.123\r\n");
    std::ofstream(folder / "server.ini", std::ios::binary) << old;
    std::ofstream(folder / "server.err") << "";
    ClosedFolder closed(folder);
    ASSERT_TRUE(closed.closed()) << "cannot close " << folder << " to new files";
    ServerProcess server(folder, "", StartPort::Configured, 65536);
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    ASSERT_TRUE(waitFor([&] {
        return server.errors().find("쓸 수 없습니다") != std::string::npos;
    })) << server.errors();
    const std::string log = server.errors();
    EXPECT_NE(log.find("File too large"), std::string::npos) << log;
    EXPECT_NE(log.find("the file is left as it was"), std::string::npos) << log;
    EXPECT_EQ(log.find("failed too"), std::string::npos) << log;
    const std::string now = readAll(folder / "server.ini");
    EXPECT_TRUE(now == old) << "the INI holds " << now.size() << " of its " << old.size()
                            << " bytes";
    EXPECT_TRUE(server.running());
}

// Two processes write different keys into one INI at once, 300 each, and then two threads 100
// each: every write waits for the other's whole read, change and write, so no key is lost, on
// the ordinary road and on the in-place road (a folder that takes no new file). The file never
// holds a byte that is not its text, not even for a moment: a reader looks at it all along.
TEST_F(ServerIniFiles, WritersAtOnceKeepEachOthersKeysOnBothRoads) {
    constexpr int kRounds = 300, kThreadRounds = 100;
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "by rename");
        const fs::path sub = folder / (inPlace ? "closed" : "open");
        fs::create_directory(sub);
        const fs::path file = sub / "two.ini";
        std::ofstream(file, std::ios::binary) << "[S]\r\nfirst=1\r\n";
        std::optional<ClosedFolder> closed;
        if (inPlace) {
            closed.emplace(sub);
            ASSERT_TRUE(closed->closed()) << "cannot close " << sub << " to new files";
        }
        const std::u16string path = text::fromUtf8(file.string());
        auto writeKeys = [&](const std::string& who, int rounds) {
            iniTool ini;
            ini.FileName(path);
            bool all = true;
            for (int i = 0; i < rounds; ++i)
                all = ini.WriteValue(u"S", text::fromUtf8(who + "k" + std::to_string(i)),
                                     u"value " + text::fromUtf8(std::to_string(i))) &&
                      all;
            return all;
        };
        pid_t writers[2];
        for (int w = 0; w < 2; ++w)
            if ((writers[w] = ::fork()) == 0)
                ::_exit(writeKeys("p" + std::to_string(w), kRounds) ? 0 : 1);
        std::atomic<bool> done{false};
        std::atomic<int> withNul{0};
        std::thread reader([&] {
            while (!done)
                if (readAll(file).find('\0') != std::string::npos) ++withNul;
        });
        for (pid_t writer : writers) {
            int status = -1;
            ASSERT_EQ(::waitpid(writer, &status, 0), writer);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
        }
        bool threadsWrote[2] = {false, false};
        std::thread threads[2];
        for (int t = 0; t < 2; ++t)
            threads[t] = std::thread(
                [&, t] { threadsWrote[t] = writeKeys("t" + std::to_string(t), kThreadRounds); });
        for (auto& t : threads) t.join();
        done = true;
        reader.join();
        EXPECT_TRUE(threadsWrote[0] && threadsWrote[1]);

        iniTool ini;
        ini.FileName(path);
        int kept[4] = {0, 0, 0, 0};
        for (const std::u16string& key : ini.GetAllKeys(u"S")) {
            const std::string name = text::toUtf8(key);
            const int who = name.rfind("p0k", 0) == 0   ? 0
                            : name.rfind("p1k", 0) == 0 ? 1
                            : name.rfind("t0k", 0) == 0 ? 2
                            : name.rfind("t1k", 0) == 0 ? 3
                                                        : -1;
            if (who >= 0) ++kept[who];
        }
        EXPECT_EQ(kept[0] + kept[1], 2 * kRounds)
            << "kept " << kept[0] << " and " << kept[1] << " of " << kRounds << " keys each";
        EXPECT_EQ(kept[2] + kept[3], 2 * kThreadRounds)
            << "threads kept " << kept[2] << " and " << kept[3] << " of " << kThreadRounds;
        EXPECT_EQ(ini.GetValue(u"S", u"first"), u"1");
        EXPECT_EQ(withNul.load(), 0) << "the reader saw NUL bytes in the file";
        EXPECT_EQ(readAll(file).find('\0'), std::string::npos);
        EXPECT_EQ(namesIn(sub), std::vector<std::string>{"two.ini"});
    }
}

// An INI replaced by a write keeps its owner, group and permission bits, as a moved file does:
// a file of another user's that root writes stays that user's, readable by them.
TEST_F(ServerIniFiles, AReplacedIniKeepsItsOwnerGroupAndMode) {
    const fs::path file = folder / "owned.ini";
    std::ofstream(file, std::ios::binary) << "[A]\r\na=1\r\n";
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    }
    iniTool ini;
    ini.FileName(text::fromUtf8(file.string()));
    ASSERT_TRUE(ini.WriteValue(u"A", u"b", u"2")) << ini.lastWriteError();
    EXPECT_EQ(readAll(file), "[A]\r\na=1\r\nb=2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (!root) {
        GTEST_SKIP() << "giving the file to another owner needs root; the mode was kept";
    }
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}
