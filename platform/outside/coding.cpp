#include "platform/outside/coding.h"

#include "platform/com/error.h"

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
    static const char16_t digits[] = u"0123456789abcdef";
    std::u16string out;
    out.reserve(data.size() * 2);
    for (auto b : data) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

Bytes unhex(std::u16string_view s) {
    if (s.size() % 2) raise(com::E_INVALIDARG, u"Invalid hexadecimal text");
    auto nibble = [](char16_t c) -> int {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        raise(com::E_INVALIDARG, u"Invalid hexadecimal text");
    };
    Bytes out;
    out.reserve(s.size() / 2);
    for (std::size_t i = 0; i < s.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(nibble(s[i]) * 16 + nibble(s[i + 1])));
    return out;
}

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::u16string base64Encode(const Bytes& data) {
    std::u16string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        for (int s = 18; s >= 0; s -= 6) out += char16_t(kAlphabet[(n >> s) & 63]);
    }
    if (std::size_t rest = data.size() - i) {
        std::uint32_t n = data[i] << 16;
        if (rest == 2) n |= data[i + 1] << 8;
        out += char16_t(kAlphabet[(n >> 18) & 63]);
        out += char16_t(kAlphabet[(n >> 12) & 63]);
        out += rest == 2 ? char16_t(kAlphabet[(n >> 6) & 63]) : u'=';
        out += u'=';
    }
    return out;
}

Bytes base64Decode(std::u16string_view text) {
    Bytes out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t acc = 0;
    int bits = 0, pads = 0;
    for (char16_t c : text) {
        if (c == u'\r' || c == u'\n' || c == u' ' || c == u'\t') continue;
        int v;
        if (c >= u'A' && c <= u'Z')
            v = c - u'A';
        else if (c >= u'a' && c <= u'z')
            v = c - u'a' + 26;
        else if (c >= u'0' && c <= u'9')
            v = c - u'0' + 52;
        else if (c == u'+')
            v = 62;
        else if (c == u'/')
            v = 63;
        else if (c == u'=') {
            ++pads;
            continue;
        } else
            raise(com::E_INVALIDARG, u"Invalid Base64 text");
        if (pads) raise(com::E_INVALIDARG, u"Invalid Base64 text");  // data after padding
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(acc >> bits));
            acc &= (1u << bits) - 1;
        }
    }
    // Leftover bits must be the padding zeros of a final group of 2 or 3 characters.
    if (bits >= 6 || pads > 2) raise(com::E_INVALIDARG, u"Invalid Base64 text");
    return out;
}

}  // namespace platform::outside::coding
