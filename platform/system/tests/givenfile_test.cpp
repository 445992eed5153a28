#include "platform/system/givenfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "platform/testing/temp_machine.h"

namespace platform::system {
namespace {

namespace fs = std::filesystem;

class GivenFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ofstream(dir() / "ten.txt", std::ios::binary) << "0123456789";
        std::ofstream(dir() / "empty.txt", std::ios::binary);
        ASSERT_EQ(::mkfifo((dir() / "pipe").c_str(), 0600), 0);
        fs::create_directory(dir() / "folder");
        fs::create_symlink(dir() / "ten.txt", dir() / "link");
        fs::create_symlink(dir() / "gone", dir() / "dangling");
        fs::create_symlink(dir() / "pipe", dir() / "link-to-pipe");
    }
    const fs::path& dir() const { return machine_.path(); }

  private:
    testing::TempMachine machine_;
};

// No case may block: a named pipe without a writer and an endless device are refused
// before a byte is read.
TEST_F(GivenFile, ReadsOnlyRegularFilesWithinTheLimit) {
    struct Case {
        const char* name;
        fs::path file;
        std::size_t limit;
        int error;  // 0: read
        const char* contents;
        const char* inWhy;
    };
    const Case cases[] = {
        {"a regular file", dir() / "ten.txt", 10, 0, "0123456789", ""},
        {"an empty file", dir() / "empty.txt", 10, 0, "", ""},
        {"a link to a file", dir() / "link", 10, 0, "0123456789", ""},
        {"a file over the limit", dir() / "ten.txt", 9, EFBIG, "", "larger than 9 bytes"},
        {"a missing file", dir() / "none", 10, ENOENT, "", "does not exist"},
        {"a link to nothing", dir() / "dangling", 10, ENOENT, "", "which does not exist"},
        {"a named pipe", dir() / "pipe", 10, EINVAL, "", "is a named pipe"},
        {"a link to a named pipe", dir() / "link-to-pipe", 10, EINVAL, "", "is a named pipe"},
        {"a folder", dir() / "folder", 10, EINVAL, "", "is a folder"},
        {"an endless device", "/dev/zero", 1 << 20, EINVAL, "", "is a character device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "left over";
        GivenFileError failure;
        EXPECT_EQ(readGivenFile(c.file, c.limit, out, failure), c.error == 0);
        EXPECT_EQ(failure.error, c.error);
        EXPECT_EQ(out, c.contents);
        EXPECT_NE(failure.why.find(c.inWhy), std::string::npos) << failure.why;

        struct stat st {};
        int fd = openGivenFile(c.file, c.limit, failure, &st);
        EXPECT_EQ(fd >= 0, c.error == 0);
        EXPECT_EQ(failure.error, c.error);
        if (fd >= 0) {
            char buf[16] = {};
            EXPECT_EQ(::read(fd, buf, sizeof buf), ssize_t(std::string(c.contents).size()));
            EXPECT_EQ(std::string(buf), c.contents);
            EXPECT_EQ(st.st_size, off_t(std::string(c.contents).size()));
            ::close(fd);
        }
    }
}

}  // namespace
}  // namespace platform::system
