// Readable names for table cases: CTest lists every case by its printed parameter, so texts
// are printed in plain ASCII (other units as U+XXXX) without characters CTest treats specially.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace platform::text::testing {

inline std::string printable(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        bool plain = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
                     (c >= u'A' && c <= u'Z') ||
                     std::u16string_view(u" -_.,:/+&=|'").find(c) != std::u16string_view::npos;
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            char buffer[12];
            std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
            out += buffer;
        }
    }
    return out;
}

}  // namespace platform::text::testing
