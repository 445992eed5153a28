// The Base64 and hexadecimal decoders on any text; what they accept must encode back to a text
// that decodes to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/text/coding.h"
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
    return 0;
}
