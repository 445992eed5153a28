#include "platform/com/guid.h"

#include <span>

namespace platform::com {

std::string Guid::utf8() const {
    using text::hexWordAscii;
    constexpr auto kUpper = text::HexCase::Upper;
    const std::span<const std::uint8_t> bytes(data4);
    return "{" + hexWordAscii(data1, 8, kUpper) + "-" + hexWordAscii(data2, 4, kUpper) + "-" +
           hexWordAscii(data3, 4, kUpper) + "-" + text::toHexAscii(bytes.first(2), kUpper) + "-" +
           text::toHexAscii(bytes.subspan(2), kUpper) + "}";
}

std::u16string Guid::str() const {
    std::string s = utf8();
    return std::u16string(s.begin(), s.end());
}

}  // namespace platform::com
