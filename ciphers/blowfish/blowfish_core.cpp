#include "ciphers/blowfish/blowfish_core.h"

#include <utility>

#include "ciphers/blowfish/blowfish_tables.h"
#include "platform/bytes/byteorder.h"

namespace ciphra::blowfish {

namespace {

namespace bytes = platform::bytes;

// Applies `step` to the two words of every whole block of `in`, writing them to `out`.
template <class Step>
bool eachBlock(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, Step step) {
    if (in.size() != out.size() || in.size() % kBlockSize != 0) return false;
    for (std::size_t off = 0; off < in.size(); off += kBlockSize) {
        std::uint32_t l = bytes::loadBigEndian<std::uint32_t>(in.data() + off),
                      r = bytes::loadBigEndian<std::uint32_t>(in.data() + off + 4);
        step(l, r);
        bytes::storeBigEndian<std::uint32_t>(out.data() + off, l);
        bytes::storeBigEndian<std::uint32_t>(out.data() + off + 4, r);
    }
    return true;
}

}  // namespace

void BlowfishCore::encryptBlock(std::uint32_t& left, std::uint32_t& right) const {
    std::uint32_t l = left, r = right;
    for (int i = 0; i < 16; ++i) {
        l ^= p_[i];
        r ^= f(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= p_[16];
    l ^= p_[17];
    left = l;
    right = r;
}

void BlowfishCore::decryptBlock(std::uint32_t& left, std::uint32_t& right) const {
    std::uint32_t l = left, r = right;
    for (int i = 17; i > 1; --i) {
        l ^= p_[i];
        r ^= f(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= p_[1];
    l ^= p_[0];
    left = l;
    right = r;
}

bool BlowfishCore::setKey(std::span<const std::uint8_t> key) {
    if (key.empty() || key.size() > kMaxKeySize) return false;
    for (int i = 0; i < 18; ++i) p_[i] = kPi[i];
    for (int box = 0; box < 4; ++box)
        for (int i = 0; i < 256; ++i) s_[box][i] = kPi[18 + box * 256 + i];
    std::size_t k = 0;
    for (int i = 0; i < 18; ++i) {
        std::uint32_t word = 0;
        for (int b = 0; b < 4; ++b) {
            word = (word << 8) | key[k];
            k = (k + 1) % key.size();
        }
        p_[i] ^= word;
    }
    std::uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        encryptBlock(l, r);
        p_[i] = l;
        p_[i + 1] = r;
    }
    for (auto& box : s_)
        for (int i = 0; i < 256; i += 2) {
            encryptBlock(l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    hasKey_ = true;
    return true;
}

bool BlowfishCore::encryptBlocks(std::span<const std::uint8_t> in,
                                 std::span<std::uint8_t> out) const {
    return hasKey_ &&
           eachBlock(in, out, [this](std::uint32_t& l, std::uint32_t& r) { encryptBlock(l, r); });
}

bool BlowfishCore::decryptBlocks(std::span<const std::uint8_t> in,
                                 std::span<std::uint8_t> out) const {
    return hasKey_ &&
           eachBlock(in, out, [this](std::uint32_t& l, std::uint32_t& r) { decryptBlock(l, r); });
}

}  // namespace ciphra::blowfish
