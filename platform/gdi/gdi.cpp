#include "platform/gdi/gdi.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "platform/bytes/byteorder.h"

namespace platform::gdi {

Bitmap::Bitmap(int width, int height, Color fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
              fill & 0xFFFFFF) {}

BitmapPtr createCompatibleBitmap(int width, int height) {
    return std::make_shared<Bitmap>(width, height, 0);
}

// ---- regions ----

namespace {

bool insideEllipse(const Rect& r, int x, int y) {
    const double rx = r.width() / 2.0;
    const double ry = r.height() / 2.0;
    if (rx <= 0 || ry <= 0) return false;
    const double cx = r.left + rx;
    const double cy = r.top + ry;
    const double dx = (x + 0.5 - cx) / rx;
    const double dy = (y + 0.5 - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

Rect unite(const Rect& a, const Rect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

}  // namespace

Region Region::rect(const Rect& r) {
    Region region;
    if (r.empty()) return region;
    region.bounds_ = r;
    region.in_.assign(static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(r.height()),
                      1);
    return region;
}

Region Region::ellipse(const Rect& r) {
    Region region;
    if (r.empty()) return region;
    region.bounds_ = r;
    region.in_.resize(static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(r.height()));
    std::size_t i = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) region.in_[i++] = insideEllipse(r, x, y) ? 1 : 0;
    return region;
}

bool Region::contains(int x, int y) const {
    if (!bounds_.contains(x, y)) return false;
    return in_[static_cast<std::size_t>(y - bounds_.top) *
                   static_cast<std::size_t>(bounds_.width()) +
               static_cast<std::size_t>(x - bounds_.left)] != 0;
}

bool Region::empty() const {
    return std::none_of(in_.begin(), in_.end(), [](std::uint8_t b) { return b != 0; });
}

bool Region::operator==(const Region& other) const {
    const Rect all = unite(bounds_, other.bounds_);
    for (int y = all.top; y < all.bottom; ++y)
        for (int x = all.left; x < all.right; ++x)
            if (contains(x, y) != other.contains(x, y)) return false;
    return true;
}

Region Region::combine(const Region& a, const Region& b, Combine mode) {
    if (mode == Combine::Copy) return a;
    const Rect all = unite(a.bounds_, b.bounds_);
    Region out;
    if (all.empty()) return out;
    out.bounds_ = all;
    out.in_.resize(static_cast<std::size_t>(all.width()) * static_cast<std::size_t>(all.height()));
    std::size_t i = 0;
    for (int y = all.top; y < all.bottom; ++y)
        for (int x = all.left; x < all.right; ++x) {
            const bool ia = a.contains(x, y);
            const bool ib = b.contains(x, y);
            bool v = false;
            switch (mode) {
                case Combine::And:
                    v = ia && ib;
                    break;
                case Combine::Or:
                    v = ia || ib;
                    break;
                case Combine::Xor:
                    v = ia != ib;
                    break;
                case Combine::Diff:
                    v = ia && !ib;
                    break;
                case Combine::Copy:
                    v = ia;
                    break;
            }
            out.in_[i++] = v ? 1 : 0;
        }
    return out;
}

// ---- pictures ----

int himetricToPixels(int himetric) {
    const long long v = static_cast<long long>(himetric) * kPixelsPerInch;
    return static_cast<int>(v >= 0 ? (v + 1270) / 2540 : -((-v + 1270) / 2540));
}

int pixelsToHimetric(int pixels) {
    const long long v = static_cast<long long>(pixels) * 2540;
    return static_cast<int>(v >= 0 ? (v + kPixelsPerInch / 2) / kPixelsPerInch
                                   : -((-v + kPixelsPerInch / 2) / kPixelsPerInch));
}

std::shared_ptr<Picture> Picture::fromBitmap(BitmapPtr bitmap) {
    auto p = std::make_shared<Picture>();
    p->type = kBitmap;
    p->himetricWidth = pixelsToHimetric(bitmap->width());
    p->himetricHeight = pixelsToHimetric(bitmap->height());
    p->bitmap = std::move(bitmap);
    return p;
}

std::shared_ptr<Picture> Picture::fromIcon(Icon icon) {
    auto p = std::make_shared<Picture>();
    p->type = kIcon;
    p->himetricWidth = pixelsToHimetric(icon.color->width());
    p->himetricHeight = pixelsToHimetric(icon.color->height());
    p->icon = std::move(icon);
    return p;
}

// ---- device contexts ----

BitmapPtr Dc::selectBitmap(BitmapPtr bitmap) {
    std::swap(bitmap, bitmap_);
    return bitmap;
}
Pen Dc::selectPen(Pen pen) {
    std::swap(pen, pen_);
    return pen;
}
Brush Dc::selectBrush(Brush brush) {
    std::swap(brush, brush_);
    return brush;
}
Font Dc::selectFont(Font font) {
    std::swap(font, font_);
    return font;
}
Color Dc::setTextColor(Color c) {
    std::swap(c, textColor_);
    return c;
}
Color Dc::setBkColor(Color c) {
    std::swap(c, bkColor_);
    return c;
}
BkMode Dc::setBkMode(BkMode mode) {
    std::swap(mode, bkMode_);
    return mode;
}

void Dc::plot(int x, int y, Color c) {
    if (bitmap_) bitmap_->setPixel(x, y, c);
}

Point Dc::moveTo(int x, int y) {
    const Point old = position_;
    position_ = {x, y};
    return old;
}

void Dc::lineTo(int x, int y) {
    // Bresenham from the current position, the end point left out. A wider pen draws a square
    // of its width at every point.
    int x0 = position_.x;
    int y0 = position_.y;
    const int dx = std::abs(x - x0);
    const int dy = -std::abs(y - y0);
    const int sx = x0 < x ? 1 : -1;
    const int sy = y0 < y ? 1 : -1;
    int err = dx + dy;
    const int w = std::max(pen_.width, 1);
    while (!(x0 == x && y0 == y)) {
        for (int i = 0; i < w; ++i)
            for (int j = 0; j < w; ++j) plot(x0 + i, y0 + j, pen_.color);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
    position_ = {x, y};
}

void Dc::fillRect(const Rect& r, const Brush& brush) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) plot(x, y, brush.color);
}

void Dc::frameRect(const Rect& r, const Brush& brush) {
    if (r.empty()) return;
    for (int x = r.left; x < r.right; ++x) {
        plot(x, r.top, brush.color);
        plot(x, r.bottom - 1, brush.color);
    }
    for (int y = r.top; y < r.bottom; ++y) {
        plot(r.left, y, brush.color);
        plot(r.right - 1, y, brush.color);
    }
}

void Dc::setPixelV(int x, int y, Color c) {
    plot(x, y, c);
}

Color Dc::getPixel(int x, int y) const {
    return bitmap_ ? bitmap_->pixel(x, y) : 0;
}

void Dc::ellipse(int left, int top, int right, int bottom) {
    const Rect outer{left, top, right, bottom};
    const int w = std::max(pen_.width, 1);
    const Rect inner = outer.inflate(-w, -w);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            if (!insideEllipse(outer, x, y)) continue;
            plot(x, y, insideEllipse(inner, x, y) ? brush_.color : pen_.color);
        }
}

void Dc::drawFocusRect(const Rect& r) {
    if (r.empty() || !bitmap_) return;
    auto invert = [&](int x, int y) {
        const Color pattern = ((x + y) & 1) == 0 ? bkColor_ : textColor_;
        if (bitmap_->inside(x, y)) bitmap_->setPixel(x, y, bitmap_->pixel(x, y) ^ pattern);
    };
    for (int x = r.left; x < r.right; ++x) {
        invert(x, r.top);
        if (r.bottom - 1 != r.top) invert(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        invert(r.left, y);
        if (r.right - 1 != r.left) invert(r.right - 1, y);
    }
}

void Dc::bitBlt(int dx, int dy, int w, int h, const Dc& src, int sx, int sy) {
    if (!bitmap_ || !src.bitmap_) return;
    // Read the whole block first, so a copy within one bitmap sees the old pixels.
    std::vector<std::pair<bool, Color>> block(static_cast<std::size_t>(std::max(w, 0)) *
                                              static_cast<std::size_t>(std::max(h, 0)));
    std::size_t i = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, ++i)
            block[i] = {src.bitmap_->inside(sx + x, sy + y), src.bitmap_->pixel(sx + x, sy + y)};
    i = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, ++i)
            if (block[i].first) plot(dx + x, dy + y, block[i].second);
}

