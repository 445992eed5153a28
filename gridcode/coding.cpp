#include "gridcode/coding.h"

namespace gridcode {

namespace {

constexpr int kFieldPolynomial = 0x171;
constexpr char kScrambleKey[] = "BrightLoom";

Field makeField() {
    Field f;
    int x = 1;
    for (int i = 0; i < 255; ++i) {
        f.exp[i] = static_cast<std::uint8_t>(x);
        f.log[x] = i;
        x <<= 1;
        if (x & 0x100) x ^= kFieldPolynomial;
    }
    for (int i = 255; i < 510; ++i) f.exp[i] = f.exp[i - 255];
    return f;
}

std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}

}  // namespace

const Field& field() {
    static const Field f = makeField();
    return f;
}

ReedSolomon::ReedSolomon(int checks) : checks_(checks), g_(static_cast<std::size_t>(checks) + 1) {
    const Field& f = field();
    g_[0] = 1;
    // Multiply by (x - a^i) = (x + a^i) for i = 1..checks.
    for (int i = 1; i <= checks; ++i) {
        std::uint8_t root = f.pow(i);
        for (int j = i; j > 0; --j) g_[j] = g_[j - 1] ^ f.mul(g_[j], root);
        g_[0] = f.mul(g_[0], root);
    }
}

void ReedSolomon::encode(std::span<const std::uint8_t> data, std::span<std::uint8_t> check) const {
    const Field& f = field();
    const int n = checks_;
    std::vector<std::uint8_t> reg(static_cast<std::size_t>(n), 0);
    for (std::size_t d = data.size(); d-- > 0;) {
        std::uint8_t fb = reg[n - 1] ^ data[d];
        for (int j = n - 1; j > 0; --j) reg[j] = reg[j - 1] ^ f.mul(fb, g_[j]);
        reg[0] = f.mul(fb, g_[0]);
    }
    for (int j = 0; j < n; ++j) check[j] = reg[j];
}

std::vector<std::uint8_t> syndromes(std::span<const std::uint8_t> word, int checks) {
    const Field& f = field();
    std::vector<std::uint8_t> s(static_cast<std::size_t>(checks), 0);
    for (int j = 1; j <= checks; ++j) {
        std::uint8_t x = f.pow(j);
        std::uint8_t acc = 0;  // Horner from the highest degree down
        for (std::size_t i = word.size(); i-- > 0;) acc = f.mul(acc, x) ^ word[i];
        s[j - 1] = acc;
    }
    return s;
}

std::uint32_t crc32(std::span<const std::uint8_t> data, std::uint32_t crc) {
    static const auto table = makeCrcTable();
    for (std::uint8_t b : data) crc = (crc >> 8) ^ table[(crc ^ b ^ 0xFFu) & 0xFFu];
    return crc;
}

std::uint16_t crc16(std::span<const std::uint8_t> data) {
    std::uint16_t crc = 0;
    for (std::uint8_t b : data) {
        crc ^= static_cast<std::uint16_t>(b << 8);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

std::uint8_t checkRowByte(std::uint8_t first, std::uint8_t second, std::uint8_t third) {
    std::uint32_t v = first | second << 8 | third << 16;
    for (int i = 0; i < 24; ++i) v = (v & 1) ? (v >> 1) ^ 0x8D : v >> 1;
    return static_cast<std::uint8_t>(~v & 0xFF);
}

void scramble(std::span<std::uint8_t> data) {
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] ^= static_cast<std::uint8_t>(kScrambleKey[i % 10]);
}

}  // namespace gridcode
