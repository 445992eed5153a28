#include "ciphers/blowfish_bytes.h"

namespace ciphra {

std::vector<std::uint8_t> encryptEcb(const blowfish::BlowfishCore& core,
                                     std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out(data.size() / blowfish::kBlockSize * blowfish::kBlockSize);
    core.encryptBlocks(data.first(out.size()), out);
    return out;
}

std::vector<std::uint8_t> decryptEcb(const blowfish::BlowfishCore& core,
                                     std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out(data.size() / blowfish::kBlockSize * blowfish::kBlockSize);
    core.decryptBlocks(data.first(out.size()), out);
    return out;
}

std::vector<std::uint8_t> encryptBytes(const blowfish::BlowfishCore& core,
                                       std::span<const std::uint8_t> data) {
    return encryptEcb(core, padBytes(data));
}

std::vector<std::uint8_t> decryptBytes(const blowfish::BlowfishCore& core,
                                       std::span<const std::uint8_t> data) {
    return unpadBytes(decryptEcb(core, data));
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
