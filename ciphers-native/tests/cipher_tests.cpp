// Known answers for the block cores (the files in vectors/) and MD5, and the password-keyed
// text ciphers.
#include <gtest/gtest.h>

#include "ciphers-native/aria.h"
#include "ciphers-native/md5.h"
#include "ciphers-native/seed.h"
#include "lib/seed/seed_core.h"
#include "platform/testing/known_answers.h"
#include "test_util.h"

using namespace sealwyn;
using namespace sealwyn::test;

namespace {

using platform::testing::checkBlockCore;
using platform::testing::KnownAnswerFile;
using platform::testing::readKnownAnswers;

KnownAnswerFile vectors(const std::string& name) {
    return readKnownAnswers(std::string(SEALWYN_VECTORS) + "/" + name);
}

}  // namespace

TEST(AriaCore, KnownAnswerFile) {
    const auto file = vectors("aria.txt");
    ASSERT_EQ(file.error, "");
    ASSERT_GE(file.cases.size(), 6u);
    const auto faults = checkBlockCore<aria::AriaCore>(
        file, aria::kBlockSize,
        [](aria::AriaCore& core, std::span<const std::uint8_t> key) { return core.setKey(key); });
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}

// The text cipher's raw-key blocks are the core's, in the direction it was keyed for.
TEST(Aria, RawKeyBlocksFollowTheKnownAnswers) {
    for (const auto& v : vectors("aria.txt").cases) {
        const int bits = static_cast<int>(v.key.size() * 8);
        SCOPED_TRACE(v.line);
        Aria enc, dec;
        ASSERT_TRUE(enc.setRawKey(v.key, bits, Aria::Direction::Encrypt));
        ASSERT_TRUE(dec.setRawKey(v.key, bits, Aria::Direction::Decrypt));
        EXPECT_EQ(enc.rounds(), (bits + 256) / 32);
        std::vector<std::uint8_t> out(v.plain.size()), back(v.plain.size());
        ASSERT_EQ(enc.ecbProcess(v.plain.data(), out.data(), out.size()),
                  static_cast<int>(out.size()));
        EXPECT_EQ(hex(out), hex(v.cipher));
        ASSERT_EQ(dec.ecbProcess(out.data(), back.data(), out.size()),
                  static_cast<int>(out.size()));
        EXPECT_EQ(hex(back), hex(v.plain));
    }
}

// A refused key or a span that is not whole blocks leaves the output untouched.
TEST(AriaCore, RefusesOtherKeySizesAndPartialBlocks) {
    aria::AriaCore core;
    std::vector<std::uint8_t> in(32, 0x5A), out(32, 0xEE);
    EXPECT_FALSE(core.encryptBlocks(in, out)) << "no key yet";
    for (std::size_t n : {0u, 8u, 15u, 17u, 23u, 25u, 31u, 33u, 64u}) {
        EXPECT_FALSE(core.setKey(std::vector<std::uint8_t>(n, 1))) << n;
        EXPECT_FALSE(core.hasKey());
    }
    ASSERT_TRUE(core.setKey(std::vector<std::uint8_t>(24, 1)));
    EXPECT_EQ(core.rounds(), 14);
    const std::span<const std::uint8_t> from(in);
    const std::span<std::uint8_t> to(out);
    EXPECT_FALSE(core.encryptBlocks(from.first(15), to.first(15)));
    EXPECT_FALSE(core.decryptBlocks(from.first(16), to.first(32)));
    EXPECT_EQ(out, std::vector<std::uint8_t>(32, 0xEE));
    EXPECT_TRUE(core.encryptBlocks(from.first(0), to.first(0)));
    // A refused key after a good one leaves no key behind.
    EXPECT_FALSE(core.setKey(std::vector<std::uint8_t>(20, 1)));
    EXPECT_FALSE(core.encryptBlocks(from, to));
    EXPECT_EQ(out, std::vector<std::uint8_t>(32, 0xEE));
}

TEST(AriaCore, DiffusionIsAnInvolution) {
    std::uint8_t x[16], y[16], z[16];
    for (int i = 0; i < 16; ++i) x[i] = static_cast<std::uint8_t>(i * 37 + 11);
    aria::diffuse(x, y);
    aria::diffuse(y, z);
    EXPECT_EQ(hex(z, 16), hex(x, 16));
}

