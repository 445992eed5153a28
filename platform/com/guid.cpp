#include "platform/com/guid.h"

#include <cstdio>

namespace platform::com {

namespace {

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace

std::optional<Guid> Guid::parse(std::u16string_view t) {
    if (t.size() == 38) {
        if (t.front() != u'{' || t.back() != u'}') return std::nullopt;
        t = t.substr(1, 36);
    }
    if (t.size() != 36) return std::nullopt;
    // Positions of the dashes in the 36-character form.
    for (std::size_t i : {8u, 13u, 18u, 23u})
        if (t[i] != u'-') return std::nullopt;
    std::array<std::uint8_t, 16> bytes{};
    std::size_t b = 0;
    for (std::size_t i = 0; i < t.size();) {
        if (t[i] == u'-') {
            ++i;
            continue;
        }
        int hi = hexDigit(t[i]), lo = hexDigit(t[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[b++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    Guid g;
    g.data1 = (std::uint32_t(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    g.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    g.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) g.data4[i] = bytes[8 + i];
    return g;
}

std::optional<Guid> Guid::parse(std::string_view text) {
    std::u16string wide(text.begin(), text.end());
    for (unsigned char c : text)
        if (c >= 0x80) return std::nullopt;
    return parse(std::u16string_view(wide));
}

std::string Guid::utf8() const {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                  data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5],
                  data4[6], data4[7]);
    return buf;
}

std::u16string Guid::str() const {
    std::string s = utf8();
    return std::u16string(s.begin(), s.end());
}

}  // namespace platform::com
