#include "ciphers-native/aria.h"

#include <algorithm>
#include <cstring>

#include "ciphers-native/md5.h"

namespace sealwyn {

void Aria::release() {
    core_.clear();
}

bool Aria::setKey(std::span<const std::uint8_t> password, int keyBits, Direction direction) {
    const Md5::Digest d = Md5::of(untilNul(password));
    std::uint8_t master[32];
    std::memcpy(master, d.data(), 16);
    std::memcpy(master + 16, d.data(), 16);
    const std::size_t used =
        keyBits > 0 && keyBits <= 256 ? static_cast<std::size_t>(keyBits) / 8 : 0;
    return setRawKey(std::span<const std::uint8_t>(master, used), keyBits, direction);
}

bool Aria::setRawKey(std::span<const std::uint8_t> key, int keyBits, Direction direction) {
    release();
    if (keyBits != 128 && keyBits != 192 && keyBits != 256) return false;
    const auto bytes = static_cast<std::size_t>(keyBits / 8);
    if (key.size() < bytes) return false;
    direction_ = direction;
    return core_.setKey(key.first(bytes));
}

int Aria::ecbProcess(const std::uint8_t* in, std::uint8_t* out, std::size_t length) const {
    if (length % kBlockSize != 0 || !hasKey()) return -1;
    const std::span<const std::uint8_t> from(in, length);
    const std::span<std::uint8_t> to(out, length);
    const bool done = direction_ == Direction::Encrypt ? core_.encryptBlocks(from, to)
                                                       : core_.decryptBlocks(from, to);
    return done ? static_cast<int>(length) : -1;
}

Bytes Aria::encryptText(std::span<const std::uint8_t> text) const {
    if (!hasKey()) return {};
    const auto plain = untilNul(text);
    const std::size_t length = kBlockSize * (plain.size() / kBlockSize + 1);
    Bytes padded(length, 0);
    std::copy(plain.begin(), plain.end(), padded.begin());
    Bytes cipher(length);
    ecbProcess(padded.data(), cipher.data(), length);
    return hexEncode(cipher);
}

Bytes Aria::decryptText(std::span<const std::uint8_t> hex) const {
    if (!hasKey()) return {};
    const Bytes cipher = hexDecode(hex);
    if (cipher.size() % kBlockSize != 0) return {};
    Bytes plain(cipher.size());
    ecbProcess(cipher.data(), plain.data(), cipher.size());
    const auto text = untilNul(plain);
    return Bytes(text.begin(), text.end());
}

}  // namespace sealwyn
