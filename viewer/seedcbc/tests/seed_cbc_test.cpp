// The CBC class against RFC 4269's block vectors, recorded CBC outputs and OpenSSL's seed-cbc
// as an oracle; streaming against the one-call operations; the refusals.
#include "viewer/seedcbc/seed_cbc.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <filesystem>
#include <numeric>
#include <random>

#include "platform/testing/known_answers.h"
#include "platform/testing/openssl_context.h"

using vistrel::KISA_SEED_CBC_C;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes hex(const std::string& text) {
    Bytes out;
    EXPECT_TRUE(platform::testing::parseHex(text, out)) << text;
    return out;
}

Bytes counting(std::size_t n, std::uint8_t first = 0) {
    Bytes out(n);
    std::iota(out.begin(), out.end(), first);
    return out;
}

const Bytes kKey = counting(16);
const Bytes kIv = counting(16, 0xF0);

// ECB through the class: every block its own stream under a zero IV.
class ClassAsBlockCore {
  public:
    bool setKey(std::span<const std::uint8_t> key) {
        key_.assign(key.begin(), key.end());
        return key_.size() == 16;
    }
    bool encryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
        return run(KISA_SEED_CBC_C::KISA_ENCRYPT, in, out);
    }
    bool decryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
        return run(KISA_SEED_CBC_C::KISA_DECRYPT, in, out);
    }

  private:
    bool run(int direction, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
        if (in.size() != out.size() || in.size() % 16 != 0) return false;
        const Bytes zero(16);
        for (std::size_t off = 0; off < in.size(); off += 16) {
            KISA_SEED_CBC_C seed;
            if (!seed.SEED_CBC_init(direction, key_, zero)) return false;
            const auto words = KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(in.subspan(off, 16), 16);
            std::vector<std::uint32_t> result(4);
            std::size_t written = 0;
            if (!seed.SEED_CBC_Process(words, 16, result, written) || written != 16) return false;
            const auto bytes = KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(result, 16);
            std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<long>(off));
        }
        return true;
    }
    Bytes key_;
};

// OpenSSL's SEED-CBC with PKCS#7 padding from the given library context; empty when the
// legacy provider is missing.
Bytes opensslSeedCbc(OSSL_LIB_CTX* context, const Bytes& key, const Bytes& iv, const Bytes& data) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(context, "SEED-CBC", nullptr);
    if (!cipher) return {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(data.size() + 16);
    int n = 0, tail = 0;
    const bool ok =
        EVP_EncryptInit_ex2(ctx, cipher, key.data(), iv.data(), nullptr) == 1 &&
        EVP_EncryptUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size())) == 1 &&
        EVP_EncryptFinal_ex(ctx, out.data() + n, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    if (!ok) return {};
    out.resize(static_cast<std::size_t>(n + tail));
    return out;
}

Bytes encrypt(const Bytes& message, const Bytes& key = kKey, const Bytes& iv = kIv) {
    KISA_SEED_CBC_C seed;
    Bytes out;
    EXPECT_TRUE(seed.SEED_CBC_Encrypt(out, key, iv, message, 0, message.size()));
    return out;
}

}  // namespace

