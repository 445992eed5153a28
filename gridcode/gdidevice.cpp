#include "gridcode/gdidevice.h"

namespace gridcode {

namespace {

std::int32_t blitToDc(void* context, std::int32_t x, std::int32_t y, std::int32_t width,
                      std::int32_t height, const std::uint8_t* rows, std::int32_t stride) {
    auto* dc = static_cast<platform::gdi::Dc*>(context);
    if (!dc || !dc->bitmap() || !rows) return 0;
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const bool white = (rows[r * stride + c / 8] >> (7 - c % 8)) & 1;
            dc->setPixelV(x + c, y + r, white ? 0xFFFFFF : 0);
        }
    return 1;
}

}  // namespace

GridDevice deviceOver(platform::gdi::Dc& dc, int printableWidth, int printableHeight) {
    GridDevice device{};
    device.context = &dc;
    const auto& bitmap = dc.bitmap();
    device.horzRes = printableWidth >= 0 ? printableWidth : bitmap ? bitmap->width() : 0;
    device.vertRes = printableHeight >= 0 ? printableHeight : bitmap ? bitmap->height() : 0;
    device.blit = blitToDc;
    return device;
}

}  // namespace gridcode
