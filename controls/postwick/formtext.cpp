#include "controls/postwick/formtext.h"

#include "platform/text/text.h"

namespace postwick {

namespace text = platform::text;

std::u16string encodeFormValue(std::u16string_view value) {
    std::u16string out;
    for (std::uint8_t b : text::toAnsi(value)) {
        const bool plain =
            (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
        if (plain) {
            out += static_cast<char16_t>(b);
        } else {
            out += u'%';
            out += text::hexWord(b, 2, text::HexCase::Upper);
        }
    }
    return out;
}

namespace {

bool isLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// A scheme: a letter, then letters, digits, "+", "-" or ".", then "://".
bool hasScheme(std::u16string_view value) {
    const std::size_t colon = value.find(u"://");
    if (colon == std::u16string_view::npos || colon == 0 || !isLetter(value[0])) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const char16_t c = value[i];
        if (!isLetter(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return true;
}

}  // namespace

std::u16string targetAddress(std::u16string_view value) {
    if (hasScheme(value)) return std::u16string(value);
    return u"http://" + std::u16string(value);
}

std::u16string extractScriptPieces(std::u16string_view reply) {
    std::u16string out;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = reply.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) end = reply.size();
        const std::u16string line = text::Trim(reply.substr(start, end - start));
        if (line.size() >= 5 &&
            text::equalsNoCase(std::u16string_view(line).substr(0, 5), u"s += ") &&
            line.size() >= 8)
            out.append(line, 6, line.size() - 8);
        if (end == reply.size()) break;
        start = end +
                (reply[end] == u'\r' && end + 1 < reply.size() && reply[end + 1] == u'\n' ? 2 : 1);
    }
    return out;
}

}  // namespace postwick
