#include "ciphers/blowfish_core.h"

#include "ciphers/blowfish_tables.h"

namespace ciphra {

namespace {

std::uint32_t load(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           p[3];
}

void store(std::uint32_t w, std::uint8_t* p) {
    p[0] = static_cast<std::uint8_t>(w >> 24);
    p[1] = static_cast<std::uint8_t>(w >> 16);
    p[2] = static_cast<std::uint8_t>(w >> 8);
    p[3] = static_cast<std::uint8_t>(w);
}

}  // namespace

std::uint32_t BlowfishCore::f(std::uint32_t x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

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

void BlowfishCore::encryptBlock(std::uint8_t block[8]) const {
    std::uint32_t l = load(block), r = load(block + 4);
    encryptBlock(l, r);
    store(l, block);
    store(r, block + 4);
}

void BlowfishCore::decryptBlock(std::uint8_t block[8]) const {
    std::uint32_t l = load(block), r = load(block + 4);
    decryptBlock(l, r);
    store(l, block);
    store(r, block + 4);
}

bool BlowfishCore::keyInit(std::span<const std::uint8_t> key) {
    if (key.empty() || key.size() > 56) return false;
    const auto& pi = blowfish_tables::kPi;
    for (int i = 0; i < 18; ++i) p_[i] = pi[i];
    for (int box = 0; box < 4; ++box)
        for (int i = 0; i < 256; ++i) s_[box][i] = pi[18 + box * 256 + i];
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
    return true;
}

std::vector<std::uint8_t> BlowfishCore::encryptEcb(std::span<const std::uint8_t> data) const {
    std::vector<std::uint8_t> out(data.begin(), data.begin() + (data.size() / 8 * 8));
    for (std::size_t i = 0; i < out.size(); i += 8) encryptBlock(out.data() + i);
    return out;
}

std::vector<std::uint8_t> BlowfishCore::decryptEcb(std::span<const std::uint8_t> data) const {
    std::vector<std::uint8_t> out(data.begin(), data.begin() + (data.size() / 8 * 8));
    for (std::size_t i = 0; i < out.size(); i += 8) decryptBlock(out.data() + i);
    return out;
}

std::vector<std::uint8_t> BlowfishCore::encryptBytes(std::span<const std::uint8_t> data) const {
    return encryptEcb(padBytes(data));
}

std::vector<std::uint8_t> BlowfishCore::decryptBytes(std::span<const std::uint8_t> data) const {
    return unpadBytes(decryptEcb(data));
}

std::vector<std::uint8_t> padBytes(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out(data.begin(), data.end());
    const std::uint8_t p = static_cast<std::uint8_t>(8 - data.size() % 8);
    out.insert(out.end(), p, p);
    return out;
}

std::vector<std::uint8_t> unpadBytes(std::span<const std::uint8_t> data) {
    if (data.empty()) return {};
    const std::size_t v = data.back();
    if (v > 8) return {data.begin(), data.end()};
    if (data.size() > v) return {data.begin(), data.end() - static_cast<std::ptrdiff_t>(v)};
    return {};
}

}  // namespace ciphra
