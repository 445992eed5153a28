#include "viewer/seedcbc/seed_cbc.h"

#include <algorithm>

#include "lib/seed/seed_core.h"
#include "platform/bytes/byteorder.h"

namespace vistrel {

namespace {

namespace bytes = platform::bytes;

constexpr std::size_t kBlock = 16;

// Byte j of the big-endian image of a word array: byte 0 is the top byte of word 0.
std::uint8_t byteOf(std::span<const std::uint32_t> words, std::size_t j) {
    return static_cast<std::uint8_t>(words[j / 4] >> (8 * (3 - j % 4)));
}

void setByte(std::span<std::uint32_t> words, std::size_t j, std::uint8_t value) {
    const unsigned shift = 8 * (3 - static_cast<unsigned>(j % 4));
    std::uint32_t& w = words[j / 4];
    w = (w & ~(std::uint32_t{0xFF} << shift)) | (std::uint32_t{value} << shift);
}

}  // namespace

void KISA_SEED_CBC_C::BLOCK_XOR_CBC(std::span<std::uint32_t> out, std::size_t outOff,
                                    std::span<const std::uint32_t> in1, std::size_t off1,
                                    std::span<const std::uint32_t> in2, std::size_t off2) {
    std::uint32_t a[4], b[4];
    for (std::size_t k = 0; k < 4; ++k) {
        a[k] = off1 + k < in1.size() ? in1[off1 + k] : 0;
        b[k] = off2 + k < in2.size() ? in2[off2 + k] : 0;
    }
    for (std::size_t k = 0; k < 4; ++k)
        if (outOff + k < out.size()) out[outOff + k] = a[k] ^ b[k];
}

bool KISA_SEED_CBC_C::KISA_SEED_Encrypt_Block_forCBC(std::span<const std::uint32_t> in,
                                                     std::size_t inOff,
                                                     std::span<std::uint32_t> out,
                                                     std::size_t outOff) const {
    if (inOff > in.size() || in.size() - inOff < 4 || outOff > out.size() ||
        out.size() - outOff < 4)
        return false;
    Block block;
    for (std::size_t k = 0; k < 4; ++k)
        bytes::storeBigEndian<std::uint32_t>(block.data() + 4 * k, in[inOff + k]);
    cipherBlock(block, true);
    for (std::size_t k = 0; k < 4; ++k)
        out[outOff + k] = bytes::loadBigEndian<std::uint32_t>(block.data() + 4 * k);
    return true;
}

std::vector<std::uint32_t> KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(
    std::span<const std::uint8_t> in, std::size_t inLen) {
    std::vector<std::uint32_t> words((inLen + 3) / 4);
    for (std::size_t i = 0; i < words.size(); ++i) {
        // Bytes past the end of the input read as zeros.
        std::uint8_t four[4] = {};
        for (std::size_t k = 0; k < 4 && 4 * i + k < in.size(); ++k) four[k] = in[4 * i + k];
        words[i] = bytes::loadBigEndian<std::uint32_t>(four);
    }
    return words;
}

std::vector<std::uint8_t> KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(
    std::span<const std::uint32_t> in, std::size_t inLen) {
    std::vector<std::uint8_t> bytes(std::min(inLen, in.size() * 4));
    for (std::size_t j = 0; j < bytes.size(); ++j) bytes[j] = byteOf(in, j);
    return bytes;
}

bool KISA_SEED_CBC_C::SEED_CBC_init(int enc, std::span<const std::uint8_t> key,
                                    std::span<const std::uint8_t> iv) {
    if (key.size() < kBlock || iv.size() < kBlock) return false;
    tessel::seed::expandKey(std::span<const std::uint8_t, 16>(key.data(), 16), roundKeys_);
    encrypting_ = enc == KISA_ENCRYPT;
    std::copy_n(iv.begin(), kBlock, chain_.begin());
    pending_ = {};
    pendingCount_ = 0;
    lastPlain_ = {};
    haveLastPlain_ = false;
    started_ = true;
    return true;
}

void KISA_SEED_CBC_C::cipherBlock(Block& block, bool encrypt) const {
    if (encrypt)
        tessel::seed::encryptBlock(roundKeys_, block.data());
    else
        tessel::seed::decryptBlock(roundKeys_, block.data());
}

int KISA_SEED_CBC_C::SEED_CBC_Process(std::span<const std::uint32_t> in, std::size_t inLen,
                                      std::span<std::uint32_t> out, std::size_t& outLen) {
    if (!started_ || in.size() < (inLen + 3) / 4) {
        outLen = 0;
        return 0;
    }
    const std::size_t total = pendingCount_ + inLen;
    const std::size_t blocks = total / kBlock;
    if ((!encrypting_ && blocks == 0) || out.size() < blocks * 4) {
        outLen = 0;
        return 0;
    }
    // The carried bytes, then this call's bytes.
    std::vector<std::uint8_t> data(pending_.begin(), pending_.begin() + pendingCount_);
    data.reserve(total);
    for (std::size_t j = 0; j < inLen; ++j) data.push_back(byteOf(in, j));

    for (std::size_t b = 0; b < blocks; ++b) {
        Block block;
        std::copy_n(data.begin() + b * kBlock, kBlock, block.begin());
        if (encrypting_) {
            for (std::size_t k = 0; k < kBlock; ++k) block[k] ^= chain_[k];
            cipherBlock(block, true);
            chain_ = block;
        } else {
            const Block cipher = block;
            cipherBlock(block, false);
            for (std::size_t k = 0; k < kBlock; ++k) block[k] ^= chain_[k];
            chain_ = cipher;
            lastPlain_ = block;
            haveLastPlain_ = true;
        }
        for (std::size_t k = 0; k < 4; ++k)
            out[4 * b + k] = bytes::loadBigEndian<std::uint32_t>(block.data() + 4 * k);
    }
    pendingCount_ = total - blocks * kBlock;
    pending_ = {};
    std::copy_n(data.begin() + blocks * kBlock, pendingCount_, pending_.begin());
    outLen = blocks * kBlock;
    return 1;
}

int KISA_SEED_CBC_C::SEED_CBC_Close(std::span<std::uint32_t> out, std::size_t outOffset,
                                    std::size_t& outLen) {
    outLen = 0;
    if (!started_) return 0;
    if (encrypting_) {
        const std::size_t word = outOffset / 4;
        if (word > out.size() || out.size() - word < 4) return 0;
        Block block = pending_;
        const auto pad = static_cast<std::uint8_t>(kBlock - pendingCount_);
        std::fill(block.begin() + pendingCount_, block.end(), pad);
        for (std::size_t k = 0; k < kBlock; ++k) block[k] ^= chain_[k];
        cipherBlock(block, true);
        for (std::size_t k = 0; k < 4; ++k)
            out[word + k] = bytes::loadBigEndian<std::uint32_t>(block.data() + 4 * k);
        outLen = kBlock;
    } else {
        if (pendingCount_ != 0 || !haveLastPlain_) return 0;
        const std::uint8_t pad = lastPlain_[kBlock - 1];
        if (pad == 0 || pad > kBlock || outOffset < pad || out.size() * 4 < outOffset) return 0;
        for (std::size_t j = outOffset - pad; j < outOffset; ++j) setByte(out, j, 0);
        outLen = pad;
    }
    started_ = false;
    return 1;
}

void KISA_SEED_CBC_C::reset() {
    roundKeys_ = {};
    started_ = false;
    encrypting_ = false;
    chain_ = {};
    pending_ = {};
    pendingCount_ = 0;
    lastPlain_ = {};
    haveLastPlain_ = false;
}

bool KISA_SEED_CBC_C::SEED_CBC_Encrypt(std::vector<std::uint8_t>& cipherText,
                                       std::span<const std::uint8_t> key,
                                       std::span<const std::uint8_t> iv,
                                       std::span<const std::uint8_t> message, std::size_t offset,
                                       std::size_t length) {
    if (offset > message.size() || message.size() - offset < length) return false;
    reset();
    if (!SEED_CBC_init(KISA_ENCRYPT, key, iv)) return false;
    const auto in = chartoint32_for_SEED_CBC(message.subspan(offset, length), length);
    std::vector<std::uint32_t> out((length / kBlock + 1) * 4);
    std::size_t processed = 0, closed = 0;
    if (!SEED_CBC_Process(in, length, out, processed) || !SEED_CBC_Close(out, processed, closed))
        return false;
    cipherText = int32tochar_for_SEED_CBC(out, processed + closed);
    return true;
}

bool KISA_SEED_CBC_C::SEED_CBC_Decrypt(std::vector<std::uint8_t>& result,
                                       std::span<const std::uint8_t> key,
                                       std::span<const std::uint8_t> iv,
                                       std::span<const std::uint8_t> message, std::size_t offset,
                                       std::size_t& length) {
    if (offset > message.size() || message.size() - offset < length) return false;
    const std::size_t n = length;
    if (n == 0 || n % kBlock != 0) return false;
    reset();
    if (!SEED_CBC_init(KISA_DECRYPT, key, iv)) return false;
    const auto in = chartoint32_for_SEED_CBC(message.subspan(offset, n), n);
    std::vector<std::uint32_t> out(n / 4);
    std::size_t processed = 0, pad = 0;
    if (!SEED_CBC_Process(in, n, out, processed) || !SEED_CBC_Close(out, processed, pad))
        return false;
    const std::size_t plain = processed - pad;
    result = int32tochar_for_SEED_CBC(out, plain);
    length = plain;
    return true;
}

}  // namespace vistrel
