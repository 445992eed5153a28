#include "platform/system/files.h"

#include <dlfcn.h>
#include <fnmatch.h>
#include <sys/random.h>

#include <cerrno>
#include <system_error>

namespace platform::system {

namespace fs = std::filesystem;

fs::path programFile() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe;
}

fs::path moduleFile(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return {};
    std::error_code ec;
    fs::path file = fs::canonical(info.dli_fname, ec);
    if (!ec) return file;
    return fs::path(info.dli_fname);
}

std::vector<fs::path> findFiles(const fs::path& pattern) {
    std::vector<fs::path> found;
    const std::string name = pattern.filename().string();
    std::error_code ec;
    if (name.find_first_of("*?") == std::string::npos) {
        if (!name.empty() && fs::exists(pattern, ec)) found.push_back(pattern);
        return found;
    }
    fs::path folder = pattern.parent_path();
    if (folder.empty()) folder = ".";
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (fnmatch(name.c_str(), candidate.c_str(), 0) == 0)
            found.push_back(pattern.parent_path() / candidate);
    }
    return found;
}

bool randomBytes(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = getrandom(out.data() + done, out.size() - done, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace platform::system
