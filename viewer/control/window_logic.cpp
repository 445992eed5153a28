#include "viewer/control/window_logic.h"

#include <algorithm>
#include <cmath>

#include "platform/text/text.h"

namespace vistrel {

namespace {

namespace text = platform::text;

constexpr float kMinSide = kWindowTwipsPerPixel;  // one pixel
constexpr double kMaxSide = double(kMaxZoomSidePixels) * kWindowTwipsPerPixel;
constexpr double kMaxArea = kMaxZoomPixels * kWindowTwipsPerPixel * kWindowTwipsPerPixel;

std::u16string sizeText(float twips) {
    return text::formatNumber(static_cast<double>(twips));
}

}  // namespace

bool zoomWithinBounds(PageSize size, PageSize own) {
    if (!(size.width >= kMinSide && size.height >= kMinSide)) return false;
    if (size.width <= own.width && size.height <= own.height) return true;
    return size.width <= kMaxSide && size.height <= kMaxSide &&
           double(size.width) * double(size.height) <= kMaxArea;
}

void PageZoom::pageShown(PageSize own) {
    own_ = current_ = own;
    level_ = 0;
}

bool PageZoom::step(bool in) {
    if (!shown()) return false;
    const float step = kStep;
    PageSize next;
    if (in) {
        next.height = current_.height * step + current_.height;
        next.width = current_.width * step + current_.width;
    } else {
        next.height = current_.height - current_.height * step;
        next.width = current_.width - current_.width * step;
    }
    if (!zoomWithinBounds(next, own_)) return false;
    current_ = next;
    level_ = static_cast<std::int16_t>(level_ + (in ? 1 : -1));
    return true;
}

bool PageZoom::zoomIn() {
    return step(true);
}

bool PageZoom::zoomOut() {
    return step(false);
}

bool PageZoom::slide(std::int32_t value) {
    if (!shown()) return false;
    PageSize next{static_cast<float>(double(value) * own_.width / kSliderBase),
                  static_cast<float>(double(value) * own_.height / kSliderBase)};
    if (!zoomWithinBounds(next, own_)) {
        const double w = own_.width, h = own_.height;
        const double lower = std::max(kMinSide / w, kMinSide / h);
        const double upper =
            std::max(1.0, std::min({kMaxSide / w, kMaxSide / h, std::sqrt(kMaxArea / (w * h))}));
        const double scale = std::clamp(double(value) / kSliderBase, lower, upper);
        next = {static_cast<float>(scale * w), static_cast<float>(scale * h)};
        // Single precision may land a hair outside; the bound itself is inside.
        next.width = std::max(next.width, kMinSide);
        next.height = std::max(next.height, kMinSide);
    }
    current_ = next;
    return true;
}

std::int32_t pixelsOf(float twips) {
    const double px = std::round(double(twips) / kWindowTwipsPerPixel);
    return px < 1 ? 1 : static_cast<std::int32_t>(std::min(px, 2147483647.0));
}

std::int32_t PageZoom::widthPixels() const {
    return pixelsOf(current_.width);
}

std::int32_t PageZoom::heightPixels() const {
    return pixelsOf(current_.height);
}

std::u16string PageZoom::buttonStatus() const {
    return u"Width:" + sizeText(own_.width) + u"    Height:" + sizeText(own_.height) +
           u"   Zoom 1:" + text::formatNumber(double(level_));
}

std::u16string PageZoom::sliderStatus(std::int32_t value) const {
    return u"Width:" + sizeText(own_.width) + u"    Height:" + sizeText(own_.height) + u"   Zoom:" +
           text::formatNumber(double(value));
}

std::u16string checkedPageBox(std::u16string_view box, std::int32_t pageCount) {
    try {
        if (!text::IsNumeric(box)) return {};
        const double value = text::Val(box);
        if (value < 1 || value > pageCount) return {};
        return std::u16string(box);
    } catch (...) {
        return {};
    }
}

std::optional<std::int32_t> pageOfLeftBox(std::u16string_view box) {
    const std::u16string trimmed = text::Trim(box);
    if (trimmed.empty()) return 1;
    try {
        return text::CLng(trimmed);
    } catch (...) {
        return std::nullopt;
    }
}

WindowLayout layoutWindow(std::int32_t innerWidth, std::int32_t innerHeight,
                          std::int32_t verticalBarWidth, std::int32_t horizontalBarHeight) {
    WindowLayout layout;
    layout.area = {0, 0, std::max(0, innerWidth - verticalBarWidth - kAreaGapPixels),
                   std::max(0, innerHeight - horizontalBarHeight - kAreaGapPixels)};
    layout.verticalBar = {layout.area.left + layout.area.width, layout.area.top, verticalBarWidth,
                          layout.area.height};
    layout.horizontalBar = {layout.area.left, layout.area.top + layout.area.height,
                            layout.area.width, horizontalBarHeight};
    return layout;
}

MeasuredRect rectBetween(double x1, double y1, double x2, double y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1)};
}

std::u16string pagePointsOf(const MeasuredRect& r) {
    constexpr double kPointsPerPixel = 0.72;
    constexpr double kPageHeight = 842;
    const auto whole = [](double v) { return text::formatNumber(text::roundHalfEven(v)); };
    return whole(r.left * kPointsPerPixel) + u"," +
           whole(kPageHeight - r.top * kPointsPerPixel - r.height * kPointsPerPixel) + u"," +
           whole(r.width * kPointsPerPixel) + u"," + whole(r.height * kPointsPerPixel);
}

std::u16string barcodeClipboardText(std::u16string_view points) {
    return u"barcodeXY = new int[] {" + std::u16string(points) + u"};";
}

std::u16string cutAtNul(std::u16string_view s) {
    return std::u16string(s.substr(0, s.find(u'\0')));
}

std::u16string openImageText(const std::vector<std::u16string>& files) {
    if (files.empty()) return {};
    if (files.size() == 1) return files.front();
    const auto folderOf = [](const std::u16string& file) {
        const auto cut = file.find_last_of(u'/');
        return cut == std::u16string::npos ? std::u16string() : file.substr(0, cut + 1);
    };
    const std::u16string folder = folderOf(files.front());
    std::u16string out = folder;
    for (const auto& file : files) {
        if (folderOf(file) != folder) continue;
        out += u' ';
        out += file.substr(folder.size());
    }
    return out;
}

std::u16string testPageAddress(std::u16string_view mode) {
    std::u16string address = u"http://localhost:8080/tessel/test/viewer_page.jsp?docno=0001";
    const std::u16string word = text::LCase(mode);
    if (word == u"seed")
        address += u"&crypttype=s";
    else if (word == u"seedhex")
        address += u"&crypttype=shex";
    else
        address += u"&crypttype=seed";
    return address;
}

}  // namespace vistrel