void Dc::drawIconEx(int x, int y, const Icon& icon, int w, int h) {
    if (!icon.color || icon.color->width() == 0 || icon.color->height() == 0) return;
    const int iw = icon.color->width();
    const int ih = icon.color->height();
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const int u = i * iw / w;
            const int v = j * ih / h;
            const std::size_t m = static_cast<std::size_t>(v) * static_cast<std::size_t>(iw) +
                                  static_cast<std::size_t>(u);
            const bool transparent = m < icon.mask.size() && icon.mask[m];
            if (!transparent) plot(x + i, y + j, icon.color->pixel(u, v));
        }
}

// ---- device-independent pixels ----

int dibStride(int width) {
    return (width * 3 + 3) & ~3;
}

std::vector<std::uint8_t> getDIBits24(const Bitmap& bitmap) {
    const int stride = dibStride(bitmap.width());
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) *
                                   static_cast<std::size_t>(bitmap.height()));
    for (int y = 0; y < bitmap.height(); ++y) {
        std::uint8_t* row =
            bits.data() + static_cast<std::size_t>(bitmap.height() - 1 - y) * stride;
        for (int x = 0; x < bitmap.width(); ++x) {
            const Color c = bitmap.pixel(x, y);
            row[x * 3] = static_cast<std::uint8_t>(blue(c));
            row[x * 3 + 1] = static_cast<std::uint8_t>(green(c));
            row[x * 3 + 2] = static_cast<std::uint8_t>(red(c));
        }
    }
    return bits;
}