TEST(AriaCore, RefusesOtherKeyLengthsAndPartialBlocks) {
    Aria aria;
    for (int bits : {0, 64, 127, 129, 255, 512, -128}) {
        EXPECT_FALSE(aria.setKey(bytes("pw"), bits, Aria::Direction::Encrypt)) << bits;
        EXPECT_FALSE(aria.hasKey());
        EXPECT_TRUE(aria.encryptText(bytes("text")).empty());
        EXPECT_TRUE(aria.decryptText(bytes("00112233445566778899aabbccddeeff")).empty());
    }
    ASSERT_TRUE(aria.setKey(bytes("pw"), 128, Aria::Direction::Encrypt));
    std::uint8_t buf[32] = {};
    EXPECT_EQ(aria.ecbProcess(buf, buf, 15), -1);
    EXPECT_EQ(aria.ecbProcess(buf, buf, 32), 32);
    aria.release();
    EXPECT_EQ(aria.ecbProcess(buf, buf, 16), -1);
}

TEST(SeedCore, KnownAnswerFile) {
    const auto file = vectors("seed.txt");
    ASSERT_EQ(file.error, "");
    ASSERT_GE(file.cases.size(), 7u);
    const auto faults = checkBlockCore<tessel::seed::SeedCore>(
        file, tessel::seed::kBlockSize,
        [](tessel::seed::SeedCore& core, std::span<const std::uint8_t> key) {
            if (key.size() != tessel::seed::kKeySize) return false;
            core.setKey(key.first<tessel::seed::kKeySize>());
            return true;
        });
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}

TEST(SeedCore, BlockSpansMustBeWholeAndAlike) {
    const std::vector<std::uint8_t> key(16, 7);
    tessel::seed::SeedCore core(std::span<const std::uint8_t, 16>(key.data(), 16));
    std::vector<std::uint8_t> in(32, 0x5A), out(32, 0xEE);
    const std::span<const std::uint8_t> from(in);
    const std::span<std::uint8_t> to(out);
    EXPECT_FALSE(core.encryptBlocks(from.first(17), to.first(17)));
    EXPECT_FALSE(core.decryptBlocks(from.first(16), to.first(32)));
    EXPECT_EQ(out, std::vector<std::uint8_t>(32, 0xEE));
    // The single-block calls and the span calls are one cipher, whether a span is taken a few
    // blocks at a time or has blocks left over, and in place or not.
    for (std::size_t blocks = 1; blocks <= 9; ++blocks) {
        std::vector<std::uint8_t> plain(blocks * 16);
        for (std::size_t i = 0; i < plain.size(); ++i)
            plain[i] = static_cast<std::uint8_t>(i * 37 + blocks);
        std::vector<std::uint8_t> expect = plain;
        for (std::size_t b = 0; b < blocks; ++b) core.encryptBlock(expect.data() + 16 * b);
        std::vector<std::uint8_t> cipher(plain.size());
        ASSERT_TRUE(core.encryptBlocks(plain, cipher));
        EXPECT_EQ(hex(cipher), hex(expect)) << blocks;
        std::vector<std::uint8_t> inPlace = plain;
        ASSERT_TRUE(core.encryptBlocks(inPlace, inPlace));
        EXPECT_EQ(hex(inPlace), hex(expect)) << blocks;
        ASSERT_TRUE(core.decryptBlocks(inPlace, inPlace));
        EXPECT_EQ(hex(inPlace), hex(plain)) << blocks;
        for (std::size_t b = 0; b < blocks; ++b) core.decryptBlock(expect.data() + 16 * b);
        EXPECT_EQ(hex(expect), hex(plain)) << blocks;
    }
}

