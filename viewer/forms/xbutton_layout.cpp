// The button's geometry: its size and surface, the window region of its type, where the
// caption and the picture go, and the copy of the parent behind a transparent button.
#include "viewer/forms/xbutton.h"

namespace vistrel::forms {

namespace gdi = platform::gdi;
namespace window = platform::window;

void XButton::onResize() {
    if (capturing_) return;
    const Rect r = window::windowRect(hwnd_);
    buttonRect_ = {0, 0, r.width(), r.height()};
    height_ = buttonRect_.bottom;
    width_ = buttonRect_.right;
    if (surface_->width() != width_ || surface_->height() != height_) {
        surface_ = std::make_shared<gdi::Bitmap>(width_, height_);
        dc_.selectBitmap(surface_);
        // The background copy follows the new size.
        if (background_) {
            background_.reset();
            if (btnType_ == ButtonType::Transparent) {
                ensureBackground();
                captureParentBackground();
            }
        }
    }
    switch (btnType_) {
        case ButtonType::ThinEdge:
        case ButtonType::HoverEdge:
        case ButtonType::Selection:
        case ButtonType::FaceOnly:
        case ButtonType::Transparent:
        case ButtonType::HoverBevel:
        case ButtonType::Round:
            buttonRect_ = buttonRect_.inflate(-3, -3);
            break;
        case ButtonType::Gradient:
            buttonRect_ = buttonRect_.inflate(-5, -5).offset(1, 1);
            break;
        default:
            buttonRect_ = buttonRect_.inflate(-4, -4);
            break;
    }
    layoutCaption();
    buildRegion();
    if (height_ != 0) paint(0, true);
}

void XButton::buildRegion() {
    const int W = width_;
    const int H = height_;
    gdi::Region region = gdi::Region::rect({0, 0, W, H});
    auto remove = [&](int l, int t, int r, int b) {
        region = gdi::Region::combine(region, gdi::Region::rect({l, t, r, b}), gdi::Combine::Diff);
    };
    switch (btnType_) {
        case ButtonType::Framed:
        case ButtonType::Gradient:
            remove(0, H - 1, 1, H);
            remove(W - 1, 0, W, 1);
            remove(0, 0, 1, 1);
            remove(W - 1, H - 1, W, H);
            break;
        case ButtonType::Flat:
            remove(0, H - 1, 1, H);
            remove(W - 1, 0, W, 1);
            break;
        case ButtonType::Shaded:
        case ButtonType::HeavyFrame:
            remove(0, 0, 2, 1);
            remove(0, H - 1, 2, H);
            remove(W - 2, 0, W, 1);
            remove(W - 2, H - 1, W, H);
            remove(0, 1, 1, 2);
            remove(0, H - 2, 1, H - 1);
            remove(W - 1, 1, W, 2);
            remove(W - 1, H - 2, W, H - 1);
            break;
        case ButtonType::Round:
            region = gdi::Region::ellipse({0, 0, W, H});
            break;
        default:
            break;
    }
    // The window takes the region and owns it from here on.
    window::setWindowRegion(hwnd_, std::move(region));
}

void XButton::layoutCaption() {
    Rect r = textRect_;
    const int W = width_;
    const int H = height_;
    switch (picturePos_) {
        case PicturePosition::Left:
            r = {picW_ + 1, 1, W - 2, H - 2};
            break;
        case PicturePosition::Right:
            r = {1, 1, W - 2 - picW_, H - 2};
            break;
        case PicturePosition::Top:
            r = {1, picH_ + 1, W - 2, H - 2};
            break;
        case PicturePosition::Bottom:
            r = {1, 1, W - 2, H - 2 - picH_};
            break;
        case PicturePosition::Behind:
            r = {1, 1, W - 2, H - 2};
            break;
        default:
            break;
    }
    dc_.selectFont(font_);
    dc_.drawText(caption_, r, gdi::DT_CALCRECT | gdi::DT_WORDBREAK);
    textRect_ = r;
    textWidth_ = r.width();
    textHeight_ = r.height();
    switch (picturePos_) {
        case PicturePosition::Left:
        case PicturePosition::Top:
        case PicturePosition::Behind:
            textRect_ = r.offset((W - r.right) / 2, (H - r.bottom) / 2);
            break;
        case PicturePosition::Right:
            textRect_ = r.offset((W - r.right - picW_ - 4) / 2, (H - r.bottom) / 2);
            break;
        case PicturePosition::Bottom:
            textRect_ = r.offset((W - r.right) / 2, (H - r.bottom - picH_ - 4) / 2);
            break;
        default:
            break;
    }
    textRectDown_ = textRect_.offset(1, 1);
    layoutPicture();
}

void XButton::layoutPicture() {
    if (!pictureNormal_ && !pictureOver_) return;
    std::u16string trimmed = caption_;
    trimmed.erase(0, trimmed.find_first_not_of(u' '));
    while (!trimmed.empty() && trimmed.back() == u' ') trimmed.pop_back();
    if (!trimmed.empty() && picturePos_ != PicturePosition::Behind) {
        switch (picturePos_) {
            case PicturePosition::Left:
                picX_ = textRect_.left - picW_ - 4;
                picY_ = (height_ - picH_) / 2;
                break;
            case PicturePosition::Right:
                picX_ = textRect_.right + 4;
                picY_ = (height_ - picH_) / 2;
                break;
            case PicturePosition::Top:
                picX_ = (width_ - picW_) / 2;
                picY_ = textRect_.top - picH_ - 2;
                break;
            case PicturePosition::Bottom:
                picX_ = (width_ - picW_) / 2;
                picY_ = textRect_.bottom + 2;
                break;
            default:
                break;
        }
    } else {
        picX_ = (width_ - picW_) / 2;
        picY_ = (height_ - picH_) / 2;
    }
}

void XButton::measurePicture() {
    if (!pictureNormal_) {
        picW_ = picH_ = 0;
        return;
    }
    picW_ = gdi::himetricToPixels(pictureNormal_->himetricWidth);
    picH_ = gdi::himetricToPixels(pictureNormal_->himetricHeight);
}

void XButton::ensureBackground() {
    if (!background_) background_ = gdi::createCompatibleBitmap(width_, height_);
}

void XButton::captureParentBackground() {
    capturing_ = true;
    // The parent is painted without the control for the copy.
    window::setVisible(hwnd_, false);
    if (const gdi::BitmapPtr parent = host_.parentSurface(); parent && background_) {
        // The control's place in the parent, in pixels.
        const Rect place = window::windowRect(hwnd_);
        gdi::Dc src(parent);
        gdi::Dc dst(background_);
        dst.bitBlt(0, 0, width_, height_, src, place.left, place.top);
    }
    window::setVisible(hwnd_, true);
    capturing_ = false;
}

}  // namespace vistrel::forms