void setDIBitsToDevice(Dc& dc, int x, int y, int w, int h, const std::vector<std::uint8_t>& bits) {
    const int stride = dibStride(w);
    if (w <= 0 || h <= 0 || bits.size() < static_cast<std::size_t>(stride) * h) return;
    for (int j = 0; j < h; ++j) {
        const std::uint8_t* row = bits.data() + static_cast<std::size_t>(h - 1 - j) * stride;
        for (int i = 0; i < w; ++i)
            dc.setPixelV(x + i, y + j, rgb(row[i * 3 + 2], row[i * 3 + 1], row[i * 3]));
    }
}

// ---- system colours ----

namespace {

constexpr std::array<Color, 31> kDefaultSysColors = {
    0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0};

std::array<Color, 31>& sysColors() {
    static std::array<Color, 31> colors = kDefaultSysColors;
    return colors;
}

}  // namespace

Color sysColor(int index) {
    if (index < 0 || index >= static_cast<int>(kDefaultSysColors.size())) return 0;
    return sysColors()[static_cast<std::size_t>(index)];
}

void setSysColor(int index, Color c) {
    if (index >= 0 && index < static_cast<int>(kDefaultSysColors.size()))
        sysColors()[static_cast<std::size_t>(index)] = c & 0xFFFFFF;
}

void resetSysColors() {
    sysColors() = kDefaultSysColors;
}

std::optional<Color> oleTranslateColor(std::uint32_t oleColor) {
    switch (oleColor >> 24) {
        case 0x00:
            return oleColor;
        case 0x02:
            return oleColor & 0xFFFFFF;
        case 0x80: {
            const std::uint32_t index = oleColor & 0xFFFFFF;
            if (index >= kDefaultSysColors.size()) return std::nullopt;
            return sysColor(static_cast<int>(index));
        }
        default:
            return std::nullopt;
    }
}

// ---- BMP files ----

bool writeBmp(const Bitmap& bitmap, const std::filesystem::path& path) {
    namespace bytes = platform::bytes;
    const std::vector<std::uint8_t> bits = getDIBits24(bitmap);
    std::vector<std::uint8_t> file;
    auto put16 = [&](std::uint16_t v) { bytes::appendLittleEndian<std::uint16_t>(file, v); };
    auto put32 = [&](std::uint32_t v) { bytes::appendLittleEndian<std::uint32_t>(file, v); };
    const std::uint32_t offset = 14 + 40;
    file.push_back('B');
    file.push_back('M');
    put32(offset + static_cast<std::uint32_t>(bits.size()));
    put32(0);
    put32(offset);
    put32(40);
    put32(static_cast<std::uint32_t>(bitmap.width()));
    put32(static_cast<std::uint32_t>(bitmap.height()));
    put16(1);
    put16(24);
    put32(0);
    put32(static_cast<std::uint32_t>(bits.size()));
    put32(3780);
    put32(3780);
    put32(0);
    put32(0);
    file.insert(file.end(), bits.begin(), bits.end());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

}  // namespace platform::gdi
