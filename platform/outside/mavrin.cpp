#include "platform/outside/mavrin.h"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <memory>

#include "platform/bytes/byteorder.h"
#include "platform/system/files.h"

namespace platform::outside::mavrin {

namespace {

bool aesCtr(std::uint8_t* buffer, std::size_t length, std::string_view key,
            const std::uint8_t* nonce) {
    std::array<std::uint8_t, 32> digest{};
    SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest.data());
    std::array<std::uint8_t, 16> iv{};
    std::memcpy(iv.data(), nonce, 12);
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        EVP_CIPHER_CTX_free);
    if (!ctx) return false;
    if (EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_ctr(), nullptr, digest.data(), iv.data()) != 1)
        return false;
    std::size_t done = 0;
    while (done < length) {
        const int chunk = static_cast<int>(std::min<std::size_t>(length - done, 1 << 20));
        int out = 0;
        if (EVP_EncryptUpdate(ctx.get(), buffer + done, &out, buffer + done, chunk) != 1 ||
            out != chunk)
            return false;
        done += static_cast<std::size_t>(chunk);
    }
    return true;
}

}  // namespace

int compress(std::uint8_t* buffer, std::uint32_t* length, std::int32_t option) {
    if (!buffer || !length) return kCompressFailed;
    const std::uint32_t n = *length;
    if (n <= 4) return kStored;
    const int level = (option & 0xF) == 0 ? Z_DEFAULT_COMPRESSION : std::min(option & 0xF, 9);
    uLongf size = compressBound(n);
    std::vector<std::uint8_t> out(size);
    if (compress2(out.data(), &size, buffer, n, level) != Z_OK) return kCompressFailed;
    if (size + 4 >= n) return kStored;
    bytes::storeLittleEndian<std::uint32_t>(buffer, n);
    std::memcpy(buffer + 4, out.data(), size);
    *length = static_cast<std::uint32_t>(size + 4);
    return kCompressed;
}

int encrypt(std::uint8_t* buffer, std::uint32_t length, const char* key, std::uint8_t* block,
            std::int32_t) {
    if ((!buffer && length) || !key || !block) return kEncryptFailed;
    std::array<std::uint8_t, 12> nonce{};
    if (!system::randomBytes(nonce)) return kEncryptFailed;
    if (!aesCtr(buffer, length, key, nonce.data())) return kEncryptFailed;
    std::memcpy(block, nonce.data(), nonce.size());
    return kEncrypted;
}

bool expand(std::span<const std::uint8_t> compressed, std::vector<std::uint8_t>& out) {
    if (compressed.size() < 4) return false;
    const std::uint32_t n = bytes::loadLittleEndian<std::uint32_t>(compressed.data());
    out.assign(n, 0);
    uLongf size = n;
    if (uncompress(out.data(), &size, compressed.data() + 4,
                   static_cast<uLong>(compressed.size() - 4)) != Z_OK)
        return false;
    return size == n;
}

bool decrypt(std::span<std::uint8_t> buffer, std::string_view key,
             std::span<const std::uint8_t, 12> nonce) {
    return aesCtr(buffer.data(), buffer.size(), key, nonce.data());
}

}  // namespace platform::outside::mavrin
