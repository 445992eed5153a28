#include "platform/system/parameters.h"

#include <string>

#include "platform/system/profile.h"

namespace platform::system {

namespace {
constexpr std::u16string_view kSection = u"Control Panel\\Desktop";
}

bool fontSmoothing() {
    auto value = profileString(kSection, u"FontSmoothing");
    return !value || *value != u"0";
}

bool setFontSmoothing(bool on, unsigned updateFlags) {
    std::u16string flags;
    for (char c : std::to_string(updateFlags)) flags.push_back(static_cast<char16_t>(c));
    return writeProfileString(kSection, u"FontSmoothing", on ? u"2" : u"0") &&
           writeProfileString(kSection, u"FontSmoothingFlags", flags);
}

unsigned fontSmoothingFlags() {
    auto value = profileString(kSection, u"FontSmoothingFlags");
    unsigned flags = 0;
    if (value)
        for (char16_t c : *value)
            if (c >= u'0' && c <= u'9') flags = flags * 10 + (c - u'0');
    return flags;
}

}  // namespace platform::system