TEST(SeedCore, TablesBeginAsPublished) {
    EXPECT_EQ(tessel::seed::ss(0)[0], 0x2989A1A8u);
    EXPECT_EQ(tessel::seed::ss(1)[0], 0x38380830u);
    EXPECT_EQ(tessel::seed::ss(2)[0], 0xA1A82989u);
    EXPECT_EQ(tessel::seed::ss(3)[0], 0x08303838u);
    // RFC 4269 Appendix B lists the first round keys of its first vector.
    std::uint8_t zero[16] = {};
    tessel::seed::SeedCore core(std::span<const std::uint8_t, 16>(zero, 16));
    EXPECT_EQ(core.roundKeys()[0], 0x7C8F8C7Eu);
    EXPECT_EQ(core.roundKeys()[1], 0xC737A22Cu);
}

TEST(Md5, Rfc1321Suite) {
    const std::pair<std::string, const char*> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {[] {
             std::string s;
             for (int i = 0; i < 8; ++i) s += "1234567890";
             return s;
         }(),
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : suite) EXPECT_EQ(hex(Md5::of(text)), digest) << text;
}

TEST(Md5, PiecewiseUpdatesEqualOneUpdate) {
    std::string data(1000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    const auto whole = Md5::of(data);
    for (std::size_t step : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 200u}) {
        Md5 m;
        for (std::size_t i = 0; i < data.size(); i += step)
            m.update(reinterpret_cast<const std::uint8_t*>(data.data()) + i,
                     std::min(step, data.size() - i));
        EXPECT_EQ(hex(m.final()), hex(whole)) << step;
    }
}

// A million bytes: thousands of whole blocks taken straight from the caller's bytes, alone and
// behind a partly filled block.
TEST(Md5, MillionAsWholeAndInUnevenPieces) {
    const std::string data(1000000, 'a');
    const char* expected = "7707d6ae4e027c70eea2a935c2296f21";
    EXPECT_EQ(hex(Md5::of(data)), expected);
    for (std::size_t step : {1u, 63u, 65u, 129u, 4097u, 65536u}) {
        Md5 m;
        for (std::size_t i = 0; i < data.size(); i += step)
            m.update(reinterpret_cast<const std::uint8_t*>(data.data()) + i,
                     std::min(step, data.size() - i));
        EXPECT_EQ(hex(m.final()), expected) << step;
    }
}

// The password-keyed ciphers: key material is the raw MD5 of the password.
TEST(PasswordKeys, AriaKeyIsTheDigestRepeated) {
    const auto d = Md5::of("password");
    std::vector<std::uint8_t> master(d.begin(), d.end());
    master.insert(master.end(), d.begin(), d.end());
    for (int bits : {128, 192, 256}) {
        Aria viaPassword, viaRaw;
        ASSERT_TRUE(viaPassword.setKey(bytes("password"), bits, Aria::Direction::Encrypt));
        ASSERT_TRUE(viaRaw.setRawKey(
            std::span<const std::uint8_t>(master.data(), static_cast<std::size_t>(bits / 8)), bits,
            Aria::Direction::Encrypt));
        EXPECT_EQ(viaPassword.encryptText(bytes("some text")),
                  viaRaw.encryptText(bytes("some text")))
            << bits;
    }
}

TEST(PasswordKeys, EmptyPasswordKeysSeedWithTheDigestOfNothing) {
    const auto key = unhex("d41d8cd98f00b204e9800998ecf8427e");
    tessel::seed::SeedCore core(std::span<const std::uint8_t, 16>(key.data(), 16));
    std::uint8_t block[16] = {'a', 'b', 'c'};
    core.encryptBlock(block);
    Seed s;
    s.setKey({});
    EXPECT_EQ(str(s.encryptText(bytes("abc"))), hex(block, 16));
}

struct TextCase {
    std::string text;
    std::size_t hexLength;
};

// Names the case by its length, so test names stay the same from build to build.
void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.text.size() << " bytes";
}