// The class this test drives is the control library's own: its code lives in libVistrel.so,
// which the test loads like any other user of the library.
TEST(SeedCbc, TheClassComesFromTheControlLibrary) {
    Dl_info info{};
    auto* packer = &KISA_SEED_CBC_C::chartoint32_for_SEED_CBC;
    ASSERT_NE(dladdr(reinterpret_cast<void*>(packer), &info), 0);
    ASSERT_NE(info.dli_fname, nullptr);
    EXPECT_TRUE(std::filesystem::equivalent(info.dli_fname, VISTREL_LIBRARY)) << info.dli_fname;

    // Its one-call operations are reached from the library as well, under their mangled names.
    void* library = dlopen(VISTREL_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_NE(
        dlsym(library,
              "_ZN7vistrel15KISA_SEED_CBC_C13SEED_CBC_initEiSt4spanIKhLm18446744073709551615EES3_"),
        nullptr);
    dlclose(library);
}

TEST(SeedCbc, Rfc4269BlockVectorsThroughTheClass) {
    const auto file = platform::testing::readKnownAnswers(SEED_VECTORS "/seed.txt");
    ASSERT_TRUE(file.error.empty()) << file.error;
    ASSERT_GE(file.cases.size(), 4u);
    const auto faults = platform::testing::checkBlockCore<ClassAsBlockCore>(
        file, 16, [](ClassAsBlockCore& c, std::span<const std::uint8_t> k) { return c.setKey(k); });
    for (const auto& f : faults) ADD_FAILURE() << f;

    // The block primitive itself, on RFC 4269's first example, out of and into offsets.
    KISA_SEED_CBC_C seed;
    ASSERT_TRUE(seed.SEED_CBC_init(KISA_SEED_CBC_C::KISA_ENCRYPT, Bytes(16), Bytes(16)));
    const std::vector<std::uint32_t> in{7, 0x00010203, 0x04050607, 0x08090A0B, 0x0C0D0E0F};
    std::vector<std::uint32_t> out(6);
    ASSERT_TRUE(seed.KISA_SEED_Encrypt_Block_forCBC(in, 1, out, 2));
    EXPECT_EQ(out,
              (std::vector<std::uint32_t>{0, 0, 0x5EBAC6E0, 0x054E1668, 0x19AFF1CC, 0x6D346CDB}));
    EXPECT_FALSE(seed.KISA_SEED_Encrypt_Block_forCBC(in, 2, out, 0));
    EXPECT_FALSE(seed.KISA_SEED_Encrypt_Block_forCBC(in, 0, out, 3));
}

TEST(SeedCbc, RecordedCbcOutputsAndTheirInverse) {
    // Key 00..0F, IV F0..FF, message bytes 00..n-1 (recorded with OpenSSL's seed-cbc).
    const struct {
        std::size_t n;
        const char* cipher;
    } cases[] = {
        {0, "d451454373829cbd151dfae793e41305"},
        {15, "b79a2b247d5a603ab5c07d4ed32ffa66"},
        {16, "0d45cac7f7fa094ffb64ad1f4b88d2e6bef19fe9d0196c868220ed8f38b21d50"},
        {17, "0d45cac7f7fa094ffb64ad1f4b88d2e63918b0460165ddc4141d691a5255a418"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        const Bytes message = counting(c.n);
        EXPECT_EQ(encrypt(message), hex(c.cipher));
        KISA_SEED_CBC_C seed;
        const Bytes cipher = hex(c.cipher);
        Bytes result{0xEE};
        std::size_t length = cipher.size();
        ASSERT_TRUE(seed.SEED_CBC_Decrypt(result, kKey, kIv, cipher, 0, length));
        EXPECT_EQ(result, message);
        EXPECT_EQ(length, c.n);
    }
}

TEST(SeedCbc, AgreesWithOpenSsl) {
    platform::testing::OpenSslLegacyContext legacy;
    ASSERT_TRUE(legacy.ready()) << "OpenSSL's legacy provider (SEED) is missing";
    std::mt19937 rng(4269);
    auto random = [&](std::size_t n) {
        Bytes out(n);
        for (auto& b : out) b = static_cast<std::uint8_t>(rng());
        return out;
    };
    for (std::size_t n : {0u, 15u, 16u, 17u, 4099u}) {
        SCOPED_TRACE(n);
        const Bytes key = random(16), iv = random(16), message = random(n);
        const Bytes expected = opensslSeedCbc(legacy.get(), key, iv, message);
        ASSERT_EQ(expected.size(), (n / 16 + 1) * 16);
        EXPECT_EQ(encrypt(message, key, iv), expected);
        KISA_SEED_CBC_C seed;
        Bytes result;
        std::size_t length = expected.size();
        ASSERT_TRUE(seed.SEED_CBC_Decrypt(result, key, iv, expected, 0, length));
        EXPECT_EQ(result, message);
    }
}

// Streams `message` in chunks of the given sizes (cycled) and returns the cipher text.
static Bytes streamed(KISA_SEED_CBC_C& seed, const Bytes& message,
                      const std::vector<std::size_t>& chunks) {
    EXPECT_TRUE(seed.SEED_CBC_init(KISA_SEED_CBC_C::KISA_ENCRYPT, kKey, kIv));
    Bytes cipher;
    std::size_t at = 0;
    for (std::size_t i = 0; at < message.size(); ++i) {
        const std::size_t len = std::min(chunks[i % chunks.size()], message.size() - at);
        const auto words =
            KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(std::span(message).subspan(at, len), len);
        std::vector<std::uint32_t> out(len / 4 + 8);
        std::size_t written = 99;
        EXPECT_EQ(seed.SEED_CBC_Process(words, len, out, written), 1);
        EXPECT_EQ(written % 16, 0u);
        const auto bytes = KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(out, written);
        cipher.insert(cipher.end(), bytes.begin(), bytes.end());
        at += len;
    }
    std::vector<std::uint32_t> last(4);
    std::size_t closed = 0;
    EXPECT_EQ(seed.SEED_CBC_Close(last, 0, closed), 1);
    EXPECT_EQ(closed, 16u);
    const auto bytes = KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(last, 16);
    cipher.insert(cipher.end(), bytes.begin(), bytes.end());
    return cipher;
}

TEST(SeedCbc, StreamingInUnevenChunksEqualsOneCall) {
    const Bytes message = counting(203, 9);
    const Bytes whole = encrypt(message);
    for (const auto& chunks :
         std::vector<std::vector<std::size_t>>{{1}, {7}, {16}, {5, 16, 3, 40}, {33, 2}, {203}}) {
        KISA_SEED_CBC_C seed;
        EXPECT_EQ(streamed(seed, message, chunks), whole) << chunks.front();
    }

    // Two instances streaming at once, interleaved, keep apart.
    KISA_SEED_CBC_C a, b;
    const Bytes other = counting(40, 100);
    ASSERT_TRUE(a.SEED_CBC_init(KISA_SEED_CBC_C::KISA_ENCRYPT, kKey, kIv));
    ASSERT_TRUE(b.SEED_CBC_init(KISA_SEED_CBC_C::KISA_ENCRYPT, Bytes(16, 1), Bytes(16, 2)));
    std::vector<std::uint32_t> outA(16), outB(16);
    std::size_t wa = 0, wb = 0, ca = 0, cb = 0;
    const auto inA = KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(message, 40);
    const auto inB = KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(other, 40);
    ASSERT_EQ(a.SEED_CBC_Process(inA, 40, outA, wa), 1);
    ASSERT_EQ(b.SEED_CBC_Process(inB, 40, outB, wb), 1);
    ASSERT_EQ(a.SEED_CBC_Close(outA, wa, ca), 1);
    ASSERT_EQ(b.SEED_CBC_Close(outB, wb, cb), 1);
    EXPECT_EQ(KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(outA, wa + ca),
              encrypt(Bytes(message.begin(), message.begin() + 40)));
    EXPECT_EQ(KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(outB, wb + cb),
              encrypt(other, Bytes(16, 1), Bytes(16, 2)));
}

TEST(SeedCbc, StreamedDecryption) {
    const Bytes message = counting(50, 3);
    const Bytes cipher = encrypt(message);  // 64 bytes
    KISA_SEED_CBC_C seed;
    ASSERT_TRUE(seed.SEED_CBC_init(KISA_SEED_CBC_C::KISA_DECRYPT, kKey, kIv));
    const auto words = KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(cipher, 64);
    std::vector<std::uint32_t> out(16);
    std::size_t written = 99;
    // Fewer than 16 bytes: nothing to decipher, refused, nothing taken.
    EXPECT_EQ(seed.SEED_CBC_Process(words, 10, out, written), 0);
    EXPECT_EQ(written, 0u);
    // 20 bytes, then the 44 after them (a partial tail carried across).
    ASSERT_EQ(seed.SEED_CBC_Process(words, 20, out, written), 1);
    EXPECT_EQ(written, 16u);
    const auto restWords =
        KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(std::span(cipher).subspan(20), 44);
    ASSERT_EQ(seed.SEED_CBC_Process(restWords, 44, std::span(out).subspan(4), written), 1);
    EXPECT_EQ(written, 48u);
    std::size_t pad = 0;
    ASSERT_EQ(seed.SEED_CBC_Close(out, 64, pad), 1);
    EXPECT_EQ(pad, 14u);
    EXPECT_EQ(KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(out, 50), message);
    EXPECT_EQ(KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(out, 64), ([&] {
                  Bytes padded = message;
                  padded.resize(64, 0);
                  return padded;
              }()));

    // A stream that ends inside a block is refused at Close.
    ASSERT_TRUE(seed.SEED_CBC_init(KISA_SEED_CBC_C::KISA_DECRYPT, kKey, kIv));
    ASSERT_EQ(seed.SEED_CBC_Process(words, 20, out, written), 1);
    EXPECT_EQ(seed.SEED_CBC_Close(out, 16, pad), 0);
    EXPECT_EQ(pad, 0u);
}

TEST(SeedCbc, ProcessAndCloseEdges) {
    KISA_SEED_CBC_C seed;
    std::vector<std::uint32_t> out(12, 0xDEADBEEF);
    std::size_t written = 99;
    // No stream yet.
    EXPECT_EQ(seed.SEED_CBC_Process(std::vector<std::uint32_t>(4), 16, out, written), 0);
    EXPECT_EQ(seed.SEED_CBC_Close(out, 0, written), 0);

    ASSERT_TRUE(seed.SEED_CBC_init(KISA_SEED_CBC_C::KISA_ENCRYPT, kKey, kIv));
    const auto words = KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(counting(32), 32);
    EXPECT_EQ(seed.SEED_CBC_Process(words, 0, out, written), 1);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(out[0], 0xDEADBEEFu);
    // Input shorter than inLen, output too short: refused, the stream as it was.
    EXPECT_EQ(seed.SEED_CBC_Process(words, 33, out, written), 0);
    EXPECT_EQ(seed.SEED_CBC_Process(words, 32, std::span(out).first(7), written), 0);
    ASSERT_EQ(seed.SEED_CBC_Process(words, 32, out, written), 1);
    EXPECT_EQ(written, 32u);
    std::size_t closed = 0;
    ASSERT_EQ(seed.SEED_CBC_Close(out, 32, closed), 1);
    EXPECT_EQ(closed, 16u);
    EXPECT_EQ(KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(out, 48), encrypt(counting(32)));

    // 20 bytes: one block out, four pending, padded by Close.
    ASSERT_TRUE(seed.SEED_CBC_init(KISA_SEED_CBC_C::KISA_ENCRYPT, kKey, kIv));
    ASSERT_EQ(seed.SEED_CBC_Process(words, 20, out, written), 1);
    EXPECT_EQ(written, 16u);
    EXPECT_EQ(seed.SEED_CBC_Close(std::span(out).first(7), 16, closed), 0);  // no room
    ASSERT_EQ(seed.SEED_CBC_Close(out, 16, closed), 1);
    EXPECT_EQ(KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(out, 32), encrypt(counting(20)));
}

TEST(SeedCbc, RefusedKeysAndIvsEncryptNothing) {
    const Bytes message = counting(20);
    const struct {
        Bytes key, iv;
    } refused[] = {{{}, kIv}, {kKey, {}}, {Bytes(15), kIv}, {kKey, Bytes(15)}};
    for (const auto& r : refused) {
        KISA_SEED_CBC_C seed;
        Bytes out{1, 2, 3};
        EXPECT_FALSE(seed.SEED_CBC_Encrypt(out, r.key, r.iv, message, 0, message.size()));
        EXPECT_EQ(out, (Bytes{1, 2, 3}));
        std::size_t length = 16;
        EXPECT_FALSE(seed.SEED_CBC_Decrypt(out, r.key, r.iv, Bytes(16), 0, length));
        EXPECT_EQ(length, 16u);
        EXPECT_FALSE(seed.SEED_CBC_init(KISA_SEED_CBC_C::KISA_ENCRYPT, r.key, r.iv));
    }
    // Bytes after the sixteenth of a key or IV do not count.
    Bytes longKey = kKey, longIv = kIv;
    longKey.resize(32, 0x5A);
    longIv.resize(20, 0xA5);
    EXPECT_EQ(encrypt(message, longKey, longIv), encrypt(message));
}

TEST(SeedCbc, OneCallRangesAndPadding) {
    // The message range: offset and length pick the bytes; a range past the end is refused.
    const Bytes message = counting(40);
    KISA_SEED_CBC_C seed;
    Bytes out;
    ASSERT_TRUE(seed.SEED_CBC_Encrypt(out, kKey, kIv, message, 5, 17));
    EXPECT_EQ(out, encrypt(Bytes(message.begin() + 5, message.begin() + 22)));
    EXPECT_FALSE(seed.SEED_CBC_Encrypt(out, kKey, kIv, message, 30, 11));
    Bytes framed(3 + out.size(), 0xCC);
    std::copy(out.begin(), out.end(), framed.begin() + 3);
    Bytes back;
    std::size_t length = out.size();
    ASSERT_TRUE(seed.SEED_CBC_Decrypt(back, kKey, kIv, framed, 3, length));
    EXPECT_EQ(back, Bytes(message.begin() + 5, message.begin() + 22));

    // Empty: one block of padding and back to empty.
    const Bytes empty = encrypt({});
    ASSERT_EQ(empty.size(), 16u);
    length = 16;
    back = {9};
    ASSERT_TRUE(seed.SEED_CBC_Decrypt(back, kKey, kIv, empty, 0, length));
    EXPECT_TRUE(back.empty());
    EXPECT_EQ(length, 0u);

    // Cipher texts that are no whole blocks are refused before any deciphering.
    for (std::size_t n : {0u, 20u, 15u}) {
        length = n;
        back = {9};
        EXPECT_FALSE(seed.SEED_CBC_Decrypt(back, kKey, kIv, Bytes(32), 0, length)) << n;
        EXPECT_EQ(back, Bytes{9});
        EXPECT_EQ(length, n);
    }

    // Padding: only the last byte counts. A plain block is enciphered raw (no Close) to
    // choose its last byte.
    auto rawBlock = [&](std::uint8_t last) {
        Bytes plain(16, 0xAA);
        plain[15] = last;
        KISA_SEED_CBC_C raw;
        EXPECT_TRUE(raw.SEED_CBC_init(KISA_SEED_CBC_C::KISA_ENCRYPT, kKey, kIv));
        std::vector<std::uint32_t> words(4);
        std::size_t written = 0;
        EXPECT_EQ(raw.SEED_CBC_Process(KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(plain, 16), 16,
                                       words, written),
                  1);
        return KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(words, 16);
    };
    for (std::uint8_t bad : {0, 17, 255}) {
        length = 16;
        back = {9};
        EXPECT_FALSE(seed.SEED_CBC_Decrypt(back, kKey, kIv, rawBlock(bad), 0, length)) << +bad;
        EXPECT_EQ(back, Bytes{9});
    }
    length = 16;
    ASSERT_TRUE(seed.SEED_CBC_Decrypt(back, kKey, kIv, rawBlock(3), 0, length));
    EXPECT_EQ(back, Bytes(13, 0xAA));
    EXPECT_EQ(length, 13u);
}

TEST(SeedCbc, WordPacking) {
    const Bytes bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};
    // A partial last word takes the bytes after inLen that the array holds, zero beyond.
    EXPECT_EQ(KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(bytes, 5),
              (std::vector<std::uint32_t>{0x12345678, 0x9ABCDE00}));
    EXPECT_EQ(KISA_SEED_CBC_C::chartoint32_for_SEED_CBC(bytes, 0), std::vector<std::uint32_t>{});
    EXPECT_EQ(KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(
                  std::vector<std::uint32_t>{0x12345678, 0xFF000001}, 6),
              (Bytes{0x12, 0x34, 0x56, 0x78, 0xFF, 0x00}));
    EXPECT_EQ(KISA_SEED_CBC_C::int32tochar_for_SEED_CBC(std::vector<std::uint32_t>{1}, 9).size(),
              4u);

    // XOR of blocks: a word outside an input counts as zero; the output may be an input.
    std::vector<std::uint32_t> a{1, 2, 3, 4}, b{0x10, 0x20};
    KISA_SEED_CBC_C::BLOCK_XOR_CBC(a, 0, a, 0, b, 0);
    EXPECT_EQ(a, (std::vector<std::uint32_t>{0x11, 0x22, 3, 4}));
    std::vector<std::uint32_t> c(4);
    KISA_SEED_CBC_C::BLOCK_XOR_CBC(c, 0, a, 0, b, 9);
    EXPECT_EQ(c, a);
}
