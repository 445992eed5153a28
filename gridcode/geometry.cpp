#include "gridcode/geometry.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "gridcode/layout.h"

namespace gridcode {

namespace {

constexpr int kTable1Rows[] = {200, 300, 360, 400, 454, 600, 681, 727, 909, 1200};
// Dots per module and exactness for densities 200, 300, 400, 600; 0 dots refuses.
constexpr int kTable1[10][4][2] = {
    {{3, 1}, {2, 1}, {2, 0}, {0, 0}},   {{5, 0}, {3, 1}, {3, 0}, {2, 0}},
    {{6, 0}, {4, 0}, {3, 0}, {2, 0}},   {{6, 1}, {4, 1}, {3, 1}, {2, 1}},
    {{7, 1}, {5, 1}, {4, 1}, {3, 1}},   {{9, 1}, {6, 1}, {5, 0}, {3, 1}},
    {{11, 1}, {7, 1}, {6, 1}, {4, 1}},  {{11, 1}, {8, 1}, {6, 1}, {4, 1}},
    {{14, 1}, {10, 1}, {7, 1}, {5, 1}}, {{18, 1}, {12, 1}, {9, 1}, {6, 1}},
};
constexpr int kTable2Rows[] = {454, 600, 681, 727, 909, 1200};
// Densities 300, 400, 600; 0 refuses.
constexpr int kTable2[6][3] = {{4, 3, 2}, {0, 4, 0}, {6, 5, 3}, {7, 5, 4}, {8, 6, 4}, {11, 8, 6}};

bool keptAsIs(int resolution) {
    return resolution == 360 || resolution == 454 || resolution == 681 || resolution == 727 ||
           resolution == 909 || resolution == 1200;
}

int rowsFromHeight(int height, int my) {
    return std::max(24, height * 10 / my / 24 * 24);
}

}  // namespace

int lookupTable1(int resolution, int density, int& dots) {
    if (density == 0) density = 300;
    const int rounded = keptAsIs(resolution) ? resolution : (resolution + 10) / 100 * 100;
    const int* row = std::find(std::begin(kTable1Rows), std::end(kTable1Rows), rounded);
    if (row == std::end(kTable1Rows)) {
        dots = static_cast<int>(std::trunc(3.0 * resolution / density + static_cast<double>(0.9f)));
        return 1;
    }
    int col = density == 200   ? 0
              : density == 300 ? 1
              : density == 400 ? 2
              : density == 600 ? 3
                               : -1;
    if (col < 0) return -1;
    const auto& cell = kTable1[row - std::begin(kTable1Rows)][col];
    if (cell[0] == 0) return -1;
    dots = cell[0];
    return cell[1];
}

int lookupTable2(int resolution, int density, int& dots) {
    if (density == 0) density = 300;
    const int* row = std::find(std::begin(kTable2Rows), std::end(kTable2Rows), resolution);
    if (row == std::end(kTable2Rows)) {
        dots = static_cast<int>(std::trunc(3.0 * resolution / density + 0.5));
        return 1;
    }
    int col = density == 300 ? 0 : density == 400 ? 1 : density == 600 ? 2 : -1;
    if (col < 0) return -1;
    const int cell = kTable2[row - std::begin(kTable2Rows)][col];
    if (cell == 0) return -1;
    dots = cell;
    return 1;
}

std::int32_t dotsPerModule(const GridParams& p, int& fx, int& fy) {
    if (p.DotsPerModule != 0) {
        fx = fy = p.DotsPerModule;
        return kOk;
    }
    const int xr = p.XResolution, yr = p.YResolution;
    if (p.GridDpi == 204) {
        if (xr < 85 || xr > 2400 || yr < 85 || yr > 2400) return kUnsupported;
        if (xr == 360 || yr == 360) {
            if (xr != yr) return kUnsupported;
            fx = fy = 7;
            return kOk;
        }
        fx = 2 * ((xr + 21) / 100);
        fy = 2 * ((yr + 21) / 100);
        return kOk;
    }
    auto lookup = p.TableSelect == 1 ? lookupTable2 : lookupTable1;
    const int ax = lookup(xr, p.GridDpi, fx);
    const int ay = lookup(yr, p.GridDpi, fy);
    if (ax < 0 || ay < 0) return kUnsupported;
    if (xr != yr && (ax != 1 || ay != 1)) return kUnsupported;
    return kOk;
}

std::int32_t computeGeometry(GridParams& p, Geometry& g) {
    if (p.DotsPerModule > 18) return kTooManyDots;
    if (p.DataLength > kMaxDataLength) {
        if (p.Progress) p.Progress(kProgressTooLong, static_cast<std::int32_t>(kMaxDataLength), 0);
        return kTooLong;
    }
    if (std::int32_t rc = dotsPerModule(p, g.fx, g.fy); rc != kOk) return rc;
    if (p.XResolution == 0 || p.YResolution == 0) return kNothing;
    const std::int64_t mx = std::int64_t{g.fx} * 8000 / p.XResolution;
    const std::int64_t my = std::int64_t{g.fy} * 1333 / p.YResolution;
    if (g.fx <= 0 || g.fy <= 0 || mx == 0 || my == 0) return kUnsupported;
    if (mx > 0xFFFF || my > 0xFFFF) return kTooLong;

    int c = 0, r = 0;
    if (p.WidthBytes != 0) {
        if (p.WidthBytes < 4 || p.WidthBytes > 84 || p.WidthBytes % 4 != 0) return kBadWidth;
        c = p.WidthBytes;
    } else if (p.Width != 0) {
        c = static_cast<int>(std::clamp<std::int64_t>(p.Width * 10 / mx / 4 * 4, 4, 84));
        if ((p.SizeFlags & 1) && p.Height != 0) r = rowsFromHeight(p.Height, static_cast<int>(my));
    } else if (p.Height != 0) {
        r = rowsFromHeight(p.Height, static_cast<int>(my));
    } else {
        return kNothing;
    }

    GridLayout& l = g.layout;
    l = GridLayout{};
    l.level = p.MinRedundancy;
    l.dataLength = static_cast<std::int32_t>(p.DataLength);
    l.headerLength = 48;
    l.columnBytes = c;
    l.rows = r;
    const int answer = layout::plan(l);
    if (answer == layout::kNoFit) return kTooLong;
    if (answer == layout::kRefused) return kNothing;

    // Every output must fit its 16-bit field before any is stored.
    const std::int64_t codeWidth = mx * l.columnBytes / 10;
    const std::int64_t codeHeight = my * l.rows / 10;
    const std::int64_t width = std::int64_t{l.columnBytes} * 8 * g.fx + 32;
    const std::int64_t height = std::int64_t{g.fy} * (std::int64_t{l.rows} * 4 / 3) + 32;
    if (l.rows > 0xFFFF || l.columnBytes > 0xFFFF || codeWidth > 0xFFFF || codeHeight > 0xFFFF ||
        width > 0xFFFF || height > 0xFFFF)
        return kTooLong;

    p.ColumnBytes = static_cast<std::uint16_t>(l.columnBytes);
    p.Rows = static_cast<std::uint16_t>(l.rows);
    p.CodeWidth = static_cast<std::uint16_t>(codeWidth);
    p.CodeHeight = static_cast<std::uint16_t>(codeHeight);
    std::int64_t redundancy = std::int64_t{l.check} * 100 / (l.total - l.check);
    redundancy = std::min<std::int64_t>(redundancy, 100);
    redundancy = std::max<std::int64_t>(redundancy, std::clamp(p.MinRedundancy, 0, 100));
    p.Redundancy = static_cast<std::uint16_t>(redundancy);
    p.CodeBytes = static_cast<std::uint16_t>(l.total);
    p.CheckBytes = static_cast<std::uint16_t>(l.check);
    if (l.columnBytes < 4 || l.columnBytes > 84 || l.columnBytes % 4 != 0) return kBadWidth;
    g.bitmapWidth = static_cast<int>(width);
    g.bitmapHeight = static_cast<int>(height);
    return kOk;
}

}  // namespace gridcode
