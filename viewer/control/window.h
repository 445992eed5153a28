// The viewer control's own window: the handlers of its toolbar, page box, zoom slider, scroll
// bars and page area, its layout on resize, the open and save buttons with their file dialogs,
// and the rectangle-measuring aid. The logic talks to the viewer through its members and to the
// widgets through WindowView, so it runs and is tested without Qt; the Qt view only shows what
// it is told and reports the user's input.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "viewer/control/parts.h"
#include "viewer/control/viewer.h"
#include "viewer/control/window_logic.h"

namespace vistrel {

class ViewerWindow;
class WindowPages;

// The widgets. Positions and sizes are pixels; setting a value shows it without reporting it
// back as the user's input.
class WindowView {
  public:
    virtual ~WindowView() = default;
    // The view reports the user's input to this window from now on.
    virtual void connect(ViewerWindow& window) = 0;

    virtual void* widget() = 0;
    virtual std::int32_t windowHandle() = 0;
    virtual void setBorderStyle(std::int32_t style) = 0;
    virtual void setBackgroundColor(std::uint32_t oleColor) = 0;
    virtual void setWaitCursor(bool on) = 0;

    // The toolbar frame and, in it, the zoom slider with its label, the page box, the page
    // count and the status line.
    virtual void setToolbarVisible(bool on) = 0;
    virtual void setZoomSliderVisible(bool on) = 0;
    virtual void setZoomSlider(std::int32_t value) = 0;
    virtual void setZoomLabel(const std::u16string& text) = 0;
    virtual void setPageBox(const std::u16string& text) = 0;
    virtual void setPageCountLabel(const std::u16string& text) = 0;
    virtual void setStatus(const std::u16string& text) = 0;

    // The page picture (nullptr: none), then drawn stretched to a size. The view may read the
    // picture's pixels in place until the next picture is set: the viewer keeps it alive.
    virtual void setPicture(const platform::imaging::Picture* picture) = 0;
    virtual void drawPicture(std::int32_t width, std::int32_t height) = 0;
    virtual void movePicture(std::int32_t left, std::int32_t top) = 0;

    // The control's inner size, the page area's, and the scroll bars'.
    virtual Box innerSize() = 0;  // width and height only
    virtual std::int32_t verticalBarWidth() = 0;
    virtual std::int32_t horizontalBarHeight() = 0;
    virtual void placeParts(const WindowLayout& layout) = 0;
    virtual void setScrollBars(const ScrollLayout& layout) = 0;

    // The measuring aid: its rectangle on the page, and its text box.
    virtual void showMeasureRect(const Box& rect) = 0;
    virtual void hideMeasureRect() = 0;
    virtual void setMeasureText(const std::u16string& text) = 0;
    virtual std::u16string measureText() = 0;
    virtual void moveMeasureText(std::int32_t left, std::int32_t top) = 0;
    virtual void setMeasureTextVisible(bool on) = 0;
    virtual bool measureTextVisible() = 0;
    // Empties the clipboard and puts the text on it.
    virtual void setClipboardText(const std::u16string& text) = 0;
};

class ViewerWindow : public ViewerFace, public PageDisplay {
  public:
    ViewerWindow(Viewer& viewer, std::unique_ptr<WindowView> view);
    ~ViewerWindow() override;

    // ViewerFace
    void* widget() override;
    std::int32_t windowHandle() override;
    void setBorderStyle(std::int32_t style) override;
    void setBackgroundColor(std::uint32_t oleColor) override;
    void setZoomSlider(std::int32_t value) override;
    void setPageBox(const std::u16string& text) override;
    void setPageCountLabel(const std::u16string& text) override;
    void setDefaultCursor() override;
    void reset() override;
    // PageDisplay
    void showPicture(const platform::imaging::Picture* picture,
                     const std::u16string& status) override;

    // The user's input.
    void firstPageClick();
    void previousPageClick();
    void nextPageClick();
    void lastPageClick();
    void fitClick();
    void zoomInClick();
    void zoomOutClick();
    void zoomSliderChanged(std::int32_t value);
    void pageBoxEdited(const std::u16string& text);
    void pageBoxLeft();
    void horizontalScrolled(std::int32_t value);
    void verticalScrolled(std::int32_t value);
    void resized();
    void printClick();
    void openClick();
    void savePdfClick();
    void savePdfAsTextClick();
    void testPageClick();
    void measureTextToggleClick();
    void availablePrinterClick();
    void measureChecked(bool on);
    // Mouse positions on the shown page, in its shown pixels.
    void pageMouseDown(double x, double y);
    void pageMouseMove(double x, double y);
    void pageMouseUp(double x, double y);
    void measureTextDoubleClicked();
    void measureTextDropped(std::int32_t left, std::int32_t top);

    // The pages the viewer shows come to this window while it lives.
    void receivePages(std::shared_ptr<WindowPages> pages);

    const PageZoom& zoom() const { return zoom_; }
    std::int32_t zoomSlider() const { return slider_; }
    std::u16string pageBox() const { return pageBox_; }

  private:
    void redraw();
    void layoutScroll();
    void afterNavigation();
    Box shownRect() const;

    Viewer& viewer_;
    std::unique_ptr<WindowView> view_;
    std::shared_ptr<WindowPages> pages_;
    PageZoom zoom_;
    std::int32_t slider_ = PageZoom::kSliderBase;
    std::u16string pageBox_;
    std::int32_t left_ = 0, top_ = 0;
    bool measuring_ = false;
    bool dragging_ = false;
    double dragX_ = 0, dragY_ = 0;
    MeasuredRect drawn_;
};

// The pages the viewer shows reach the window once it exists (the viewer makes its face when a
// host first asks for its widget).
class WindowPages : public PageDisplay {
  public:
    void attach(ViewerWindow* window) { window_ = window; }
    void showPicture(const platform::imaging::Picture* picture,
                     const std::u16string& status) override;

  private:
    ViewerWindow* window_ = nullptr;
};

// Parts whose face is a ViewerWindow over the views `makeView` makes (nullptr: no face);
// `made` hears of each window made.
ViewerParts windowParts(std::function<std::unique_ptr<WindowView>()> makeView,
                        std::function<void(ViewerWindow&)> made = {});

}  // namespace vistrel
