#include "gridcode/layout.h"

#include <algorithm>
#include <vector>

#include "gridcode/coding.h"

namespace gridcode::layout {

int plan(GridLayout& r) {
    if (r.dataLength < 0 || r.headerLength < 0 || r.columnBytes < 0 || r.rows < 0) return kRefused;
    if (r.columnBytes == 0 && r.rows == 0) return kRefused;
    const int level = std::clamp(r.level, 0, 100);
    const std::int64_t k = dataBytesForLevel(level);
    const std::int64_t blocks = std::max<std::int64_t>(1, (r.dataLength + k - 1) / k);
    const std::int64_t total = blocks * 255;
    const std::int64_t need = r.headerLength + total;
    if (total > 0x7FFFFFFF) return kNoFit;
    std::int64_t c = r.columnBytes, rows = r.rows;
    if (c != 0 && (c % 4 != 0 || c < 4 || c > 84)) return kRefused;
    if (rows != 0 && rows % 24 != 0) return kRefused;
    if (c == 0) {
        for (c = 4; c <= 84 && c * rows < need; c += 4) {
        }
        if (c > 84) return kNoFit;
    } else if (rows == 0) {
        rows = (need + c - 1) / c;
        rows = std::max<std::int64_t>(24, (rows + 23) / 24 * 24);
    }
    if (rows > kMaxRows || c * rows < need) return kNoFit;
    r.columnBytes = static_cast<std::int32_t>(c);
    r.rows = static_cast<std::int32_t>(rows);
    r.total = static_cast<std::int32_t>(total);
    r.check = static_cast<std::int32_t>(blocks * (255 - k));
    r.dataBytes = static_cast<std::int32_t>(k);
    r.blocks = static_cast<std::int32_t>(blocks);
    r.dataSpan = static_cast<std::int32_t>(blocks * k);
    return 1;
}

int code(const std::uint8_t* src, std::uint8_t* dst, const GridLayout& r) {
    if (!src || !dst || r.blocks < 1 || r.dataBytes < 1) return kRefused;
    if (r.check % r.blocks != 0 || r.total != r.check + r.blocks * r.dataBytes) return kRefused;
    const int checks = r.check / r.blocks;
    if (checks < 0 || checks + r.dataBytes > 255) return kRefused;
    const ReedSolomon rs(checks);
    const std::size_t n = static_cast<std::size_t>(checks + r.dataBytes);
    for (int b = 0; b < r.blocks; ++b) {
        const std::uint8_t* data = src + static_cast<std::size_t>(b) * r.dataBytes;
        std::uint8_t* word = dst + static_cast<std::size_t>(b) * n;
        std::copy(data, data + r.dataBytes, word + checks);
        if (checks > 0)
            rs.encode({data, static_cast<std::size_t>(r.dataBytes)},
                      {word, static_cast<std::size_t>(checks)});
    }
    return 1;
}

std::size_t cellOf(std::size_t s, int tilesAcross, int tilesDown) {
    const std::size_t tiles = static_cast<std::size_t>(tilesAcross) * tilesDown;
    const std::size_t tile = s % tiles, q = s / tiles;
    const std::size_t row = tile / tilesAcross * 24 + q / 4;
    const std::size_t col = tile % tilesAcross * 4 + q % 4;
    return row * static_cast<std::size_t>(tilesAcross) * 4 + col;
}

void place(const std::uint8_t* src, std::uint8_t* dst, int tilesAcross, int tilesDown) {
    const std::size_t size = static_cast<std::size_t>(tilesAcross) * tilesDown * 96;
    for (std::size_t s = 0; s < size; ++s) dst[cellOf(s, tilesAcross, tilesDown)] = src[s];
}

}  // namespace gridcode::layout
