// The INI reader over any file content (in every encoding it recognises), then a write and a
// delete through the same file.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "lib/initool/initool.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

namespace {

// ASCII without control characters but line ends and tabs, and every header line exactly
// "[name]" with nothing but blanks after it.
bool wellFormed(const std::uint8_t* data, std::size_t size) {
    bool lineStart = true, inHeader = false, afterHeader = false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = data[i];
        if (c == '\r' || c == '\n') {
            if (inHeader) return false;
            lineStart = true;
            afterHeader = false;
            continue;
        }
        if ((c < 32 && c != '\t') || c > 126) return false;
        const bool blank = c == ' ' || c == '\t';
        if (afterHeader && !blank) return false;
        if (lineStart && c == '[') {
            inHeader = true;
        } else if (inHeader && c == ']') {
            inHeader = false;
            afterHeader = true;
        }
        if (!blank) lineStart = false;
    }
    return !inHeader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessel;
    static platform::testing::TempMachine machine;
    const auto path = machine.path() / "fuzz.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    iniTool ini(size % 2 ? iniTool::Trim::Both : iniTool::Trim::Right);
    ini.FileName(platform::text::fromUtf8(path.string()));
    auto sections = ini.GetAllSections();
    for (const auto& section : sections)
        for (const auto& key : ini.GetAllKeys(section)) (void)ini.GetValue(section, key, u"none");
    if (!sections.empty()) {
        ini.WriteValue(sections.front(), u"fuzz", u"value");
        // Bytes the code page cannot decode are written back as "?" (the file is rewritten from
        // its text), and a header line without its "]" or with text after it is read as a
        // section but not written into: only a plain ASCII file with well-formed headers must
        // find the value again.
        bool clean = wellFormed(data, size);
        for (char16_t c : sections.front())
            if (c < 32 || c == u'\uFFFD') clean = false;
        if (clean && ini.GetValue(sections.front(), u"fuzz") != u"value") std::abort();
        ini.DeleteKey(sections.front(), u"fuzz");
        ini.DeleteSection(sections.back());
    }
    return 0;
}
