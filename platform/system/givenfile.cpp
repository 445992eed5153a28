#include "platform/system/givenfile.h"

#include <cerrno>

#include "platform/system/storefile.h"

namespace platform::system {

namespace {

// The store's readers take a missing file as an empty store; a caller's file must be there.
bool given(FileState state, const std::filesystem::path& file, GivenFileError& failure) {
    if (state == FileState::Read) return true;
    if (state == FileState::Missing) {
        failure.error = ENOENT;
        failure.why = file.string() + " does not exist";
    }
    return false;
}

}  // namespace

bool readGivenFile(const std::filesystem::path& file, std::size_t limit, std::string& out,
                   GivenFileError& failure) {
    failure = {};
    return given(readWholeFile(file, out, limit, failure.why, failure.error), file, failure);
}

int openGivenFile(const std::filesystem::path& file, std::size_t limit, GivenFileError& failure,
                  struct stat* st) {
    failure = {};
    int fd = -1;
    given(openBoundedFile(file, limit, fd, failure.why, failure.error, st), file, failure);
    return fd;
}

}  // namespace platform::system
