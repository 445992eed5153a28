#include "platform/outside/hashcodec.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>

#include "platform/com/dispatch.h"
#include "platform/outside/outside.h"
#include "platform/text/text.h"

namespace platform::outside {

namespace {

using namespace platform::com;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kFormatVersion = 1;
constexpr std::size_t kNonceSize = 12;
constexpr std::size_t kTagSize = 16;
constexpr char kSecret[] = "HashCodec sealing secret 7c1e9b52-4f0a-4d83-b6e2-19a05d3c8f47";

[[noreturn]] void invalid(std::u16string description) {
    raise(E_INVALIDARG, std::move(description));
}

const EVP_MD* hashOf(std::u16string_view name) {
    if (text::equalsNoCase(name, u"md5")) return EVP_md5();
    if (text::equalsNoCase(name, u"sha1")) return EVP_sha1();
    if (text::equalsNoCase(name, u"sha256")) return EVP_sha256();
    if (text::equalsNoCase(name, u"sha384")) return EVP_sha384();
    if (text::equalsNoCase(name, u"sha512")) return EVP_sha512();
    invalid(u"Unknown hash algorithm");
}

Bytes digest(const EVP_MD* md, const Bytes& data) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    if (!EVP_Digest(data.data(), data.size(), out.data(), &len, md, nullptr))
        raise(E_FAIL, u"Digest failed");
    out.resize(len);
    return out;
}

std::u16string hex(const Bytes& data) {
    static const char16_t digits[] = u"0123456789abcdef";
    std::u16string out;
    for (auto b : data) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

Bytes unhex(std::u16string_view s) {
    if (s.size() % 2) invalid(u"Invalid hexadecimal text");
    auto nibble = [](char16_t c) -> int {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        invalid(u"Invalid hexadecimal text");
    };
    Bytes out;
    for (std::size_t i = 0; i < s.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(nibble(s[i]) * 16 + nibble(s[i + 1])));
    return out;
}

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::u16string base64(const Bytes& data) {
    std::u16string out;
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

Bytes unbase64(std::u16string_view s) {
    if (s.size() % 4) invalid(u"Invalid Base64 text");
    Bytes out;
    std::uint32_t acc = 0;
    int bits = 0;
    std::size_t pads = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c == u'=') {
            if (i + 2 < s.size()) invalid(u"Invalid Base64 text");
            ++pads;
            continue;
        }
        if (pads) invalid(u"Invalid Base64 text");
        const char* p = c < 128 ? std::strchr(kAlphabet, static_cast<char>(c)) : nullptr;
        if (!p || !c) invalid(u"Invalid Base64 text");
        acc = (acc << 6) | static_cast<std::uint32_t>(p - kAlphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(acc >> bits));
        }
    }
    return out;
}

std::u16string urlForm(std::u16string b64) {
    b64 = text::Replace(b64, u"+", u"%2B");
    b64 = text::Replace(b64, u"/", u"%2F");
    return text::Replace(b64, u"=", u"%3D");
}

std::u16string fromUrlForm(std::u16string_view s) {
    std::u16string out = text::Replace(s, u"%2B", u"+", true);
    out = text::Replace(out, u"%2F", u"/", true);
    return text::Replace(out, u"%3D", u"=", true);
}

enum class Encoding { Base64, Url, Hex };

Encoding encodingOf(std::u16string_view name) {
    if (text::equalsNoCase(name, u"base64")) return Encoding::Base64;
    if (text::equalsNoCase(name, u"url")) return Encoding::Url;
    if (text::equalsNoCase(name, u"hex")) return Encoding::Hex;
    invalid(u"Unknown encoding");
}

Bytes sealingKey() {
    return digest(EVP_sha256(), Bytes(kSecret, kSecret + sizeof kSecret - 1));
}

Bytes seal(const Bytes& plain) {
    Bytes key = sealingKey();
    Bytes out(1 + kNonceSize + plain.size() + kTagSize);
    out[0] = kFormatVersion;
    if (RAND_bytes(out.data() + 1, kNonceSize) != 1) raise(E_FAIL, u"No random bytes");
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int len = 0;
    std::uint8_t* body = out.data() + 1 + kNonceSize;
    bool ok = ctx &&
              EVP_EncryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, key.data(), out.data() + 1) &&
              EVP_EncryptUpdate(ctx, body, &len, plain.data(), static_cast<int>(plain.size())) &&
              EVP_EncryptFinal_ex(ctx, body + len, &len) &&
              EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, kTagSize, body + plain.size());
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) raise(E_FAIL, u"Encryption failed");
    return out;
}

