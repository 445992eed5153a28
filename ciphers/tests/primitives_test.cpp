// Known answers of the primitives: RC4, Blowfish, SHA-1, the message key and its weave, and
// the double-precision RSA arithmetic.
#include <gtest/gtest.h>

#include <stdexcept>

#include <algorithm>
#include <cmath>
#include <set>

#include "ciphers/blowfish_bytes.h"
#include "ciphers/dbcodec.h"
#include "ciphers/messagekey.h"
#include "ciphers/random.h"
#include "ciphers/rsa_math.h"
#include "ciphers/sha1.h"
#include "platform/testing/known_answers.h"
#include "platform/text/text.h"

using namespace ciphra;
namespace text = platform::text;

namespace {

std::vector<std::uint8_t> unhex(std::string_view h) {
    auto bytes = text::fromHex(h);
    if (!bytes) throw std::invalid_argument("not a hexadecimal text: " + std::string(h));
    return *bytes;
}

std::string hex(const std::vector<std::uint8_t>& b) {
    return text::toHexAscii(b);
}

std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

}  // namespace

// ---- RC4 ----

TEST(Rc4, ClassicVectorsThroughTheTextKey) {
    struct Case {
        std::u16string key;
        std::string plain, cipher;
    } cases[] = {
        {u"Key", "Plaintext", "bbf316e8d940af0ad3"},
        {u"Wiki", "pedia", "1021bf0420"},
        {u"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
    };
    for (const auto& c : cases) {
        auto data = bytes(c.plain);
        EXPECT_EQ(hex(dbDecode(data, c.key)), c.cipher) << c.plain;
        EXPECT_EQ(dbDecode(data, c.key), bytes(c.plain)) << "deciphering restores the input";
    }
}

TEST(Rc4, Rfc6229KeystreamAtOffsetsZeroAnd240) {
    // RFC 6229, 40-bit key 0x0102030405: offsets 0 and 240 of the keystream.
    std::vector<std::uint8_t> stream(256, 0);
    rc4(stream, unhex("0102030405"));
    EXPECT_EQ(hex({stream.begin(), stream.begin() + 16}), "b2396305f03dc027ccc3524a0a1118a8");
    EXPECT_EQ(hex({stream.begin() + 240, stream.begin() + 256}),
              "28cb1132c96ce286421dcaadb8b69eae");
    // 128-bit key 0x0102..10, offset 0.
    std::vector<std::uint8_t> s2(16, 0);
    rc4(s2, unhex("0102030405060708090a0b0c0d0e0f10"));
    EXPECT_EQ(hex(s2), "9ac7cc9a609d1ef7b2932899cde41b97");
}

// The cipher works eight bytes at a time once the state index is aligned: every length around
// the alignment and the index's wrap at 256, and keys of every schedule shape, give the bytes of
// the textbook byte-by-byte form.
TEST(Rc4, EveryLengthMatchesTheByteByByteForm) {
    auto textbook = [](std::vector<std::uint8_t> data, const std::vector<std::uint8_t>& key) {
        std::uint8_t s[256];
        for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
        for (int i = 0, j = 0; i < 256; ++i) {
            j = (j + s[i] + key[static_cast<std::size_t>(i) % key.size()]) & 0xFF;
            std::swap(s[i], s[j]);
        }
        int i = 0, j = 0;
        for (auto& byte : data) {
            i = (i + 1) & 0xFF;
            j = (j + s[i]) & 0xFF;
            std::swap(s[i], s[j]);
            byte ^= s[(s[i] + s[j]) & 0xFF];
        }
        return data;
    };
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 40; ++n) lengths.push_back(n);
    for (std::size_t n : {250, 255, 256, 257, 263, 264, 511, 512, 513, 4096, 65536 + 3})
        lengths.push_back(n);
    for (std::size_t keyLength : {1, 5, 16, 255, 256}) {
        std::vector<std::uint8_t> key(keyLength);
        for (std::size_t k = 0; k < keyLength; ++k) key[k] = static_cast<std::uint8_t>(k * 37 + 11);
        for (std::size_t n : lengths) {
            std::vector<std::uint8_t> data(n);
            for (std::size_t k = 0; k < n; ++k) data[k] = static_cast<std::uint8_t>(k * 7 + n);
            std::vector<std::uint8_t> ours = data;
            rc4(ours, key);
            EXPECT_EQ(ours, textbook(data, key)) << "key " << keyLength << " length " << n;
        }
    }
}

