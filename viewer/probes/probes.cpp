#include "viewer/probes/probes.h"

#include <glob.h>
#include <sys/stat.h>

#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "platform/system/fileversion.h"
#include "platform/text/codepage.h"
#include "platform/text/numbers.h"
#include "platform/text/strings.h"
#include "viewer/log/log.h"

namespace vistrel {

namespace {

std::u16string hex8(std::uint32_t v) {
    return platform::text::Right(u"0000000" + platform::text::Hex(v), 8);
}

// The platform's file system ignores case: without an exact match, a last part that differs
// from an entry of its folder only in case names that entry.
bool existsIgnoringCase(const std::u16string& path) {
    const auto slash = path.find_last_of(u'/');
    const std::u16string last = slash == std::u16string::npos ? path : path.substr(slash + 1);
    if (last.empty()) return false;
    std::u16string folder = slash == std::u16string::npos ? u"." : path.substr(0, slash);
    if (folder.empty()) folder = u"/";
    std::error_code ec;
    std::filesystem::directory_iterator it(platform::text::toUtf8(folder), ec), end;
    for (; !ec && it != end; it.increment(ec))
        if (platform::text::equalsNoCase(platform::text::fromUtf8(it->path().filename().string()),
                                         last))
            return true;
    return false;
}

}  // namespace

bool FileExist(std::u16string_view path) {
    if (path.empty()) return false;
    try {
        std::u16string p(path);
        for (auto& c : p)
            if (c == u'\\') c = u'/';
        const std::string utf8 = platform::text::toUtf8(p);
        const std::string last = utf8.substr(
            utf8.find_last_of('/') == std::string::npos ? 0 : utf8.find_last_of('/') + 1);
        if (last.find_first_of("*?") != std::string::npos) {
            glob_t g{};
            int rc = ::glob(utf8.c_str(), GLOB_PERIOD | GLOB_NOSORT, nullptr, &g);
            bool found = rc == 0 && g.gl_pathc > 0;
            ::globfree(&g);
            return found;
        }
        struct stat st {};
        if (::stat(utf8.c_str(), &st) == 0) return true;
        return existsIgnoringCase(p);
    } catch (const std::exception& e) {
        WriteLog(u"파일 검색 오류: " + platform::text::fromUtf8(e.what()), 5);
        return false;
    }
}

FileVersionStrings GetFileVersionText(std::u16string_view path) {
    // An empty path names no file: it reads as a file without a version block.
    if (path.empty()) return FileVersionStrings{};
    FileVersionStrings r;
    std::optional<platform::system::VersionBlock> block = platform::system::fileVersionBlock(path);
    if (block && !block->translations.empty()) {
        const auto& t = block->translations.front();
        const std::u16string key = hex8(std::uint32_t(t.language) << 16 | t.codePage);
        auto query = [&](std::u16string_view name) -> std::u16string {
            auto v = platform::system::versionString(*block, key, name);
            if (!v) return u"?";
            return v->substr(0, v->find(u'\0'));
        };
        r.CompanyName = query(u"CompanyName");
        r.FileDescription = query(u"FileDescription");
        r.FileVersion = query(u"FileVersion");
        r.InternalName = query(u"InternalName");
        r.LegalCopyright = query(u"LegalCopyright");
        r.OriginalFileName = query(u"OriginalFileName");
        r.ProductName = query(u"ProductName");
        r.ProductVersion = query(u"ProductVersion");
    }
    return r;
}

}  // namespace vistrel
