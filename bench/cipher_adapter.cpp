#include "bench/cipher_adapter.h"

#include <cstring>

#include "ciphers-native/aria/aria_core.h"
#include "ciphers-native/md5.h"
#include "ciphers/blowfish/blowfish_core.h"
#include "ciphers/dbcodec.h"
#include "ciphers/sha1.h"
#include "lib/seed/seed_core.h"

namespace tessel::bench {

namespace {

// Each core enciphers whole blocks over spans; the adapter only hands them on.
template <class Core>
class CoreCipher : public BlockCipher {
  public:
    bool setKey(std::span<const std::uint8_t> key) override { return core_.setKey(key); }
    void encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override {
        core_.encryptBlocks(std::span(in, length), std::span(out, length));
    }

  private:
    Core core_;
};

class SeedCipher : public BlockCipher {
  public:
    bool setKey(std::span<const std::uint8_t> key) override {
        if (key.size() != tessel::seed::kKeySize) return false;
        seed_.setKey(key.first<tessel::seed::kKeySize>());
        return true;
    }
    void encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override {
        seed_.encryptBlocks(std::span(in, length), std::span(out, length));
    }

  private:
    tessel::seed::SeedCore seed_;
};

}  // namespace

std::unique_ptr<BlockCipher> ourAria(int) {
    // The key's length chooses the ARIA variant.
    return std::make_unique<CoreCipher<sealwyn::aria::AriaCore>>();
}
std::unique_ptr<BlockCipher> ourSeed() {
    return std::make_unique<SeedCipher>();
}
std::unique_ptr<BlockCipher> ourBlowfish() {
    return std::make_unique<CoreCipher<ciphra::blowfish::BlowfishCore>>();
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
