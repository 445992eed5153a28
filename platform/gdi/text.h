// Text for the raster: a font engine realises a logical font into glyph metrics and one-bit
// glyph images. Two engines: FreeType through fontconfig (no anti-aliasing), and a fixed-cell
// test font whose every glyph is a known block, for tests that check exact pixels.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/gdi/gdi.h"

namespace platform::gdi {

class FontFace {
  public:
    virtual ~FontFace() = default;
    virtual int height() const = 0;  // line height in pixels
    virtual int ascent() const = 0;
    virtual int advance(char16_t c) const = 0;
    // Calls plot(x, y) for every set pixel of the glyph, relative to the pen position on the
    // baseline.
    virtual void glyph(char16_t c, const std::function<void(int, int)>& plot) const = 0;
};

// The fixed-cell test font: every character advances kCellWidth and lines are kCellHeight
// high; a visible character is the block of columns 1 to kCellWidth-2 and rows 2 to
// kCellHeight-4 of its cell (bold adds the last column), a space is empty; an underline fills
// row kCellHeight-2 of the cell.
struct TestFont {
    static constexpr int kCellWidth = 8;
    static constexpr int kCellHeight = 16;
    static constexpr int kAscent = 12;
};

// Chooses the engine for the calling thread: the test font (true) or FreeType (false, the
// default).
void useTestFont(bool on);
bool usingTestFont();

// The realised face of a logical font (cached per thread).
std::shared_ptr<const FontFace> realize(const Font& font);

// Pixel height of a point size on the screen.
int pointsToPixels(double points);

// The width of one line of text, the prefix characters handled as drawText does.
int textWidth(const Font& font, std::u16string_view text, bool prefix = true);

}  // namespace platform::gdi
