// Sizing of a dot-grid code: dots per module from the resolutions, the module measures, the
// layout's settled width and rows, and the bitmap size.
#pragma once

#include <cstdint>

#include "gridcode/gridmark.h"

namespace gridcode {

constexpr std::uint32_t kMaxDataLength = 0x50000;
constexpr int kProgressFill = 102;
constexpr int kProgressPrint = 103;
constexpr int kProgressTooLong = 104;

enum Result : std::int32_t {
    kOk = 1,
    kNoMemory = -1,
    kNothing = -5,
    kCancelled = -7,
    kCompressFailed = -12,
    kUnsupported = -21,
    kBadWidth = -22,
    kTooLong = -24,
    kDrawing = -25,
    kBadTarget = -26,
    kTooWide = -27,
    kTooTall = -28,
    kTooManyDots = -125,
};

struct Geometry {
    int fx = 0, fy = 0;   // device dots per module across and down
    int bitmapWidth = 0;  // in device dots, border included
    int bitmapHeight = 0;
    GridLayout layout{};
};

// Dots per module for one axis from a resolution table; answers -1 refused, 0 allowed only when
// both resolutions are equal, 1 exact.
int lookupTable1(int resolution, int density, int& dots);
int lookupTable2(int resolution, int density, int& dots);

// Dots per module of both axes, or kUnsupported.
std::int32_t dotsPerModule(const GridParams& p, int& fx, int& fy);
// The whole sizing; stores the record's outputs on success (and before a kBadWidth answer).
std::int32_t computeGeometry(GridParams& p, Geometry& g);

}  // namespace gridcode
