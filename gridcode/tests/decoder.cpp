#include "gridcode/tests/decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "gridcode/coding.h"
#include "gridcode/layout.h"
#include "platform/outside/mavrin.h"

namespace gridcode::testing {

namespace {

using Poly = std::vector<std::uint8_t>;  // coefficient of x^i at index i

std::uint8_t evaluate(const Poly& p, std::uint8_t x) {
    const Field& f = field();
    std::uint8_t acc = 0;
    for (std::size_t i = p.size(); i-- > 0;) acc = f.mul(acc, x) ^ p[i];
    return acc;
}

}  // namespace

int correct(std::span<std::uint8_t> word, int checks) {
    if (checks == 0) return 0;
    const Field& f = field();
    const auto s = syndromes(word, checks);
    if (std::all_of(s.begin(), s.end(), [](std::uint8_t v) { return v == 0; })) return 0;
    // Berlekamp-Massey for the error locator.
    Poly c{1}, b{1};
    int l = 0, m = 1;
    std::uint8_t bd = 1;
    for (int n = 0; n < checks; ++n) {
        std::uint8_t d = s[n];
        for (int i = 1; i <= l && i < static_cast<int>(c.size()); ++i) d ^= f.mul(c[i], s[n - i]);
        if (d == 0) {
            ++m;
            continue;
        }
        Poly t = c;
        const std::uint8_t coef = f.div(d, bd);
        if (c.size() < b.size() + m) c.resize(b.size() + m, 0);
        for (std::size_t i = 0; i < b.size(); ++i) c[i + m] ^= f.mul(coef, b[i]);
        if (2 * l <= n) {
            l = n + 1 - l;
            b = t;
            bd = d;
            m = 1;
        } else {
            ++m;
        }
    }
    if (2 * l > checks) return -1;
    // Error evaluator: S(x) * locator mod x^checks, S(x) = S1 + S2 x + ...
    Poly omega(static_cast<std::size_t>(checks), 0);
    for (int i = 0; i < checks; ++i)
        for (std::size_t j = 0; j < c.size() && i + static_cast<int>(j) < checks; ++j)
            omega[i + j] ^= f.mul(s[i], c[j]);
    Poly derivative(c.size(), 0);
    for (std::size_t i = 1; i < c.size(); i += 2) derivative[i - 1] = c[i];
    int found = 0;
    for (std::size_t pos = 0; pos < word.size(); ++pos) {
        const std::uint8_t inverse = f.pow(-static_cast<int>(pos));
        if (evaluate(c, inverse) != 0) continue;
        const std::uint8_t denominator = evaluate(derivative, inverse);
        if (denominator == 0) return -1;
        word[pos] ^= f.div(evaluate(omega, inverse), denominator);
        ++found;
    }
    if (found != l) return -1;
    const auto after = syndromes(word, checks);
    if (!std::all_of(after.begin(), after.end(), [](std::uint8_t v) { return v == 0; })) return -1;
    return found;
}

GridReading readGrid(const GridBitmap* bitmap, const GridParams& p, int fx, int fy,
                     void (*damage)(std::vector<std::uint8_t>&, int)) {
    GridReading r;
    const int c = p.ColumnBytes, rows = p.Rows, moduleRows = rows * 4 / 3;
    std::vector<std::uint8_t> modules(static_cast<std::size_t>(c) * moduleRows, 0);
    for (int y = 0; y < moduleRows; ++y)
        for (int x = 0; x < c * 8; ++x)
            if (GridBitmapPixel(bitmap, 16 + x * fx + fx / 2, 16 + y * fy + fy / 2) == 1)
                modules[static_cast<std::size_t>(y) * c + x / 8] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
    if (damage) damage(modules, c);
    std::vector<std::uint8_t> cells(static_cast<std::size_t>(c) * rows);
    for (int g = 0; g < rows / 3; ++g) {
        const std::uint8_t* in = modules.data() + static_cast<std::size_t>(g) * 4 * c;
        std::copy(in, in + 3 * c, cells.begin() + static_cast<std::ptrdiff_t>(g) * 3 * c);
        for (int j = 0; j < c; ++j)
            if (checkRowByte(in[j], in[c + j], in[2 * c + j]) != in[3 * c + j]) ++r.checkRowFaults;
    }
    std::vector<std::uint8_t> stream(cells.size());
    for (std::size_t s = 0; s < stream.size(); ++s)
        stream[s] = cells[layout::cellOf(s, c / 4, rows / 24)];

    std::uint8_t* header = stream.data();
    int mended = correct({header, 48}, 32);
    if (mended < 0) {
        r.failure = "header word";
        return r;
    }
    r.correctedSymbols += mended;
    const std::uint8_t* h = header + 32;
    if (crc32({h, 12}) != getLe32(h + 12)) {
        r.failure = "header CRC";
        return r;
    }
    const std::uint32_t length = getLe32(h + 4);
    r.check = getLe16(h + 8);
    r.total = getLe16(h + 10);
    const int blocks = r.total / 255;
    if (blocks < 1 || r.total % 255 != 0 || r.check % blocks != 0) {
        r.failure = "header sizes";
        return r;
    }
    const int checks = r.check / blocks, k = 255 - checks;
    std::vector<std::uint8_t> data;
    for (int b = 0; b < blocks; ++b) {
        std::uint8_t* word = stream.data() + 48 + static_cast<std::size_t>(b) * 255;
        mended = correct({word, 255}, checks);
        if (mended < 0) {
            r.failure = "data word " + std::to_string(b);
            return r;
        }
        r.correctedSymbols += mended;
        data.insert(data.end(), word + checks, word + 255);
    }
    (void)k;
    if (length > data.size()) {
        r.failure = "length";
        return r;
    }
    if (crc32({data.data(), length}) != getLe32(h)) {
        r.failure = "data CRC";
        return r;
    }
    scramble(data);
    data.resize(length);
    r.data = std::move(data);
    r.ok = true;
    return r;
}

namespace {

class BitReader {
  public:
    BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool more() const { return pos_ < bytes_.size() * 8; }
    int bit() {
        if (!more()) return -1;
        const int b = (bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
        ++pos_;
        return b;
    }
    int byte() {
        int v = 0;
        for (int i = 0; i < 8; ++i) {
            const int b = bit();
            if (b < 0) return -1;
            v = v << 1 | b;
        }
        return v;
    }
    // n stuffed bytes: a 0 after five 1 bits is dropped.
    bool stuffed(std::uint8_t* out, int n) {
        int ones = 0;
        for (int i = 0; i < n; ++i) {
            int v = 0;
            for (int k = 0; k < 8; ++k) {
                const int b = bit();
                if (b < 0) return false;
                v = v << 1 | b;
                ones = b ? ones + 1 : 0;
                if (ones == 5) {
                    if (bit() != 0) return false;
                    ones = 0;
                }
            }
            out[i] = static_cast<std::uint8_t>(v);
        }
        return true;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

}  // namespace

DigitalReading readDigital(std::span<const std::uint8_t> image, const std::string& key) {
    DigitalReading r;
    if (image.size() < 142 || image[0] != 'B' || image[1] != 'M' || getLe32(&image[10]) != 62 ||
        getLe32(&image[14]) != 40 || getLe32(&image[18]) != 640 || getLe16(&image[26]) != 1 ||
        getLe16(&image[28]) != 1 || (image.size() - 62) % 80 != 0 ||
        getLe32(&image[22]) != (image.size() - 62) / 80) {
        r.failure = "bitmap header";
        return r;
    }
    const std::uint8_t* row = &image[62];
    if (std::memcmp(row, "Korvane1", 8) == 0) {
        r.digital = false;
    } else if (std::memcmp(row, "Korvane2", 8) == 0) {
        r.digital = true;
    } else {
        r.failure = "header row";
        return r;
    }
    r.declaredLength = getLe32(row + 8);
    std::vector<std::uint8_t> payload;
    if (!r.digital) {
        payload.assign(image.begin() + 142, image.end());
    } else {
        r.codedLength = getLe32(row + 12);
        if (142 + std::size_t{r.codedLength} > image.size()) {
            r.failure = "coded length";
            return r;
        }
        BitReader bits(image.subspan(142, r.codedLength));
        std::vector<std::array<std::uint8_t, 57>> frames;
        std::vector<bool> good;
        int expected = -1;
        while (true) {
            if (bits.byte() != 0x7E) {
                r.failure = "flag";
                return r;
            }
            if (expected >= 0 && static_cast<int>(frames.size()) == expected) break;
            std::array<std::uint8_t, 57> frame{};
            if (!bits.stuffed(frame.data(), 57)) {
                r.failure = "stuffing";
                return r;
            }
            const bool crcOk = crc16({frame.data(), 55}) == (frame[55] << 8 | frame[56]);
            if (crcOk && expected < 0) expected = frame[0] << 8 | frame[1];
            if (crcOk && (frame[2] << 8 | frame[3]) != static_cast<int>(frames.size())) {
                r.failure = "frame order";
                return r;
            }
            if (!crcOk) ++r.badFrames;
            frames.push_back(frame);
            good.push_back(crcOk);
            if (frames.size() > 0xFFFF) {
                r.failure = "frame count";
                return r;
            }
        }
        r.frames = expected;
        while (bits.more())
            if (bits.bit() != 0) {
                r.failure = "padding";
                return r;
            }
        const int words = expected / 5;
        std::vector<std::uint8_t> block(static_cast<std::size_t>(words) * 255);
        for (int i = 0; i < expected; ++i)
            for (int j = 0; j < 51; ++j)
                block[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * expected] =
                    frames[i][4 + j];
        int mended = correct({block.data(), 255}, 231);
        if (mended < 0) {
            r.failure = "header word";
            return r;
        }
        r.correctedSymbols += mended;
        const std::uint8_t* h = block.data() + 231;
        if (crc32({h, 20}) != getLe32(h + 20)) {
            r.failure = "coding header CRC";
            return r;
        }
        const int k = static_cast<int>(getLe32(h));
        const std::uint32_t length = getLe32(h + 4);
        r.level = -1;
        for (int level = 0; level <= 100; ++level)
            if (dataBytesForLevel(level) == k) {
                r.level = level;
                break;
            }
        if (k < 1 || k > 255 || (length + k - 1) / k + 1 != static_cast<std::uint32_t>(words)) {
            r.failure = "coding header sizes";
            return r;
        }
        for (int w = 1; w < words; ++w) {
            std::uint8_t* word = block.data() + static_cast<std::size_t>(w) * 255;
            mended = correct({word, 255}, 255 - k);
            if (mended < 0) {
                r.failure = "word " + std::to_string(w);
                return r;
            }
            r.correctedSymbols += mended;
            payload.insert(payload.end(), word + 255 - k, word + 255);
        }
        payload.resize(length);
        if (crc32(payload) != getLe32(h + 16)) {
            r.failure = "payload CRC";
            return r;
        }
    }
    if (payload.size() < 40 || payload.size() % 80 != 0) {
        r.failure = "payload size";
        return r;
    }
    const std::size_t p = payload.size() - 40;
    r.block.assign(payload.begin() + static_cast<std::ptrdiff_t>(p),
                   payload.begin() + static_cast<std::ptrdiff_t>(p) + 20);
    r.trailer.assign(payload.begin() + static_cast<std::ptrdiff_t>(p) + 20, payload.end());
    std::uint8_t mask[8];
    const std::size_t m = std::min<std::size_t>(key.size(), 5);
    for (int i = 0; i < 8; ++i)
        mask[i] = static_cast<std::uint8_t>("OlmetarQ"[i] ^ (m ? key[i % m] : 0));
    for (int i = 0; i < 16; ++i) r.trailer[i] ^= mask[i % 8];
    r.compressed = getLe16(&r.block[12]) != 0;
    r.encrypted = getLe16(&r.block[14]) != 0;
    const std::uint32_t n = getLe32(&r.block[16]);
    if (n > p || p != (n + 119) / 80 * 80 - 40) {
        r.failure = "block length";
        return r;
    }
    std::vector<std::uint8_t> data(payload.begin(), payload.begin() + n);
    if (r.encrypted) {
        std::array<std::uint8_t, 12> nonce{};
        std::copy(r.block.begin(), r.block.begin() + 12, nonce.begin());
        if (!platform::outside::mavrin::decrypt(data, key, nonce)) {
            r.failure = "decrypt";
            return r;
        }
    }
    if (r.compressed) {
        std::vector<std::uint8_t> expanded;
        if (!platform::outside::mavrin::expand(data, expanded)) {
            r.failure = "expand";
            return r;
        }
        data = std::move(expanded);
    }
    if (data.size() != r.declaredLength) {
        r.failure = "declared length";
        return r;
    }
    r.data = std::move(data);
    r.ok = true;
    return r;
}

}  // namespace gridcode::testing
