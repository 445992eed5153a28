#include "platform/system/files.h"

#include <dlfcn.h>
#include <fnmatch.h>
#include <sys/random.h>

#include <cerrno>
#include <system_error>

#include "platform/text/text.h"

namespace platform::system {

namespace fs = std::filesystem;
namespace text = platform::text;

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

std::vector<fs::path> findFiles(const fs::path& pattern, NameCase nameCase) {
    std::vector<fs::path> found;
    const std::string name = pattern.filename().string();
    std::error_code ec;
    if (name.empty()) {  // a folder named with its final separator
        if (fs::exists(pattern, ec)) found.push_back(pattern);
        return found;
    }
    const bool wild = name.find_first_of("*?") != std::string::npos;
    if (!wild && fs::exists(pattern, ec)) {
        found.push_back(pattern);
        return found;
    }
    if (!wild && nameCase == NameCase::Exact) return found;
    const std::u16string wideName = text::fromUtf8(name);
    fs::path folder = pattern.parent_path();
    if (folder.empty()) folder = ".";
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        const bool match = wild ? fnmatch(name.c_str(), candidate.c_str(),
                                          nameCase == NameCase::Ignore ? FNM_CASEFOLD : 0) == 0
                                : text::equalsNoCase(text::fromUtf8(candidate), wideName);
        if (match) found.push_back(pattern.parent_path() / candidate);
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

fs::path fromPlatformPath(std::u16string_view path) {
    std::u16string s(path);
    for (char16_t& c : s)
        if (c == u'\\') c = u'/';
    if (s.size() >= 2 && s[1] == u':' &&
        ((s[0] >= u'A' && s[0] <= u'Z') || (s[0] >= u'a' && s[0] <= u'z'))) {
        s.erase(0, 2);
        if (s.empty() || s[0] != u'/') s.insert(s.begin(), u'/');
    }
    return fs::path(text::toUtf8(s));
}

bool lookupFile(const fs::path& path, Lookup kind) {
    const std::string name = path.filename().string();
    if (name.empty()) return false;
    if (kind == Lookup::Ordinary && name[0] == '.') return false;
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

}  // namespace platform::system
