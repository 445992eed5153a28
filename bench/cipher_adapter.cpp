#include "bench/cipher_adapter.h"

#include <cstring>

#include "ciphers-native/aria.h"
#include "ciphers-native/md5.h"
#include "ciphers-native/seed/seed_core.h"
#include "ciphers/blowfish_core.h"
#include "ciphers/dbcodec.h"
#include "ciphers/sha1.h"

namespace tessel::bench {

namespace {

class AriaCipher : public BlockCipher {
  public:
    explicit AriaCipher(int bits) : bits_(bits) {}
    bool setKey(std::span<const std::uint8_t> key) override {
        return aria_.setRawKey(key, bits_, sealwyn::Aria::Direction::Encrypt);
    }
    void encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override {
        aria_.ecbProcess(in, out, length);
    }

  private:
    sealwyn::Aria aria_;
    int bits_;
};

class SeedCipher : public BlockCipher {
  public:
    bool setKey(std::span<const std::uint8_t> key) override {
        if (key.size() != sealwyn::seed::kKeySize) return false;
        seed_.setKey(key.first<sealwyn::seed::kKeySize>());
        return true;
    }
    void encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override {
        if (in != out) std::memcpy(out, in, length);
        for (std::size_t i = 0; i < length; i += sealwyn::seed::kBlockSize)
            seed_.encryptBlock(out + i);
    }

  private:
    sealwyn::seed::SeedCore seed_;
};

class BlowfishCipher : public BlockCipher {
  public:
    bool setKey(std::span<const std::uint8_t> key) override { return core_.keyInit(key); }
    void encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override {
        if (in != out) std::memcpy(out, in, length);
        for (std::size_t i = 0; i < length; i += 8) core_.encryptBlock(out + i);
    }

  private:
    ciphra::BlowfishCore core_;
};

}  // namespace

std::unique_ptr<BlockCipher> ourAria(int keyBits) {
    return std::make_unique<AriaCipher>(keyBits);
}
std::unique_ptr<BlockCipher> ourSeed() {
    return std::make_unique<SeedCipher>();
}
std::unique_ptr<BlockCipher> ourBlowfish() {
    return std::make_unique<BlowfishCipher>();
}

void ourRc4(std::span<std::uint8_t> data, std::span<const std::uint8_t> key) {
    ciphra::rc4(data, key);
}
std::array<std::uint8_t, 16> ourMd5(std::span<const std::uint8_t> data) {
    return sealwyn::Md5::of(data);
}
std::array<std::uint8_t, 20> ourSha1(std::span<const std::uint8_t> data) {
    return ciphra::sha1Digest(data);
}
std::array<std::uint8_t, 20> ourSha1Portable(std::span<const std::uint8_t> data) {
    return ciphra::sha1_detail::portableDigest(data);
}

}  // namespace tessel::bench
