#include "server/formcipher.h"

#include "ciphers/dbcodec.h"
#include "ciphers/messagekey.h"
#include "platform/text/coding.h"
#include "platform/text/text.h"

namespace tessel::server {

namespace text = platform::text;

std::u16string EncodeDes(std::u16string_view PlainText, std::u16string_view Password) {
    try {
        Bytes bytes = STRING_TO_BYTES(PlainText);
        if (Password.empty()) throw text::Error(5, u"Invalid procedure call or argument");
        DesEncode(bytes, Password);
        std::u16string base64 = text::Replace(text::toBase64(bytes), u"\r\n", u"");
        return EmbedString(base64, Password);
    } catch (const std::exception&) {
        return {};
    }
}

Bytes& DesEncode(Bytes& ByteArray, std::u16string_view passwd) {
    RC4(ByteArray, passwd);
    return ByteArray;
}

void RC4(Bytes& ByteArray, std::u16string_view Password) {
    if (Password.empty()) throw text::Error(5, u"Invalid procedure call or argument");
    ciphra::dbDecode(ByteArray, Password);
}

Bytes STRING_TO_BYTES(std::u16string_view sString) {
    return text::toAnsi(sString);
}

std::u16string BYTES_TO_STRING(const Bytes& bBytes) {
    return text::fromAnsi(bBytes);
}

std::u16string CreateKey() {
    return ciphra::generateKey();
}

std::u16string EmbedString(std::u16string_view target, std::u16string_view src) {
    return ciphra::insertKey(target, src);
}

}  // namespace tessel::server