TEST(Rc4, KeyLongerThan256CharactersUsesItsFirst256) {
    std::u16string longKey;
    for (int i = 0; i < 300; ++i) longKey += char16_t(u'0' + i % 10);
    auto a = bytes("some message bytes"), b = a;
    dbDecode(a, longKey);
    dbDecode(b, longKey.substr(0, 256));
    EXPECT_EQ(a, b);
}

TEST(Rc4, KeyCharacterOfTwoAnsiBytesOverflowsAndEmptyKeyFails) {
    auto data = bytes("x");
    try {
        dbDecode(data, u"키");
        FAIL() << "no error";
    } catch (const platform::text::Error& e) {
        EXPECT_EQ(e.description(), u"Overflow");
    }
    EXPECT_THROW(dbDecode(data, u""), platform::text::Error);
    std::vector<std::uint8_t> empty;
    EXPECT_TRUE(dbDecode(empty, u"12345").empty());
}

// ---- Message key ----

TEST(MessageKey, GeneratedKeysAreInRangeAndPassTheCheck) {
    std::set<std::u16string> seen;
    const int primes[] = {17, 19, 31, 61, 89};
    for (int n = 0; n < 200; ++n) {
        std::u16string key = generateKey();
        ASSERT_EQ(key.size(), 25u);
        for (int g = 0; g < 5; ++g) {
            int v = std::stoi(text::toUtf8(key.substr(5 * g, 5)));
            EXPECT_GE(v, 10000);
            EXPECT_LE(v, 19999);
            EXPECT_EQ(v % primes[g], 0);
        }
        EXPECT_TRUE(checkKey(key));
        seen.insert(key);
    }
    EXPECT_GT(seen.size(), 190u) << "keys must not repeat (no clock seeding)";
}

TEST(MessageKey, GroupValueFromTheUniformDraw) {
    // A draw r gives the group 10000 + round(r * 10000) mod 10000, redrawn until divisible:
    // 0.5 gives 15000 (not divisible by 17) and is drawn again.
    std::vector<double> draws = {0.5, 0.02, 0.14, 0.24, 0.22, 0.99995, 0.335};
    std::size_t i = 0;
    setUniformSource([&] { return draws.at(i++); });
    EXPECT_EQ(generateKey(), u"1020011400124001220013350");
    setUniformSource(nullptr);
}

TEST(MessageKey, CheckTestsDivisibilityOnly) {
    struct Case {
        std::u16string key;
        bool ok;
    } cases[] = {
        {u"1020011400124001220013350", true},
        {u"0000000000000000000000000", true},       // out of range but divisible
        {u"1020011400124001220013351", false},      // last group not divisible by 89
        {u"10200114001240012200", false},           // 20 characters: no fifth group
        {u"102001140012400122001335", true},        // 24: shorter fifth group 1335 = 89*15
        {u"102001140012400122001335099999", true},  // characters past 25 are ignored
        {u"10200114001240012200abcde", false},      // not numeric
        {u"", false},
        {u"1020 11400124001220013350", true},  // "1020 " converts to 1020 = 17 * 60
    };
    for (const auto& c : cases) EXPECT_EQ(checkKey(c.key), c.ok) << text::toUtf8(c.key);
}

TEST(MessageKey, WeaveOfLongTextsKeepsItsFormat) {
    const std::u16string key = u"1020011400124001220013350";
    std::u16string body = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef";
    std::u16string woven = insertKey(body, key);
    EXPECT_EQ(woven.substr(0, 8), u"A1B0C2D0");
    EXPECT_EQ(woven.substr(48), u"Y0Zabcdef");
    for (std::size_t i = 0; i < 25; ++i) EXPECT_EQ(woven[2 * i + 1], key[i]);
    std::u16string rest = woven;
    EXPECT_EQ(extractKey(rest), key);
    EXPECT_EQ(rest, body);
}

