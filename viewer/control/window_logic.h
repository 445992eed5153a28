// The rules of the viewer's own window, without widgets: the zoom of the shown page by buttons
// and slider (with its bounds), the page box, the resize layout, the rectangle-measuring aid,
// and the texts the open, save and test buttons build.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vistrel {

// Twips per screen pixel, the unit of a page's size in the window's status text.
inline constexpr float kWindowTwipsPerPixel = 15;

// A page picture's size in twips.
struct PageSize {
    float width = 0;
    float height = 0;
    bool operator==(const PageSize&) const = default;
};

// Whether a zoomed size may be shown: every side at least one pixel, and no side beyond
// kMaxZoomSidePixels and no more than kMaxZoomPixels in all (a page bitmap of at most
// 128 MiB), unless the size is no larger than the page's own size in both directions.
inline constexpr std::int32_t kMaxZoomSidePixels = 16384;
inline constexpr double kMaxZoomPixels = 32.0 * 1024 * 1024;
bool zoomWithinBounds(PageSize size, PageSize own);

// The zoom of the shown page. Each button click scales the current size by the step (so in and
// out again does not return exactly: 1.05 x 0.95 = 0.9975) and counts the level; the slider sets
// the size from the page's own size and its value over the slider base, and leaves the level.
class PageZoom {
  public:
    static constexpr float kStep = 0.05f;
    static constexpr std::int16_t kSliderBase = 200;

    // A page was shown at its own size (nothing shown: a zero size).
    void pageShown(PageSize own);
    // False, and nothing changes, when no page is shown or the step would leave the bounds.
    bool zoomIn();
    bool zoomOut();
    // False when no page is shown. A value whose size would leave the bounds is taken to the
    // nearest size inside them, keeping the page's aspect.
    bool slide(std::int32_t value);

    PageSize own() const { return own_; }
    PageSize current() const { return current_; }
    std::int16_t level() const { return level_; }
    bool shown() const { return own_.width > 0 && own_.height > 0; }
    // The current size in whole pixels, at least one.
    std::int32_t widthPixels() const;
    std::int32_t heightPixels() const;

    // The status line after a button ("Width:... Height:... Zoom 1:level") and after the slider
    // ("... Zoom:value"); both give the page's own size.
    std::u16string buttonStatus() const;
    std::u16string sliderStatus(std::int32_t value) const;

  private:
    bool step(bool in);
    PageSize own_;
    PageSize current_;
    std::int16_t level_ = 0;
};

// Twips as whole pixels, at least one.
std::int32_t pixelsOf(float twips);

// The page box after an edit: the text itself, or empty when it is not a number from 1 to the
// page count.
std::u16string checkedPageBox(std::u16string_view text, std::int32_t pageCount);
// The page a left page box asks for: an empty (or blank) box asks for page 1; nullopt for a
// text that is no page number.
std::optional<std::int32_t> pageOfLeftBox(std::u16string_view text);

// The window's parts after a resize, in pixels: the page area at the origin, the vertical bar
// at its right and the horizontal bar below it, a small gap left at the right and bottom.
struct Box {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Box&) const = default;
};
struct WindowLayout {
    Box area;
    Box verticalBar;
    Box horizontalBar;
};
inline constexpr std::int32_t kAreaGapPixels = 4;  // 56 twips, to whole pixels
WindowLayout layoutWindow(std::int32_t innerWidth, std::int32_t innerHeight,
                          std::int32_t verticalBarWidth, std::int32_t horizontalBarHeight);

// The rectangle-measuring aid. A rectangle drawn on the page is measured in the page picture's
// own pixels (the zoom taken out), and a page image is taken to be scanned at 100 dots per inch:
// one pixel is 0.72 point, and an A4 page (1169 pixels high) is 842 points high. The result is
// "x,y,width,height" in points with the origin at the bottom-left corner of an 842-point page,
// each rounded to a whole number (halves to even).
struct MeasuredRect {
    double left = 0, top = 0, width = 0, height = 0;
};
// The rectangle between two corners, in any order.
MeasuredRect rectBetween(double x1, double y1, double x2, double y2);
std::u16string pagePointsOf(const MeasuredRect& pixels);
// The text the aid puts on the clipboard.
std::u16string barcodeClipboardText(std::u16string_view points);

// The text up to the first NUL (all of it when there is none).
std::u16string cutAtNul(std::u16string_view text);

// The open dialog's choice as OpenImage takes it: one file whole; several files of one folder
// as the folder (ending with the separator) and the names, separated by blanks.
std::u16string openImageText(const std::vector<std::u16string>& files);

// The developer test page's address with the encryption type the mode word chooses.
std::u16string testPageAddress(std::u16string_view mode);

}  // namespace vistrel