Bytes unseal(const Bytes& sealed) {
    if (sealed.size() < 1 + kNonceSize + kTagSize || sealed[0] != kFormatVersion)
        invalid(u"The text was not encrypted by this component");
    Bytes key = sealingKey();
    const std::size_t size = sealed.size() - 1 - kNonceSize - kTagSize;
    const std::uint8_t* body = sealed.data() + 1 + kNonceSize;
    Bytes out(size);
    Bytes tag(body + size, body + size + kTagSize);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int len = 0;
    bool ok = ctx &&
              EVP_DecryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, key.data(), sealed.data() + 1) &&
              EVP_DecryptUpdate(ctx, out.data(), &len, body, static_cast<int>(size)) &&
              EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, kTagSize, tag.data()) &&
              EVP_DecryptFinal_ex(ctx, out.data() + len, &len);
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) invalid(u"The text was changed or not encrypted by this component");
    return out;
}

class HashCodec : public DispatchImpl<HashCodec> {
  public:
    static const Members<HashCodec>& members();

  private:
    std::u16string hashText(std::u16string_view s) const {
        Bytes d = digest(hashOf(algorithm_), text::toAnsi(s));
        return encodingOf(encoding_) == Encoding::Base64 ? base64(d) : hex(d);
    }

    std::u16string algorithm_ = u"md5";
    std::u16string encoding_ = u"hex";
};

const Members<HashCodec>& HashCodec::members() {
    static const Members<HashCodec> m =
        Members<HashCodec>(u"IHashCodec", IID_IHashCodec)
            .method(1, u"SetHashAlgorithm", VT_EMPTY, {{u"name", VT_BSTR}},
                    [](HashCodec& self, Call& c) {
                        hashOf(c.text(0));
                        self.algorithm_ = c.text(0);
                    })
            .method(2, u"SetEncoding", VT_EMPTY, {{u"name", VT_BSTR}},
                    [](HashCodec& self, Call& c) {
                        if (encodingOf(c.text(0)) == Encoding::Url)
                            invalid(u"Digests are written in hex or base64");
                        self.encoding_ = c.text(0);
                    })
            .method(3, u"HashText", VT_BSTR, {{u"text", VT_BSTR}},
                    [](HashCodec& self, Call& c) { c.result = self.hashText(c.text(0)); })
            .method(4, u"EncryptText", VT_BSTR, {{u"value", VT_VARIANT}, {u"encoding", VT_BSTR}},
                    [](HashCodec&, Call& c) {
                        const Variant& v = c.arg(0);
                        Encoding encoding = encodingOf(c.text(1));
                        Bytes sealed = seal(v.isBytes() ? v.bytes() : text::toAnsi(v.toText()));
                        switch (encoding) {
                            case Encoding::Base64:
                                c.result = base64(sealed);
                                break;
                            case Encoding::Url:
                                c.result = urlForm(base64(sealed));
                                break;
                            case Encoding::Hex:
                                c.result = hex(sealed);
                                break;
                        }
                    })
            .method(5, u"DecryptText", VarType(VT_ARRAY | VT_UI1),
                    {{u"text", VT_BSTR}, {u"encoding", VT_BSTR}}, [](HashCodec&, Call& c) {
                        std::u16string s = c.text(0);
                        Bytes sealed;
                        switch (encodingOf(c.text(1))) {
                            case Encoding::Base64:
                                sealed = unbase64(s);
                                break;
                            case Encoding::Url:
                                sealed = unbase64(fromUrlForm(s));
                                break;
                            case Encoding::Hex:
                                sealed = unhex(s);
                                break;
                        }
                        c.result = unseal(sealed);
                    });
    return m;
}

}  // namespace

OUTSIDE_CLASS(HashCodec, CLSID_HashCodec, [] { return std::make_shared<HashCodec>(); });

}  // namespace platform::outside
