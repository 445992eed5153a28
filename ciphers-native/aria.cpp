#include "ciphers-native/aria.h"

#include <array>
#include <cstring>

#include "ciphers-native/gf256.h"
#include "ciphers-native/md5.h"

namespace sealwyn {

namespace {

using Block = std::array<std::uint8_t, 16>;

// S1 is the AES box (inverse in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1, then the affine map
// with 0x63); S2(x) = B·x^247 ⊕ 0xE2 in the same field; S3 and S4 are their inverses.
constexpr unsigned kPoly = 0x11B;
constexpr std::array<std::uint8_t, 8> kAesAffine = {0xF1, 0xE3, 0xC7, 0x8F, 0x1F, 0x3E, 0x7C, 0xF8};
constexpr std::array<std::uint8_t, 8> kB = {0x7A, 0xBC, 0xEB, 0xB9, 0x34, 0x81, 0xBA, 0xCB};
constexpr auto kS1 = gf256::box(kAesAffine, 254, kPoly, 0x63);
constexpr auto kS2 = gf256::box(kB, 247, kPoly, 0xE2);
constexpr auto kS3 = gf256::inverse(kS1);
constexpr auto kS4 = gf256::inverse(kS2);
static_assert(kS1[0] == 0x63 && kS1[1] == 0x7C && kS1[2] == 0x77 && kS1[3] == 0x7B);
static_assert(kS2[0] == 0xE2 && kS2[1] == 0x4E);

// Key-schedule constants KRK1..KRK3.
constexpr Block kKrk[3] = {{0x51, 0x7c, 0xc1, 0xb7, 0x27, 0x22, 0x0a, 0x94, 0xfe, 0x13, 0xab, 0xe8,
                            0xfa, 0x9a, 0x6e, 0xe0},
                           {0x6d, 0xb1, 0x4a, 0xcc, 0x9e, 0x21, 0xc8, 0x20, 0xff, 0x28, 0xb1, 0xd5,
                            0xef, 0x5d, 0xe2, 0xb0},
                           {0xdb, 0x92, 0x37, 0x1d, 0x21, 0x26, 0xe9, 0x70, 0x03, 0x24, 0x97, 0x75,
                            0x04, 0xe8, 0xc9, 0x0e}};

// Odd rounds substitute with S1 S2 S3 S4, even rounds with S3 S4 S1 S2.
inline void substituteOdd(std::uint8_t* x) {
    for (int i = 0; i < 16; i += 4) {
        x[i] = kS1[x[i]];
        x[i + 1] = kS2[x[i + 1]];
        x[i + 2] = kS3[x[i + 2]];
        x[i + 3] = kS4[x[i + 3]];
    }
}

inline void substituteEven(std::uint8_t* x) {
    for (int i = 0; i < 16; i += 4) {
        x[i] = kS3[x[i]];
        x[i + 1] = kS4[x[i + 1]];
        x[i + 2] = kS1[x[i + 2]];
        x[i + 3] = kS2[x[i + 3]];
    }
}

inline void xorInto(std::uint8_t* x, const std::uint8_t* k) {
    for (int i = 0; i < 16; ++i) x[i] ^= k[i];
}

// FO and FE of the key schedule: XOR the constant, substitute, diffuse.
Block roundFunction(const Block& d, const Block& rk, bool odd) {
    Block t = d;
    xorInto(t.data(), rk.data());
    odd ? substituteOdd(t.data()) : substituteEven(t.data());
    Block out;
    aria_detail::diffuse(t.data(), out.data());
    return out;
}

Block xorOf(const Block& a, const Block& b) {
    Block out;
    for (int i = 0; i < 16; ++i) out[i] = a[i] ^ b[i];
    return out;
}

// The 128-bit big-endian value rotated right by n bits.
Block rotateRight(const Block& x, int n) {
    Block out;
    const int bytes = n / 8, bits = n % 8;
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t hi = x[(i - bytes + 16) % 16];
        const std::uint8_t lo = x[(i - bytes - 1 + 32) % 16];
        out[i] = bits ? static_cast<std::uint8_t>((hi >> bits) | (lo << (8 - bits))) : hi;
    }
    return out;
}

}  // namespace

