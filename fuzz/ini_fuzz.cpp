// The INI reader over any file content (in every encoding it recognises), then a write and a
// delete through the same file.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "server/initool.h"

namespace {

// No control characters but line ends and tabs, and every header line closed by "]".
bool wellFormed(const std::uint8_t* data, std::size_t size) {
    bool lineStart = true, inHeader = false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = data[i];
        if (c == '\r' || c == '\n') {
            if (inHeader) return false;
            lineStart = true;
            continue;
        }
        if (c < 32 && c != '\t') return false;
        if (lineStart && c == '[') inHeader = true;
        if (inHeader && c == ']') inHeader = false;
        if (c != ' ' && c != '\t') lineStart = false;
    }
    return !inHeader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessel::server;
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
        // A section whose name holds bytes the code page cannot decode is written back with
        // "?" there (the file is rewritten from its text); the profile functions cannot name a
        // section holding a control character; and a header line without its "]" is read as a
        // section but not written into. Only a well-formed file must find the value again.
        bool clean = wellFormed(data, size);
        for (char16_t c : sections.front())
            if (c < 32 || c == u'\uFFFD') clean = false;
        if (clean && ini.GetValue(sections.front(), u"fuzz") != u"value") std::abort();
        ini.DeleteKey(sections.front(), u"fuzz");
        ini.DeleteSection(sections.back());
    }
    return 0;
}