class TextCiphers : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextCiphers, PadToTheNextBlockAndRoundTrip) {
    const auto& c = GetParam();
    for (int bits : {128, 192, 256}) {
        Aria enc, dec;
        enc.setKey(bytes("pw"), bits, Aria::Direction::Encrypt);
        dec.setKey(bytes("pw"), bits, Aria::Direction::Decrypt);
        const auto cipher = enc.encryptText(bytes(c.text));
        EXPECT_EQ(cipher.size(), c.hexLength) << bits;
        EXPECT_EQ(str(dec.decryptText(cipher)), c.text) << bits;
        // The padding is the terminating zero and zeros: visible under the raw block function.
        std::vector<std::uint8_t> raw = unhex(str(cipher)), plain(raw.size());
        dec.ecbProcess(raw.data(), plain.data(), raw.size());
        for (std::size_t i = c.text.size(); i < plain.size(); ++i) EXPECT_EQ(plain[i], 0);
    }
    Seed seed;
    seed.setKey(bytes("pw"));
    const auto cipher = seed.encryptText(bytes(c.text));
    EXPECT_EQ(cipher.size(), c.hexLength);
    EXPECT_EQ(str(seed.decryptText(cipher)), c.text);
}

INSTANTIATE_TEST_SUITE_P(Lengths, TextCiphers,
                         ::testing::Values(TextCase{"", 32}, TextCase{std::string(15, 'x'), 32},
                                           TextCase{std::string(16, 'y'), 64},
                                           TextCase{std::string(31, 'z'), 64},
                                           TextCase{std::string(32, 'w'), 96},
                                           TextCase{"\xB0\xA1 \xC7\xD1\xB1\xDB", 32}));

TEST(TextCiphers, DecryptionRules) {
    Aria enc, dec;
    enc.setKey(bytes("pw"), 256, Aria::Direction::Encrypt);
    dec.setKey(bytes("pw"), 256, Aria::Direction::Decrypt);
    const std::string cipher = str(enc.encryptText(bytes("Mixed Case")));
    std::string upper = cipher;
    for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(str(dec.decryptText(bytes(upper))), "Mixed Case");
    // Not a whole number of blocks: empty.
    EXPECT_EQ(str(dec.decryptText(bytes(cipher.substr(0, 30)))), "");
    EXPECT_EQ(str(dec.decryptText(bytes(cipher + "00"))), "");
    // The same input always gives the same cipher text.
    EXPECT_EQ(str(enc.encryptText(bytes("Mixed Case"))), cipher);
    // Wrong key length on decryption: garbage, never an error.
    Aria wrong;
    wrong.setKey(bytes("pw"), 128, Aria::Direction::Decrypt);
    EXPECT_NE(str(wrong.decryptText(bytes(cipher))), "Mixed Case");

    Seed seed;
    seed.setKey(bytes("pw"));
    const std::string seedCipher = str(seed.encryptText(bytes("Mixed Case")));
    std::string seedUpper = seedCipher;
    for (auto& ch : seedUpper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(str(seed.decryptText(bytes(seedUpper))), "Mixed Case");
    // A trailing incomplete block is left out; shorter than one block gives nothing.
    EXPECT_EQ(str(seed.decryptText(bytes(seedCipher + "abcdef"))), "Mixed Case");
    EXPECT_EQ(str(seed.decryptText(bytes(seedCipher.substr(0, 30)))), "");
}

TEST(TextCiphers, PlainTextWithoutZeroComesBackWhole) {
    // Cipher text of 16 bytes with no zero after decryption: all 16 come back.
    Aria enc, dec;
    enc.setKey(bytes("k"), 128, Aria::Direction::Encrypt);
    dec.setKey(bytes("k"), 128, Aria::Direction::Decrypt);
    std::vector<std::uint8_t> plain(16, 'q'), cipher(16);
    enc.ecbProcess(plain.data(), cipher.data(), 16);
    EXPECT_EQ(str(dec.decryptText(bytes(hex(cipher)))), std::string(16, 'q'));
}

TEST(TextCiphers, SeedOutputBufferGrowsAndKeepsMinimum) {
    Seed seed;
    seed.setKey(bytes("pw"));
    std::vector<std::uint8_t> data(100, 'a');
    EXPECT_EQ(seed.ecbEncrypt(std::span<const std::uint8_t>(data.data(), 1)), 16u);
    EXPECT_EQ(seed.ecbEncrypt(data), 112u);
    EXPECT_EQ(seed.ecbEncrypt(std::span<const std::uint8_t>(data.data(), 16)), 16u);
}