TEST(MessageKey, ExtractionInvertsInsertionForEveryLength) {
    const std::u16string key = u"1020011400124001220013350";
    const std::u16string digest = u"A9993E364706816ABA3E25717850C26C9CD0D89D";
    std::u16string body;
    for (int len = 0; len <= 90; ++len) {
        std::u16string woven = insertKey(body, key);
        EXPECT_EQ(woven.size(), body.size() + 25);
        std::u16string rest = woven;
        EXPECT_EQ(extractKey(rest), key) << len;
        EXPECT_EQ(rest, body) << len;

        std::u16string wovenSha = insertSha1Key(body, digest);
        EXPECT_EQ(extractSha1Key(wovenSha), digest) << len;
        EXPECT_EQ(wovenSha, body) << len;
        body += char16_t(u'a' + len % 26);
    }
}

TEST(MessageKey, ShortTextWeaveAppendsTheSurplusKeyCharacters) {
    EXPECT_EQ(insertKey(u"7btO", u"1020011400124001220013350"), u"71b0t2O0011400124001220013350");
    std::u16string tooShort = u"12345";
    EXPECT_EQ(extractKey(tooShort), u"12345");
    EXPECT_EQ(tooShort, u"");
}

// ---- Message cipher text ----

namespace {
// The cipher text built from the whole Base64 text at once, as the format defines it.
std::u16string wholeMessage(std::vector<std::uint8_t> data, std::u16string_view key) {
    dbDecode(data, key);
    return text::Replace(insertKey(text::toBase64(data), key), u"\r\n", u"");
}
}  // namespace

TEST(MessageCipher, LongDataEncodedInPiecesGivesTheTextOfTheWhole) {
    const std::u16string key = u"1020011400124001220013350";
    constexpr std::size_t piece = 3 * 256 * 1024;  // what the encoder is handed at most
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(2), std::size_t(38),
                             piece - 1, piece, piece + 1, piece + 2, 2 * piece + 4}) {
        std::vector<std::uint8_t> data(size);
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 131 + 7);
        // Only the last piece may end inside a group of three bytes.
        std::size_t calls = 0;
        bool ragged = false;
        const std::u16string got = messageEncode(data, key, [&](const auto& b) {
            ++calls;
            EXPECT_FALSE(ragged) << size;
            ragged = b.size() % 3 != 0;
            return text::toBase64(b);
        });
        EXPECT_EQ(got, wholeMessage(data, key)) << size;
        EXPECT_EQ(calls, std::max<std::size_t>(1, (size + piece - 1) / piece)) << size;
    }
}

TEST(MessageCipher, CrLfPairsLeaveTheWovenTextLeftToRight) {
    // Surplus key characters of a short text follow one another, so a key can bring CR LF
    // pairs of its own; "\r\r\n" keeps its first CR.
    for (std::u16string key : {std::u16string(u"\r\n\r\r\n\n0011400124001220013350"),
                               std::u16string(u"1020011400124001220013\r\n\r")}) {
        for (std::size_t size : {1, 2, 3, 17, 40}) {
            std::vector<std::uint8_t> data(size, 0x5A);
            EXPECT_EQ(messageEncode(data, key, [](const auto& b) { return text::toBase64(b); }),
                      wholeMessage(data, key))
                << size;
        }
    }
}

// ---- Blowfish ----

TEST(Blowfish, KnownAnswerFile) {
    const auto file =
        platform::testing::readKnownAnswers(std::string(CIPHRA_VECTORS) + "/blowfish.txt");
    ASSERT_EQ(file.error, "");
    ASSERT_GE(file.cases.size(), 59u);
    const auto faults = platform::testing::checkBlockCore<blowfish::BlowfishCore>(
        file, blowfish::kBlockSize,
        [](blowfish::BlowfishCore& core, std::span<const std::uint8_t> key) {
            return core.setKey(key);
        });
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}

