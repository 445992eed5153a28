// The request frame a client program sends the issuing server, for tests on either side of the
// wire: the whole frame's length in 8 digits (or the length given), the marker "SMATM001", a
// fixed time stamp, the request type "XC", the 4-character code and the body.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace platform::testing {

namespace detail {
template <class Char>
std::basic_string<Char> requestFrame(std::basic_string_view<Char> code,
                                     std::basic_string_view<Char> body, long declared) {
    constexpr std::string_view kHead = "SMATM00120200302090503007XC";
    const long length =
        declared >= 0 ? declared : static_cast<long>(8 + kHead.size() + code.size() + body.size());
    char digits[24];
    std::snprintf(digits, sizeof digits, "%08ld", length);
    std::basic_string<Char> frame;
    for (const char* c = digits; *c; ++c) frame += static_cast<Char>(*c);
    for (char c : kHead) frame += static_cast<Char>(c);
    return frame.append(code).append(body);
}
}  // namespace detail

// As text, lengths counted in UTF-16 units.
inline std::u16string requestFrame(std::u16string_view code, std::u16string_view body = u"",
                                   long declared = -1) {
    return detail::requestFrame(code, body, declared);
}

// As bytes, lengths counted in bytes.
inline std::string requestFrame(std::string_view code, std::string_view body = "",
                                long declared = -1) {
    return detail::requestFrame(code, body, declared);
}

}  // namespace platform::testing
