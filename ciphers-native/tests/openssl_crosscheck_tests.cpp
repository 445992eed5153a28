// OpenSSL as an oracle: our ARIA and SEED cores against its ECB ciphers on random keys and
// blocks, and our MD5 against its digest.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>

#include "ciphers-native/aria.h"
#include "ciphers-native/md5.h"
#include "lib/seed/seed_core.h"
#include "platform/testing/openssl_context.h"
#include "test_util.h"

using namespace sealwyn;

namespace {

std::vector<std::uint8_t> randomBytes(std::mt19937& rng, std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

// ECB encryption without padding through OpenSSL, from the given library context (null: the
// default one); empty when the cipher is unavailable.
std::vector<std::uint8_t> opensslEcb(const char* name, const std::vector<std::uint8_t>& key,
                                     const std::vector<std::uint8_t>& data,
                                     OSSL_LIB_CTX* context = nullptr) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(context, name, nullptr);
    if (!cipher) return {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    std::vector<std::uint8_t> out(data.size() + 16);
    int n = 0, tail = 0;
    bool ok =
        EVP_EncryptInit_ex2(ctx, cipher, key.data(), nullptr, nullptr) == 1 &&
        EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
        EVP_EncryptUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size())) == 1 &&
        EVP_EncryptFinal_ex(ctx, out.data() + n, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    if (!ok) return {};
    out.resize(static_cast<std::size_t>(n + tail));
    return out;
}

}  // namespace

TEST(OpenSslCrossCheck, AriaEcbOnRandomBlocks) {
    std::mt19937 rng(5794);
    for (int bits : {128, 192, 256}) {
        const std::string name = "ARIA-" + std::to_string(bits) + "-ECB";
        for (int trial = 0; trial < 20; ++trial) {
            const auto key = randomBytes(rng, static_cast<std::size_t>(bits / 8));
            const auto data = randomBytes(rng, 16 * 8);
            const auto expected = opensslEcb(name.c_str(), key, data);
            ASSERT_EQ(expected.size(), data.size()) << name << " unavailable in OpenSSL";
            Aria enc, dec;
            ASSERT_TRUE(enc.setRawKey(key, bits, Aria::Direction::Encrypt));
            ASSERT_TRUE(dec.setRawKey(key, bits, Aria::Direction::Decrypt));
            std::vector<std::uint8_t> out(data.size()), back(data.size());
            enc.ecbProcess(data.data(), out.data(), data.size());
            EXPECT_EQ(out, expected) << name;
            dec.ecbProcess(out.data(), back.data(), out.size());
            EXPECT_EQ(back, data) << name;
        }
    }
}

TEST(OpenSslCrossCheck, SeedEcbOnRandomBlocks) {
    // OpenSSL 3 keeps SEED in its legacy provider, loaded into a context of this test's own.
    platform::testing::OpenSslLegacyContext legacy;
    ASSERT_TRUE(legacy.ready()) << "OpenSSL's legacy provider (SEED) is missing";
    std::mt19937 rng(4269);
    for (int trial = 0; trial < 40; ++trial) {
        const auto key = randomBytes(rng, 16);
        const auto data = randomBytes(rng, 16 * (1 + trial % 9));
        const auto expected = opensslEcb("SEED-ECB", key, data, legacy.get());
        tessel::seed::SeedCore core(std::span<const std::uint8_t, 16>(key.data(), 16));
        std::vector<std::uint8_t> out(data.size()), back(data.size());
        ASSERT_TRUE(core.encryptBlocks(data, out));
        EXPECT_EQ(out, expected);
        ASSERT_TRUE(core.decryptBlocks(out, back));
        EXPECT_EQ(back, data);
    }
}

// Lengths on each side of the padding limits (55/56 in a block) and of one, two and many whole
// blocks, hashed at once and a byte at a time.
TEST(OpenSslCrossCheck, Md5OnRandomLengths) {
    std::mt19937 rng(1321);
    for (std::size_t n : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 121u, 127u, 128u, 129u,
                          192u, 1000u, 4103u, 65536u}) {
        const auto data = randomBytes(rng, n);
        unsigned char expected[EVP_MAX_MD_SIZE];
        unsigned length = 0;
        ASSERT_EQ(EVP_Digest(data.data(), n, expected, &length, EVP_md5(), nullptr), 1);
        const std::string want = test::hex(expected, length);
        EXPECT_EQ(test::hex(Md5::of(data)), want) << n;
        Md5 bytewise;
        for (std::uint8_t b : data) bytewise.update(&b, 1);
        EXPECT_EQ(test::hex(bytewise.final()), want) << n;
    }
}
