// The server's JSON reader on any text, and the writer on whatever it read: reading what was
// written must give the same tree again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/bytes/byteorder.h"
#include "platform/text/text.h"
#include "server/json.h"

namespace {

bool plainKeys(const tessel::server::JsonValue& v) {
    using Kind = tessel::server::JsonValue::Kind;
    if (v.kind() == Kind::Array) {
        for (const auto& item : v.array())
            if (!plainKeys(item)) return false;
    } else if (v.kind() == Kind::Object) {
        for (const auto& [key, item] : v.object().items()) {
            for (char16_t c : key)
                if (c < 32 || c > 126 || c == u'"' || c == u'\\' || c == u'/') return false;
            if (!plainKeys(item)) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessel::server;
    // Read as UTF-16 units, so every character (lone surrogates too) can appear.
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] =
            static_cast<char16_t>(platform::bytes::loadLittleEndian<std::uint16_t>(data + 2 * i));
    JsonParse parsed = ParseJson(text);
    if (!parsed.root) return 0;
    std::u16string written = ToJson(*parsed.root);
    JsonParse again = ParseJson(written);
    if (!again.root) std::abort();
    // Keys are read as they stand (no escapes), and a member the reader left without a value
    // (always with an error line) is written without one: only a text read without errors
    // whose keys the writer leaves unescaped must read back the same.
    if (parsed.errors.empty() && plainKeys(*parsed.root) && ToJson(*again.root) != written) {
        std::fprintf(stderr, "written:\n%s\nread back and written:\n%s\n",
                     platform::text::toUtf8(written).c_str(),
                     platform::text::toUtf8(ToJson(*again.root)).c_str());
        std::abort();
    }
    return 0;
}
