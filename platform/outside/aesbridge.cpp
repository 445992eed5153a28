#include "platform/outside/aesbridge.h"

#include <openssl/evp.h>
#include <zlib.h>

#include "platform/com/dispatch.h"
#include "platform/outside/coding.h"
#include "platform/outside/outside.h"
#include "platform/system/files.h"
#include "platform/text/text.h"

namespace platform::outside {

namespace {

using namespace platform::com;
using namespace coding;

// The bytes a variant stands for: texts as UTF-16LE, byte arrays as they are, other values
// through their text form.
Bytes bytesOf(const Variant& v) {
    if (v.isText() || v.isBytes() || v.isArray() || v.isEmpty()) return v.toBytes();
    return text::toUtf16leBytes(v.toText());
}

Bytes compress(const Bytes& data) {
    uLongf size = compressBound(data.size());
    Bytes out(size);
    if (::compress2(out.data(), &size, data.data(), data.size(), Z_DEFAULT_COMPRESSION) != Z_OK)
        raise(E_FAIL, u"Compression failed");
    out.resize(size);
    return out;
}

Bytes decompress(const Bytes& data) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) raise(E_FAIL, u"Decompression failed");
    Bytes out;
    std::uint8_t buffer[16384];
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    int rc;
    do {
        zs.next_out = buffer;
        zs.avail_out = sizeof buffer;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) break;
        out.insert(out.end(), buffer, buffer + (sizeof buffer - zs.avail_out));
    } while (rc != Z_STREAM_END);
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) raise(E_FAIL, u"Compressed data is damaged");
    return out;
}

class AesBridge : public DispatchImpl<AesBridge> {
  public:
    static const Members<AesBridge>& members();

  private:
    Bytes key() const {
        if (keySize_ != 128 || mode_ != 1) raise(E_INVALIDARG, u"Unsupported key size or mode");
        Bytes k = digest(EVP_sha256(), text::toUtf16leBytes(keyText_));
        k.resize(16);
        return k;
    }
    Bytes encrypt(const Bytes& plain) const {
        Bytes k = key();
        Bytes out(16 + plain.size() + 16);
        if (!system::randomBytes(std::span(out.data(), 16))) raise(E_FAIL, u"No random bytes");
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int len = 0, total = 16;
        bool ok = EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, k.data(), out.data()) &&
                  EVP_EncryptUpdate(ctx, out.data() + total, &len, plain.data(),
                                    static_cast<int>(plain.size()));
        total += len;
        ok = ok && EVP_EncryptFinal_ex(ctx, out.data() + total, &len);
        total += len;
        EVP_CIPHER_CTX_free(ctx);
        if (!ok) raise(E_FAIL, u"Encryption failed");
        out.resize(static_cast<std::size_t>(total));
        return out;
    }
    Bytes decrypt(const Bytes& data) const {
        Bytes k = key();
        if (data.size() < 32 || data.size() % 16) raise(E_INVALIDARG, u"Cipher text is damaged");
        Bytes out(data.size());
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int len = 0, total = 0;
        bool ok = EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, k.data(), data.data()) &&
                  EVP_DecryptUpdate(ctx, out.data(), &len, data.data() + 16,
                                    static_cast<int>(data.size() - 16));
        total = len;
        ok = ok && EVP_DecryptFinal_ex(ctx, out.data() + total, &len);
        total += len;
        EVP_CIPHER_CTX_free(ctx);
        if (!ok) raise(E_INVALIDARG, u"Cipher text does not decrypt under this key");
        out.resize(static_cast<std::size_t>(total));
        return out;
    }

    std::int32_t keySize_ = 128;
    std::int32_t mode_ = 1;
    std::u16string keyText_;
};

Members<AesBridge>::Body hashWith(const EVP_MD* (*md)()) {
    return [md](AesBridge&, Call& c) { c.result = digest(md(), bytesOf(c.arg(0))); };
}

const Members<AesBridge>& AesBridge::members() {
    static const ParamInfo value{u"value", VT_VARIANT};
    static const Members<AesBridge> m =
        Members<AesBridge>(u"IAesBridge", IID_IAesBridge)
            .method(aesbridge::SetKeySize, u"SetKeySize", VT_EMPTY, {{u"size", VT_I4}},
                    [](AesBridge& self, Call& c) { self.keySize_ = c.i4(0); })
            .method(aesbridge::EncryptData, u"EncryptData", VarType(VT_ARRAY | VT_UI1), {value},
                    [](AesBridge& self, Call& c) { c.result = self.encrypt(bytesOf(c.arg(0))); })
            .method(aesbridge::DecryptData, u"DecryptData", VarType(VT_ARRAY | VT_UI1), {value},
                    [](AesBridge& self, Call& c) { c.result = self.decrypt(bytesOf(c.arg(0))); })
            .method(aesbridge::SetCipherMode, u"SetCipherMode", VT_EMPTY, {{u"mode", VT_I4}},
                    [](AesBridge& self, Call& c) { self.mode_ = c.i4(0); })
            .method(aesbridge::HashSha256, u"HashSha256", VarType(VT_ARRAY | VT_UI1), {value},
                    hashWith(EVP_sha256))
            .method(aesbridge::HashSha384, u"HashSha384", VarType(VT_ARRAY | VT_UI1), {value},
                    hashWith(EVP_sha384))
            .method(aesbridge::HashSha512, u"HashSha512", VarType(VT_ARRAY | VT_UI1), {value},
                    hashWith(EVP_sha512))
            .method(aesbridge::HashSha1, u"HashSha1", VarType(VT_ARRAY | VT_UI1), {value},
                    hashWith(EVP_sha1))
            .method(aesbridge::HashMd5, u"HashMd5", VarType(VT_ARRAY | VT_UI1), {value},
                    hashWith(EVP_md5))
            .method(aesbridge::SetKeyText, u"SetKeyText", VT_EMPTY, {{u"key", VT_BSTR}},
                    [](AesBridge& self, Call& c) { self.keyText_ = c.text(0); })
            .method(aesbridge::EncodeBase64, u"EncodeBase64", VT_BSTR, {value},
                    [](AesBridge&, Call& c) { c.result = base64Encode(bytesOf(c.arg(0))); })
            .method(aesbridge::ValueToText, u"ValueToText", VT_BSTR, {value},
                    [](AesBridge&, Call& c) {
                        const Variant& v = c.arg(0);
                        if (!v.isBytes()) {
                            c.result = v.toText();
                            return;
                        }
                        c.result = hexLower(v.bytes());
                    })
            .method(aesbridge::DecodeBase64, u"DecodeBase64", VarType(VT_ARRAY | VT_UI1),
                    {{u"text", VT_BSTR}},
                    [](AesBridge&, Call& c) { c.result = base64Decode(c.arg(0).text()); })
            .method(aesbridge::CompressData, u"CompressData", VarType(VT_ARRAY | VT_UI1), {value},
                    [](AesBridge&, Call& c) { c.result = compress(bytesOf(c.arg(0))); })
            .method(aesbridge::DecompressData, u"DecompressData", VarType(VT_ARRAY | VT_UI1),
                    {value}, [](AesBridge&, Call& c) { c.result = decompress(bytesOf(c.arg(0))); });
    return m;
}

}  // namespace

OUTSIDE_CLASS(AesBridge, CLSID_AesBridge, [] { return std::make_shared<AesBridge>(); });

}  // namespace platform::outside
