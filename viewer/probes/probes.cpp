#include "viewer/probes/probes.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "platform/system/files.h"
#include "platform/system/fileversion.h"
#include "platform/text/codepage.h"
#include "platform/text/coding.h"
#include "viewer/log/log.h"

namespace vistrel {

bool FileExist(std::u16string_view path) {
    if (path.empty()) return false;
    try {
        std::u16string p(path);
        for (auto& c : p)
            if (c == u'\\') c = u'/';
        return !platform::system::findFiles(platform::text::toUtf8(p),
                                            platform::system::NameCase::Ignore)
                    .empty();
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
        const std::u16string key = platform::text::hexWord(
            std::uint32_t(t.language) << 16 | t.codePage, 8, platform::text::HexCase::Upper);
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
