#include "platform/outside/hashcodec.h"

#include <openssl/evp.h>

#include <cstring>

#include "platform/com/dispatch.h"
#include "platform/outside/coding.h"
#include "platform/outside/outside.h"
#include "platform/system/files.h"
#include "platform/text/text.h"

namespace platform::outside {

namespace {

using namespace platform::com;
using namespace coding;

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
    if (!system::randomBytes(std::span(out.data() + 1, kNonceSize)))
        raise(E_FAIL, u"No random bytes");
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
        return encodingOf(encoding_) == Encoding::Base64 ? base64Encode(d) : hexLower(d);
    }

    std::u16string algorithm_ = u"md5";
    std::u16string encoding_ = u"hex";
};

const Members<HashCodec>& HashCodec::members() {
    static const Members<HashCodec> m =
        Members<HashCodec>(u"IHashCodec", IID_IHashCodec)
            .method(hashcodec::SetHashAlgorithm, u"SetHashAlgorithm", VT_EMPTY,
                    {{u"name", VT_BSTR}},
                    [](HashCodec& self, Call& c) {
                        hashOf(c.text(0));
                        self.algorithm_ = c.text(0);
                    })
            .method(hashcodec::SetEncoding, u"SetEncoding", VT_EMPTY, {{u"name", VT_BSTR}},
                    [](HashCodec& self, Call& c) {
                        if (encodingOf(c.text(0)) == Encoding::Url)
                            invalid(u"Digests are written in hex or base64");
                        self.encoding_ = c.text(0);
                    })
            .method(hashcodec::HashText, u"HashText", VT_BSTR, {{u"text", VT_BSTR}},
                    [](HashCodec& self, Call& c) { c.result = self.hashText(c.text(0)); })
            .method(hashcodec::EncryptText, u"EncryptText", VT_BSTR,
                    {{u"value", VT_VARIANT}, {u"encoding", VT_BSTR}},
                    [](HashCodec&, Call& c) {
                        const Variant& v = c.arg(0);
                        Encoding encoding = encodingOf(c.text(1));
                        Bytes sealed = seal(v.isBytes() ? v.bytes() : text::toAnsi(v.toText()));
                        switch (encoding) {
                            case Encoding::Base64:
                                c.result = base64Encode(sealed);
                                break;
                            case Encoding::Url:
                                c.result = urlForm(base64Encode(sealed));
                                break;
                            case Encoding::Hex:
                                c.result = hexLower(sealed);
                                break;
                        }
                    })
            .method(hashcodec::DecryptText, u"DecryptText", VarType(VT_ARRAY | VT_UI1),
                    {{u"text", VT_BSTR}, {u"encoding", VT_BSTR}}, [](HashCodec&, Call& c) {
                        std::u16string s = c.text(0);
                        Bytes sealed;
                        switch (encodingOf(c.text(1))) {
                            case Encoding::Base64:
                                sealed = base64Decode(s);
                                break;
                            case Encoding::Url:
                                sealed = base64Decode(fromUrlForm(s));
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
