#include "platform/outside/aesbridge.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <zlib.h>

#include "platform/com/dispatch.h"
#include "platform/outside/outside.h"
#include "platform/text/text.h"

namespace platform::outside {

namespace {

using namespace platform::com;
using Bytes = std::vector<std::uint8_t>;

// The bytes a variant stands for: texts as UTF-16LE, byte arrays as they are, other values
// through their text form.
Bytes bytesOf(const Variant& v) {
    if (v.isText() || v.isBytes() || v.isArray() || v.isEmpty()) return v.toBytes();
    return text::toUtf16leBytes(v.toText());
}

Bytes digest(const EVP_MD* md, const Bytes& data) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    if (!EVP_Digest(data.data(), data.size(), out.data(), &len, md, nullptr))
        raise(E_FAIL, u"Digest failed");
    out.resize(len);
    return out;
}

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

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
            raise(E_INVALIDARG, u"Invalid Base64 text");
        if (pads) raise(E_INVALIDARG, u"Invalid Base64 text");  // data after padding
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(acc >> bits));
            acc &= (1u << bits) - 1;
        }
    }
    // Leftover bits must be padding zeros of a final group of 2 or 3 characters.
    if (bits >= 6 || pads > 2) raise(E_INVALIDARG, u"Invalid Base64 text");
    return out;
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
        if (RAND_bytes(out.data(), 16) != 1) raise(E_FAIL, u"No random bytes");
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
            .method(1, u"SetKeySize", VT_EMPTY, {{u"size", VT_I4}},
                    [](AesBridge& self, Call& c) { self.keySize_ = c.i4(0); })
            .method(2, u"EncryptData", VarType(VT_ARRAY | VT_UI1), {value},
                    [](AesBridge& self, Call& c) { c.result = self.encrypt(bytesOf(c.arg(0))); })
            .method(3, u"DecryptData", VarType(VT_ARRAY | VT_UI1), {value},
                    [](AesBridge& self, Call& c) { c.result = self.decrypt(bytesOf(c.arg(0))); })
            .method(4, u"SetCipherMode", VT_EMPTY, {{u"mode", VT_I4}},
                    [](AesBridge& self, Call& c) { self.mode_ = c.i4(0); })
            .method(5, u"HashSha256", VarType(VT_ARRAY | VT_UI1), {value}, hashWith(EVP_sha256))
            .method(6, u"HashSha384", VarType(VT_ARRAY | VT_UI1), {value}, hashWith(EVP_sha384))
            .method(7, u"HashSha512", VarType(VT_ARRAY | VT_UI1), {value}, hashWith(EVP_sha512))
            .method(8, u"HashSha1", VarType(VT_ARRAY | VT_UI1), {value}, hashWith(EVP_sha1))
            .method(9, u"HashMd5", VarType(VT_ARRAY | VT_UI1), {value}, hashWith(EVP_md5))
            .method(10, u"SetKeyText", VT_EMPTY, {{u"key", VT_BSTR}},
                    [](AesBridge& self, Call& c) { self.keyText_ = c.text(0); })
            .method(11, u"EncodeBase64", VT_BSTR, {value},
                    [](AesBridge&, Call& c) { c.result = base64Encode(bytesOf(c.arg(0))); })
            .method(12, u"ValueToText", VT_BSTR, {value},
                    [](AesBridge&, Call& c) {
                        const Variant& v = c.arg(0);
                        if (!v.isBytes()) {
                            c.result = v.toText();
                            return;
                        }
                        static const char16_t digits[] = u"0123456789abcdef";
                        std::u16string hex;
                        for (auto b : v.bytes()) {
                            hex += digits[b >> 4];
                            hex += digits[b & 15];
                        }
                        c.result = hex;
                    })
            .method(13, u"DecodeBase64", VarType(VT_ARRAY | VT_UI1), {{u"text", VT_BSTR}},
                    [](AesBridge&, Call& c) { c.result = base64Decode(c.arg(0).text()); })
            .method(14, u"CompressData", VarType(VT_ARRAY | VT_UI1), {value},
                    [](AesBridge&, Call& c) { c.result = compress(bytesOf(c.arg(0))); })
            .method(15, u"DecompressData", VarType(VT_ARRAY | VT_UI1), {value},
                    [](AesBridge&, Call& c) { c.result = decompress(bytesOf(c.arg(0))); });
    return m;
}

}  // namespace

OUTSIDE_CLASS(AesBridge, CLSID_AesBridge, [] { return std::make_shared<AesBridge>(); });

}  // namespace platform::outside