namespace aria_detail {
void diffuse(const std::uint8_t* x, std::uint8_t* y) {
    y[0] = x[3] ^ x[4] ^ x[6] ^ x[8] ^ x[9] ^ x[13] ^ x[14];
    y[1] = x[2] ^ x[5] ^ x[7] ^ x[8] ^ x[9] ^ x[12] ^ x[15];
    y[2] = x[1] ^ x[4] ^ x[6] ^ x[10] ^ x[11] ^ x[12] ^ x[15];
    y[3] = x[0] ^ x[5] ^ x[7] ^ x[10] ^ x[11] ^ x[13] ^ x[14];
    y[4] = x[0] ^ x[2] ^ x[5] ^ x[8] ^ x[11] ^ x[14] ^ x[15];
    y[5] = x[1] ^ x[3] ^ x[4] ^ x[9] ^ x[10] ^ x[14] ^ x[15];
    y[6] = x[0] ^ x[2] ^ x[7] ^ x[9] ^ x[10] ^ x[12] ^ x[13];
    y[7] = x[1] ^ x[3] ^ x[6] ^ x[8] ^ x[11] ^ x[12] ^ x[13];
    y[8] = x[0] ^ x[1] ^ x[4] ^ x[7] ^ x[10] ^ x[13] ^ x[15];
    y[9] = x[0] ^ x[1] ^ x[5] ^ x[6] ^ x[11] ^ x[12] ^ x[14];
    y[10] = x[2] ^ x[3] ^ x[5] ^ x[6] ^ x[8] ^ x[13] ^ x[15];
    y[11] = x[2] ^ x[3] ^ x[4] ^ x[7] ^ x[9] ^ x[12] ^ x[14];
    y[12] = x[1] ^ x[2] ^ x[6] ^ x[7] ^ x[9] ^ x[11] ^ x[12];
    y[13] = x[0] ^ x[3] ^ x[6] ^ x[7] ^ x[8] ^ x[10] ^ x[13];
    y[14] = x[0] ^ x[3] ^ x[4] ^ x[5] ^ x[9] ^ x[11] ^ x[14];
    y[15] = x[1] ^ x[2] ^ x[4] ^ x[5] ^ x[8] ^ x[10] ^ x[15];
}
}  // namespace aria_detail

void Aria::release() {
    roundKeys_.reset();
    rounds_ = 0;
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
    if (key.size() < static_cast<std::size_t>(keyBits / 8)) return false;
    const int rounds = (keyBits + 256) / 32;

    Block kl{}, kr{};
    std::memcpy(kl.data(), key.data(), 16);
    std::memcpy(kr.data(), key.data() + 16, static_cast<std::size_t>(keyBits / 8 - 16));
    const int first = (keyBits - 128) / 64;
    const Block& ck1 = kKrk[first];
    const Block& ck2 = kKrk[(first + 1) % 3];
    const Block& ck3 = kKrk[(first + 2) % 3];
    const Block w0 = kl;
    const Block w1 = xorOf(roundFunction(w0, ck1, true), kr);
    const Block w2 = xorOf(roundFunction(w1, ck2, false), w0);
    const Block w3 = xorOf(roundFunction(w2, ck3, true), w1);
    const Block w[4] = {w0, w1, w2, w3};

    auto keys = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(rounds + 1) * 16);
    // ek(4g + i + 1) = W[i] ^ (W[(i + 1) % 4] >>> r[g]) for the right rotations 19, 31, 67, 97
    // and the final key with 109.
    static constexpr int kRotations[5] = {19, 31, 67, 97, 109};
    for (int n = 0; n <= rounds; ++n) {
        const int group = n / 4, i = n % 4;
        const Block k = xorOf(w[i], rotateRight(w[(i + 1) % 4], kRotations[group]));
        std::memcpy(keys.get() + 16 * n, k.data(), 16);
    }
    if (direction == Direction::Decrypt) {
        // First and last exchanged; every key between them replaced by the diffusion of the
        // key at the mirrored position.
        auto enc = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(rounds + 1) * 16);
        std::memcpy(enc.get(), keys.get(), static_cast<std::size_t>(rounds + 1) * 16);
        std::memcpy(keys.get(), enc.get() + 16 * rounds, 16);
        std::memcpy(keys.get() + 16 * rounds, enc.get(), 16);
        for (int n = 1; n < rounds; ++n)
            aria_detail::diffuse(enc.get() + 16 * (rounds - n), keys.get() + 16 * n);
    }
    roundKeys_ = std::move(keys);
    rounds_ = rounds;
    return true;
}

int Aria::ecbProcess(const std::uint8_t* in, std::uint8_t* out, std::size_t length) const {
    if (length % kBlockSize != 0 || !hasKey()) return -1;
    const std::uint8_t* rk = roundKeys_.get();
    for (std::size_t off = 0; off < length; off += kBlockSize) {
        std::uint8_t x[16], t[16];
        std::memcpy(x, in + off, 16);
        for (int r = 1; r < rounds_; ++r) {
            xorInto(x, rk + 16 * (r - 1));
            (r % 2) ? substituteOdd(x) : substituteEven(x);
            aria_detail::diffuse(x, t);
            std::memcpy(x, t, 16);
        }
        // The last round: no diffusion, then the last round key.
        xorInto(x, rk + 16 * (rounds_ - 1));
        substituteEven(x);
        xorInto(x, rk + 16 * rounds_);
        std::memcpy(out + off, x, 16);
    }
    return static_cast<int>(length);
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
