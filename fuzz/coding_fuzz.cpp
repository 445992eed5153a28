// The Base64 and hexadecimal decoders on any text; what they accept must encode back to a text
// that decodes to the same bytes. The packed text built from it, in two appends, gives the
// text back, finds its commas where they are, and keeps as bytes only Base64 that they give
// back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text/coding.h"
#include "platform/text/packed.h"
#include "platform/text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace text = platform::text;
    std::string_view narrow(reinterpret_cast<const char*>(data), size);
    std::u16string wide(narrow.begin(), narrow.end());
    if (auto bytes = text::fromBase64(wide)) {
        auto again = text::fromBase64(text::toBase64(*bytes));
        if (!again || *again != *bytes) std::abort();
    }
    auto hexNarrow = text::fromHex(narrow);
    auto hexWide = text::fromHex(std::u16string_view(wide));
    if (hexNarrow.has_value() != hexWide.has_value()) std::abort();
    if (hexNarrow) {
        if (*hexNarrow != *hexWide) std::abort();
        auto again = text::fromHex(text::toHex(*hexNarrow));
        if (!again || *again != *hexNarrow) std::abort();
    }
    text::PackedTextBuilder builder;
    const std::size_t cut = size ? data[0] % (size + 1) : 0;
    builder.append(std::u16string_view(wide).substr(0, cut));
    builder.append(std::u16string_view(wide).substr(cut));
    const auto packed = builder.snapshot();
    if (packed->text() != wide || !packed->equals(wide)) std::abort();
    for (std::size_t from = 0;; ++from) {
        const std::size_t at = packed->find(u',', from);
        if (at != wide.find(u',', from)) std::abort();
        if (at == std::u16string::npos) break;
        from = at;
    }
    for (const auto& run : packed->runs()) {
        if (run->kind != text::PackedText::Run::Kind::Base64) continue;
        const std::u16string chars = wide.substr(run->start, run->size);
        const auto bytes = text::fromBase64(chars);
        if (!bytes || std::string(bytes->begin(), bytes->end()) != run->narrow) std::abort();
        if (run->hexDigits != text::fromHex(chars).has_value()) std::abort();
    }
    return 0;
}