TEST(Blowfish, KeyLengthsOneTo56BytesAndWholeBlocks) {
    blowfish::BlowfishCore bf;
    std::vector<std::uint8_t> in(16, 0x5A), out(16, 0xEE);
    EXPECT_FALSE(bf.encryptBlocks(in, out)) << "no key yet";
    EXPECT_FALSE(bf.setKey({}));
    EXPECT_FALSE(bf.setKey(std::vector<std::uint8_t>(57, 1)));
    EXPECT_FALSE(bf.hasKey());
    EXPECT_TRUE(bf.setKey(std::vector<std::uint8_t>(56, 1)));
    EXPECT_TRUE(bf.setKey(std::vector<std::uint8_t>(1, 1)));
    const std::span<const std::uint8_t> from(in);
    const std::span<std::uint8_t> to(out);
    EXPECT_FALSE(bf.encryptBlocks(from.first(7), to.first(7)));
    EXPECT_FALSE(bf.decryptBlocks(from.first(8), to));
    EXPECT_EQ(out, std::vector<std::uint8_t>(16, 0xEE));
    // A refused key keeps the one before.
    ASSERT_TRUE(bf.encryptBlocks(from, to));
    EXPECT_FALSE(bf.setKey(std::vector<std::uint8_t>(57, 2)));
    std::vector<std::uint8_t> again(16);
    ASSERT_TRUE(bf.encryptBlocks(from, again));
    EXPECT_EQ(again, out);
}

// ECB over byte arrays drops a partial last block; the padded forms round-trip every length.
TEST(Blowfish, ByteArraysOnTheCore) {
    blowfish::BlowfishCore bf;
    ASSERT_TRUE(bf.setKey(bytes("1234567890123456789012345")));
    const auto data = bytes("exactly sixteen!tail");
    const auto sealed = encryptEcb(bf, data);
    ASSERT_EQ(sealed.size(), 16u);
    EXPECT_EQ(decryptEcb(bf, sealed), bytes("exactly sixteen!"));
    for (std::size_t n = 0; n <= 17; ++n) {
        const std::vector<std::uint8_t> plain(n, static_cast<std::uint8_t>('a' + n));
        const auto cipher = encryptBytes(bf, plain);
        EXPECT_EQ(cipher.size(), (n / 8 + 1) * 8) << n;
        EXPECT_EQ(decryptBytes(bf, cipher), plain) << n;
    }
}

TEST(Blowfish, PaddingAndLenientUnpadding) {
    EXPECT_EQ(padBytes({}), std::vector<std::uint8_t>(8, 8));
    EXPECT_EQ(padBytes(bytes("12345678")).size(), 16u);
    EXPECT_EQ(padBytes(bytes("1234567")).back(), 1);
    struct Case {
        std::vector<std::uint8_t> in, out;
    } cases[] = {
        {{}, {}},
        {{1, 2, 3, 4, 5, 3, 3, 3}, {1, 2, 3, 4, 5}},
        {{1, 2, 3, 4, 5, 6, 7, 9}, {1, 2, 3, 4, 5, 6, 7, 9}},  // above 8: kept
        {{8, 8, 8, 8, 8, 8, 8, 8}, {}},
        {{1, 2, 5}, {}},                                 // n - v not above 0
        {{1, 2, 3, 4, 5, 6, 7, 2}, {1, 2, 3, 4, 5, 6}},  // other pad bytes unchecked
    };
    for (const auto& c : cases) EXPECT_EQ(unpadBytes(c.in), c.out);
}

// ---- SHA-1 ----

