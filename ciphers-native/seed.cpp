#include "ciphers-native/seed.h"

#include <algorithm>
#include <cstring>

#include "ciphers-native/md5.h"

namespace sealwyn {

void Seed::setKey(std::span<const std::uint8_t> password) {
    const Md5::Digest key = Md5::of(untilNul(password));
    core_.setKey(key);
}

std::size_t Seed::ecbEncrypt(std::span<const std::uint8_t> data) {
    const std::size_t n = data.size();
    const std::size_t length = (n + kBlockSize - 1) / kBlockSize * kBlockSize;
    if (output_.size() < length) output_.assign(std::max(length, kMinimumCapacity), 0);
    const std::size_t whole = n / kBlockSize * kBlockSize;
    core_.encryptBlocks(data.first(whole), std::span<std::uint8_t>(output_).first(whole));
    if (whole < n) {
        std::uint8_t block[kBlockSize] = {};
        std::memcpy(block, data.data() + whole, n - whole);
        core_.encryptBlock(block);
        std::memcpy(&output_[whole], block, kBlockSize);
    }
    return length;
}

Bytes Seed::encryptText(std::span<const std::uint8_t> text) {
    const auto plain = untilNul(text);
    Bytes withNul(plain.begin(), plain.end());
    withNul.push_back(0);
    const std::size_t length = ecbEncrypt(withNul);
    return hexEncode(std::span<const std::uint8_t>(output_.data(), length));
}

Bytes Seed::decryptText(std::span<const std::uint8_t> hex) const {
    Bytes data = hexDecode(hex);
    data.resize(data.size() / kBlockSize * kBlockSize);
    core_.decryptBlocks(data, data);
    const auto text = untilNul(data);
    return Bytes(text.begin(), text.end());
}

}  // namespace sealwyn
