#include "platform/outside/coding.h"

#include "platform/com/error.h"
#include "platform/text/coding.h"

namespace platform::outside::coding {

using com::raise;

Bytes digest(const EVP_MD* md, const Bytes& data) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    if (!EVP_Digest(data.data(), data.size(), out.data(), &len, md, nullptr))
        raise(com::E_FAIL, u"Digest failed");
    out.resize(len);
    return out;
}

std::u16string hexLower(const Bytes& data) {
    return text::toHex(data);
}

Bytes unhex(std::u16string_view s) {
    auto bytes = text::fromHex(s);
    if (!bytes) raise(com::E_INVALIDARG, u"Invalid hexadecimal text");
    return std::move(*bytes);
}

std::u16string base64Encode(const Bytes& data) {
    return text::toBase64(data);
}

Bytes base64Decode(std::u16string_view s) {
    auto bytes = text::fromBase64(s);
    if (!bytes) raise(com::E_INVALIDARG, u"Invalid Base64 text");
    return std::move(*bytes);
}

}  // namespace platform::outside::coding