TEST(Sha1, Fips180Vectors) {
    clsSHA1 sha;
    EXPECT_EQ(sha.SHA1(u"abc"), u"A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(sha.SHA1(u""), u"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    EXPECT_EQ(sha.SHA1(u"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              u"84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
    EXPECT_EQ(sha.SHA1(std::u16string(1000000, u'a')), u"34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

TEST(Sha1, BlockBoundariesAndAnsiBytes) {
    // 55, 56, 63 and 64 bytes straddle the padding boundary.
    const std::pair<int, const char16_t*> cases[] = {
        {55, u"C1C8BBDC22796E28C0E15163D20899B65621D65A"},
        {56, u"C2DB330F6083854C99D4B5BFB6E8F29F201BE699"},
        {63, u"03F09F5B158A7A8CDAD920BDDC29B81C18A551F5"},
        {64, u"0098BA824B5C16427BD7A1122A5A442A25EC644D"},
    };
    clsSHA1 sha;
    for (auto [n, digest] : cases) EXPECT_EQ(sha.SHA1(std::u16string(n, u'a')), digest) << n;
    // Korean text is hashed over its CP949 bytes B0 A1 ("가").
    auto cp949 = unhex("b0a1");
    auto raw = sha1Digest(cp949);
    EXPECT_EQ(hex({raw.begin(), raw.end()}), text::toUtf8(text::LCase(sha.SHA1(u"가"))));
}

TEST(Sha1, InstructionAndPortablePathsAgree) {
    // Every length from empty to past three blocks, and long inputs, through both ways of
    // computing the digest (the instruction path only where the CPU has it).
    std::vector<std::uint8_t> data(70000);
    std::uint32_t x = 12345;
    for (auto& b : data) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 200; ++n) lengths.push_back(n);
    for (std::size_t n : {1000u, 4095u, 4096u, 65537u, 70000u}) lengths.push_back(n);
    for (std::size_t n : lengths) {
        std::span<const std::uint8_t> part(data.data(), n);
        const auto portable = sha1_detail::portableDigest(part);
        EXPECT_EQ(sha1Digest(part), portable) << n;
        if (sha1_detail::hasShaInstructions()) {
            EXPECT_EQ(sha1_detail::instructionDigest(part), portable) << n;
        }
    }
    const auto abc = bytes("abc");
    const auto portable = sha1_detail::portableDigest(abc);
    EXPECT_EQ(hex({portable.begin(), portable.end()}), "a9993e364706816aba3e25717850c26c9cd0d89d");
    if (sha1_detail::hasShaInstructions()) {
        const auto d = sha1_detail::instructionDigest(abc);
        EXPECT_EQ(hex({d.begin(), d.end()}), "a9993e364706816aba3e25717850c26c9cd0d89d");
    }
}

// ---- RSA arithmetic ----

TEST(RsaMath, ModPowIsExactBelowTheLimit) {
    // 3181 * 9973 = 31,724,113; the textbook pair e = 65537 would do, but the library's
    // exponents are large primes: check against integer arithmetic.
    auto exactPow = [](std::uint64_t b, std::uint64_t e, std::uint64_t m) {
        std::uint64_t r = 1;
        b %= m;
        while (e) {
            if (e & 1) r = r * b % m;
            b = b * b % m;
            e >>= 1;
        }
        return r;
    };
    const double n = 9973.0 * 9511.0;  // 94,853,203, just below the limit
    for (double base : {2.0, 65.0, 122.0, 48.0}) {
        for (double e : {10000019.0, 12345701.0, 99999989.0}) {
            EXPECT_EQ(rsa::modPow(base, e, n),
                      double(exactPow(std::uint64_t(base), std::uint64_t(e), std::uint64_t(n))));
        }
    }
    EXPECT_EQ(rsa::modPow(5, 0, 0), 1);
    EXPECT_EQ(rsa::modPow(5, 3, 0), 0);  // a failure gives 0
}

TEST(RsaMath, ModPowAboveTheLimitRoundsAsDoubleStepsDo) {
    // n = 9973 * 9967 = 99,400,891: squares of residues pass 2^53 and are rounded, so these
    // results differ from exact arithmetic (33^10000019 mod n is 21173851 exactly). Existing
    // cipher texts were made with the double steps (each product rounded to a double, then
    // a - Int(a / m) * m); the expected values were computed with IEEE doubles in Python.
    const double n = 9973.0 * 9967.0;
    const struct {
        double base, exponent, expected;
    } cases[] = {
        {33, 10000019, 45155351}, {34, 10000019, 90370650}, {38, 10000019, 4424552},
        {40, 10000019, 480567},   {44, 10000019, 59581323},
    };
    for (const auto& c : cases) EXPECT_EQ(rsa::modPow(c.base, c.exponent, n), c.expected) << c.base;
}

TEST(RsaMath, PrimalityAndInverse) {
    EXPECT_FALSE(rsa::isPrime(2));
    EXPECT_FALSE(rsa::isPrime(1));
    EXPECT_TRUE(rsa::isPrime(3181));
    EXPECT_TRUE(rsa::isPrime(9973));
    EXPECT_FALSE(rsa::isPrime(9971));  // 13 * 767
    EXPECT_TRUE(rsa::isPrime(10000019));
    const double phi = 3180.0 * 9972.0;
    const double e = 10000019.0;
    const double d = rsa::modInverse(e, phi);
    EXPECT_GT(d, 0);
    EXPECT_LT(d, phi);
    EXPECT_EQ(std::fmod(std::fmod(e, phi) * d, phi), 1.0);
}

TEST(RsaMath, GeneratedPairsStayBelowTheExactLimitAndRoundTrip) {
    for (int i = 0; i < 20; ++i) {
        rsa::KeyNumbers k = rsa::generateKeyNumbers();
        EXPECT_TRUE(rsa::isPrime(k.p) && rsa::isPrime(k.q));
        EXPECT_LT(k.n, rsa::kExactModulusLimit);
        EXPECT_GT(k.d, 10000000.0);
        for (double c : {43.0, 48.0, 57.0, 65.0, 90.0, 122.0})
            EXPECT_EQ(rsa::modPow(rsa::modPow(c, k.e, k.n), k.d, k.n), c) << k.p << " " << k.q;
    }
}

TEST(RsaMath, KeyGenerationRedrawsEqualPrimes) {
    // The first draws give 3187 twice (n a square: the pair could not decipher); then 3181, 3187.
    std::vector<double> draws = {(3187.0 - 3170.0 + 0.5) / 6830.0, (3187.0 - 3170.0 + 0.5) / 6830.0,
                                 (3181.0 - 3170.0 + 0.5) / 6830.0,
                                 (3187.0 - 3170.0 + 0.5) / 6830.0};
    std::size_t i = 0;
    std::uint64_t lcg = 99;
    setUniformSource([&] {
        if (i < draws.size()) return draws[i++];
        lcg = lcg * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(lcg >> 11) * 0x1.0p-53;
    });
    rsa::KeyNumbers k = rsa::generateKeyNumbers();
    setUniformSource(nullptr);
    EXPECT_EQ(k.p, 3181);
    EXPECT_EQ(k.q, 3187);
    for (double c : {43.0, 90.0, 122.0})
        EXPECT_EQ(rsa::modPow(rsa::modPow(c, k.e, k.n), k.d, k.n), c);
}

TEST(RsaMath, KeyGenerationRedrawsPrimesWhoseProductRounds) {
    // The first draws give 9973 * 9967 (above the limit); the next give 3181 * 3187.
    std::vector<double> draws = {(9973.0 - 3170.0 + 0.5) / 6830.0, (9967.0 - 3170.0 + 0.5) / 6830.0,
                                 (3181.0 - 3170.0 + 0.5) / 6830.0,
                                 (3187.0 - 3170.0 + 0.5) / 6830.0};
    std::size_t i = 0;
    std::uint64_t lcg = 12345;
    setUniformSource([&] {
        if (i < draws.size()) return draws[i++];
        lcg = lcg * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(lcg >> 11) * 0x1.0p-53;
    });
    rsa::KeyNumbers k = rsa::generateKeyNumbers();
    setUniformSource(nullptr);
    EXPECT_EQ(k.p, 3181);
    EXPECT_EQ(k.q, 3187);
    EXPECT_EQ(k.n, 3181.0 * 3187.0);
}
