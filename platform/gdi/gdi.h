// Our raster in place of the platform's drawing interface: bitmaps of 0x00BBGGRR pixels, device
// contexts with a selected bitmap, pen, brush and font, and the drawing operations with the
// platform's exact pixel rules: a rectangle covers [left, right) x [top, bottom), a frame is one
// pixel inside its rectangle, a line leaves out its end point and moves the current position
// there, 24-bit device-independent rows are BGR, padded to four bytes and stored bottom-up.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::gdi {

using Color = std::uint32_t;  // 0x00BBGGRR

constexpr Color rgb(int r, int g, int b) {
    return static_cast<Color>(r & 0xFF) | static_cast<Color>(g & 0xFF) << 8 |
           static_cast<Color>(b & 0xFF) << 16;
}
constexpr int red(Color c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int green(Color c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int blue(Color c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Rect inflate(int dx, int dy) const { return {left - dx, top - dy, right + dx, bottom + dy}; }
    bool operator==(const Rect&) const = default;
};

// A colour bitmap. Pixels outside it are never read or written.
class Bitmap {
  public:
    Bitmap(int width, int height, Color fill = 0);
    int width() const { return width_; }
    int height() const { return height_; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    Color pixel(int x, int y) const { return inside(x, y) ? pixels_[index(x, y)] : 0; }
    void setPixel(int x, int y, Color c) {
        if (inside(x, y)) pixels_[index(x, y)] = c & 0xFFFFFF;
    }
    const std::vector<Color>& pixels() const { return pixels_; }

  private:
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }
    int width_;
    int height_;
    std::vector<Color> pixels_;
};
using BitmapPtr = std::shared_ptr<Bitmap>;

// A compatible bitmap: what a device context of the screen would make (black at first).
BitmapPtr createCompatibleBitmap(int width, int height);

// The colour depth that device contexts report (BITSPIXEL).
constexpr int kBitsPerPixel = 32;
// Logical pixels per inch of the screen, both ways.
constexpr int kPixelsPerInch = 96;

// Regions: a set of pixels. Combining modes as the platform numbers them.
enum class Combine { And = 1, Or = 2, Xor = 3, Diff = 4, Copy = 5 };

class Region {
  public:
    Region() = default;
    static Region rect(const Rect& r);
    // The ellipse inscribed in r: the pixels whose centres lie inside it.
    static Region ellipse(const Rect& r);
    static Region combine(const Region& a, const Region& b, Combine mode);

    bool contains(int x, int y) const;
    bool empty() const;
    const Rect& bounds() const { return bounds_; }
    bool operator==(const Region& other) const;

  private:
    Rect bounds_;
    std::vector<std::uint8_t> in_;  // one byte per pixel of bounds_
};

enum class BkMode { Transparent = 1, Opaque = 2 };

struct Pen {
    Color color = 0;
    int width = 1;
};
struct Brush {
    Color color = 0xFFFFFF;
};

// A logical font: face, size in points and style. Realised by the text engine (text.h).
struct Font {
    std::u16string face = u"Tahoma";
    double size = 9.0;  // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int charset = 0;
    bool operator==(const Font&) const = default;
};

// An icon: a colour image and its mask (true where the background shows through).
struct Icon {
    BitmapPtr color;
    std::vector<bool> mask;  // width x height of color, row by row
};

// A picture object: a bitmap (type 1) or an icon (type 3), with its size in HIMETRIC units.
struct Picture {
    static constexpr int kBitmap = 1;
    static constexpr int kIcon = 3;
    int type = kBitmap;
    BitmapPtr bitmap;
    Icon icon;
    int himetricWidth = 0;
    int himetricHeight = 0;

    static std::shared_ptr<Picture> fromBitmap(BitmapPtr bitmap);
    static std::shared_ptr<Picture> fromIcon(Icon icon);
};
using PicturePtr = std::shared_ptr<Picture>;

// HIMETRIC (0.01 mm) and pixels of the screen, rounded to the nearest.
int himetricToPixels(int himetric);
int pixelsToHimetric(int pixels);

// DrawText flags.
enum : unsigned {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
};

// A device context: the bitmap it draws on and its drawing state. A memory context starts with
// no bitmap (drawing does nothing), the black pen of width 1, the white brush, black text on a
// white opaque background, and the current position at 0, 0.
class Dc {
  public:
    Dc() = default;
    explicit Dc(BitmapPtr surface) : bitmap_(std::move(surface)) {}

    // Each select returns what was selected before.
    BitmapPtr selectBitmap(BitmapPtr bitmap);
    Pen selectPen(Pen pen);
    Brush selectBrush(Brush brush);
    Font selectFont(Font font);
    const BitmapPtr& bitmap() const { return bitmap_; }
    const Pen& pen() const { return pen_; }
    const Brush& brush() const { return brush_; }
    const Font& font() const { return font_; }

    Color setTextColor(Color c);
    Color textColor() const { return textColor_; }
    Color setBkColor(Color c);
    Color bkColor() const { return bkColor_; }
    BkMode setBkMode(BkMode mode);
    BkMode bkMode() const { return bkMode_; }

    Point moveTo(int x, int y);
    // A line in the current pen from the current position to (x, y), end point left out; the
    // current position becomes (x, y).
    void lineTo(int x, int y);
    Point currentPosition() const { return position_; }

    void fillRect(const Rect& r, const Brush& brush);
    // One pixel wide, inside r.
    void frameRect(const Rect& r, const Brush& brush);
    void setPixelV(int x, int y, Color c);
    Color getPixel(int x, int y) const;
    // The ellipse inscribed in the rectangle: outlined with the pen (its width inward) and
    // filled with the brush.
    void ellipse(int left, int top, int right, int bottom);
    // The dotted focus frame: every other pixel of the frame inverted (XOR with the background
    // colour where the checkerboard anchored at 0, 0 is set, with the text colour elsewhere);
    // drawing it twice restores the pixels.
    void drawFocusRect(const Rect& r);
    // Copies w x h pixels from src at (sx, sy) to (dx, dy); pixels outside either bitmap are
    // left out.
    void bitBlt(int dx, int dy, int w, int h, const Dc& src, int sx, int sy);
    // The icon stretched over w x h at (x, y): pixels under its mask keep what was there.
    void drawIconEx(int x, int y, const Icon& icon, int w, int h);

    // Text in the selected font and the text colour; see text.h for the engine. Returns the
    // height of the text; with DT_CALCRECT measures into r and draws nothing.
    int drawText(std::u16string_view text, Rect& r, unsigned flags);

  private:
    void plot(int x, int y, Color c);
    BitmapPtr bitmap_;
    Pen pen_;
    Brush brush_;
    Font font_;
    Color textColor_ = 0;
    Color bkColor_ = 0xFFFFFF;
    BkMode bkMode_ = BkMode::Opaque;
    Point position_;
};

// 24-bit device-independent pixels: BGR bytes, rows padded to four bytes, bottom row first.
int dibStride(int width);
std::vector<std::uint8_t> getDIBits24(const Bitmap& bitmap);
// Writes a w x h block of 24-bit rows at (x, y) of the context's bitmap.
void setDIBitsToDevice(Dc& dc, int x, int y, int w, int h, const std::vector<std::uint8_t>& bits);

// The system colour table (indices 0 to 30) and its overrides.
Color sysColor(int index);
void setSysColor(int index, Color c);
void resetSysColors();
enum : int {
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_HIGHLIGHT = 13,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_BTNTEXT = 18,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
};

// An OLE colour to RGB without a palette: 0x00BBGGRR as it is, 0x800000nn the system colour
// nn, 0x02BBGGRR as RGB; nullopt for an unknown system index or form.
std::optional<Color> oleTranslateColor(std::uint32_t oleColor);

// Writes the bitmap as a 24-bit BMP file, for looking at a result by eye.
bool writeBmp(const Bitmap& bitmap, const std::filesystem::path& path);

}  // namespace platform::gdi
