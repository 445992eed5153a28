#include "gridcode/digital.h"

#include <algorithm>
#include <new>
#include <span>

#include "gridcode/coding.h"

namespace gridcode::digital {

namespace {

class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>& out, std::size_t start)
        : out_(out), pos_(start) {}
    void bit(int b) {
        if (used_ == 0) out_[pos_] = 0;
        if (b) out_[pos_] |= static_cast<std::uint8_t>(0x80 >> used_);
        if (++used_ == 8) {
            used_ = 0;
            ++pos_;
        }
    }
    void flag() {
        for (int i = 7; i >= 0; --i) bit((kFlag >> i) & 1);
    }
    void stuffed(const std::uint8_t* bytes, std::size_t n) {
        int ones = 0;
        for (std::size_t i = 0; i < n; ++i) {
            for (int k = 7; k >= 0; --k) {
                const int b = (bytes[i] >> k) & 1;
                bit(b);
                ones = b ? ones + 1 : 0;
                if (ones == 5) {
                    bit(0);
                    ones = 0;
                }
            }
        }
    }
    // Pads to a byte and answers the bytes written from the start.
    std::size_t finish(std::size_t start) {
        while (used_ != 0) bit(0);
        return pos_ - start;
    }

  private:
    std::vector<std::uint8_t>& out_;
    std::size_t pos_;
    int used_ = 0;
};

}  // namespace

int encode(int level, const std::uint8_t* payload, std::uint32_t length,
           std::vector<std::uint8_t>& out, std::uint32_t& codedLength) {
    if (level < 0 || level > 100 || !payload || length == 0) return kBadArgument;
    const std::uint64_t k = static_cast<std::uint64_t>(dataBytesForLevel(level));
    const std::uint64_t words = (length + k - 1) / k + 1;
    const std::uint64_t frames = 5 * words;
    if (frames > 0xFFFF) return kBadArgument;  // frame numbers are 16 bits
    if (k < 1 || k > 255) return kBadCode;

    std::uint8_t header[24] = {};
    putLe32(header, static_cast<std::uint32_t>(k));
    putLe32(header + 4, length);
    putLe32(header + 16, crc32({payload, length}));
    putLe32(header + 20, crc32({header, 20}));

    std::vector<std::uint8_t> block;
    try {
        block.assign(words * 255, 0);
        out.assign(kReserved + frames * 73 + 130 + 80, 0);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    {
        const ReedSolomon rs(231);
        std::copy(header, header + 24, block.begin() + 231);
        rs.encode({header, 24}, {block.data(), 231});
    }
    const int checks = static_cast<int>(255 - k);
    const ReedSolomon rs(checks);
    for (std::uint64_t w = 1; w < words; ++w) {
        const std::uint64_t from = (w - 1) * k;
        const std::uint64_t n = std::min<std::uint64_t>(k, length - from);
        std::uint8_t* word = block.data() + w * 255;
        std::copy(payload + from, payload + from + n, word + checks);
        if (checks > 0)
            rs.encode({word + checks, static_cast<std::size_t>(k)},
                      {word, static_cast<std::size_t>(checks)});
    }

    BitWriter writer(out, kReserved);
    std::uint8_t frame[kFrameBytes];
    for (std::uint64_t i = 0; i < frames; ++i) {
        writer.flag();
        platform::bytes::storeBigEndian<std::uint16_t>(frame, static_cast<std::uint16_t>(frames));
        platform::bytes::storeBigEndian<std::uint16_t>(frame + 2, static_cast<std::uint16_t>(i));
        for (int j = 0; j < 51; ++j) frame[4 + j] = block[i + j * frames];
        const std::uint16_t crc = crc16({frame, 55});
        platform::bytes::storeBigEndian<std::uint16_t>(frame + 55, crc);
        writer.stuffed(frame, kFrameBytes);
    }
    writer.flag();
    codedLength = static_cast<std::uint32_t>(writer.finish(kReserved));
    return 1;
}

}  // namespace gridcode::digital
