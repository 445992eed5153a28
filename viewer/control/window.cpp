#include "viewer/control/window.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/system/storefile.h"
#include "platform/text/text.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/messagebox.h"

namespace vistrel {

namespace {

namespace text = platform::text;
namespace ui = platform::ui;

std::filesystem::path pathOf(std::u16string_view s) {
    return std::filesystem::path(text::toUtf8(s));
}

// The error of a failed copy as the runtime numbers file errors.
std::pair<int, std::u16string> copyError(const std::filesystem::path& from,
                                         const std::filesystem::path& to) {
    std::error_code ec;
    const int number =
        from.empty() || !std::filesystem::is_regular_file(from, ec) ? 53
        : !std::filesystem::is_directory(to.parent_path().empty() ? "." : to.parent_path(), ec)
            ? 76
            : 75;
    return {number, text::runtimeErrorText(number)};
}

// The file the user names in a save dialog; empty when the dialog was cancelled.
std::u16string askSaveFile(const std::u16string& title, std::u16string_view filter,
                           const std::u16string& proposedName) {
    ui::FileDialogRequest request;
    request.kind = ui::FileDialogRequest::Kind::Save;
    request.title = title;
    request.filters = ui::fileFiltersOf(filter);
    request.fileName = proposedName;
    const auto answer = ui::dialogs()->fileDialog(request);
    return answer && !answer->paths.empty() ? answer->paths.front() : std::u16string();
}

}  // namespace

ViewerWindow::ViewerWindow(Viewer& viewer, std::unique_ptr<WindowView> view)
    : viewer_(viewer), view_(std::move(view)) {
    view_->connect(*this);
}

ViewerWindow::~ViewerWindow() {
    if (pages_) pages_->attach(nullptr);
}

void ViewerWindow::receivePages(std::shared_ptr<WindowPages> pages) {
    if (pages_) pages_->attach(nullptr);
    pages_ = std::move(pages);
    if (pages_) pages_->attach(this);
}

void* ViewerWindow::widget() {
    return view_->widget();
}

std::int32_t ViewerWindow::windowHandle() {
    return view_->windowHandle();
}

void ViewerWindow::setBorderStyle(std::int32_t style) {
    view_->setBorderStyle(style);
}

void ViewerWindow::setBackgroundColor(std::uint32_t oleColor) {
    view_->setBackgroundColor(oleColor);
}

void ViewerWindow::setZoomSlider(std::int32_t value) {
    if (value == slider_) return;
    view_->setZoomSlider(value);
    zoomSliderChanged(value);
}

void ViewerWindow::setPageBox(const std::u16string& text) {
    view_->setPageBox(text);
    pageBoxEdited(text);
}

void ViewerWindow::setPageCountLabel(const std::u16string& text) {
    view_->setPageCountLabel(text);
}

void ViewerWindow::setDefaultCursor() {
    view_->setWaitCursor(false);
}

void ViewerWindow::reset() {
    view_->setPicture(nullptr);
    view_->drawPicture(0, 0);
    zoom_.pageShown({});
    slider_ = PageZoom::kSliderBase;
    view_->setZoomSlider(slider_);
    view_->setZoomLabel(text::formatNumber(double(slider_)));
    view_->setZoomSliderVisible(false);
    view_->setToolbarVisible(false);
    view_->hideMeasureRect();
    view_->setMeasureTextVisible(false);
    resized();
}

void ViewerWindow::showPicture(const platform::imaging::Picture* picture,
                               const std::u16string& status) {
    view_->setPicture(picture);
    if (picture)
        zoom_.pageShown(
            {picture->width * kWindowTwipsPerPixel, picture->height * kWindowTwipsPerPixel});
    else
        zoom_.pageShown({});
    view_->setStatus(status);
    redraw();
}

void ViewerWindow::redraw() {
    view_->setWaitCursor(true);
    if (zoom_.shown())
        view_->drawPicture(zoom_.widthPixels(), zoom_.heightPixels());
    else
        view_->drawPicture(0, 0);
    view_->setWaitCursor(false);
    layoutScroll();
}

void ViewerWindow::layoutScroll() {
    const Box inner = view_->innerSize();
    const WindowLayout layout = layoutWindow(inner.width, inner.height, view_->verticalBarWidth(),
                                             view_->horizontalBarHeight());
    const std::int32_t width = zoom_.shown() ? zoom_.widthPixels() : 0;
    const std::int32_t height = zoom_.shown() ? zoom_.heightPixels() : 0;
    const ScrollLayout bars =
        layoutScrollBars(width, height, layout.area.width, layout.area.height);
    view_->setScrollBars(bars);
    // A bar whose end came nearer takes the picture with it.
    if (-left_ > bars.horizontalMax) horizontalScrolled(bars.horizontalMax);
    if (-top_ > bars.verticalMax) verticalScrolled(bars.verticalMax);
}

void ViewerWindow::afterNavigation() {
    setPageBox(text::formatNumber(double(viewer_.page())));
}

void ViewerWindow::firstPageClick() {
    viewer_.FirstPage();
    afterNavigation();
}

void ViewerWindow::previousPageClick() {
    viewer_.PreviousPage();
    afterNavigation();
}

void ViewerWindow::nextPageClick() {
    viewer_.NextPage();
    afterNavigation();
}

void ViewerWindow::lastPageClick() {
    viewer_.LastPage();
    afterNavigation();
}

void ViewerWindow::fitClick() {
    if (viewer_.fitHeight()) {
        viewer_.setFitHeight(false);
        viewer_.setFitWidth(true);
    } else {
        viewer_.setFitWidth(false);
        viewer_.setFitHeight(true);
    }
    afterNavigation();
}

void ViewerWindow::zoomInClick() {
    if (!zoom_.zoomIn()) return;
    view_->setStatus(zoom_.buttonStatus());
    redraw();
}

void ViewerWindow::zoomOutClick() {
    if (!zoom_.zoomOut()) return;
    view_->setStatus(zoom_.buttonStatus());
    redraw();
}

void ViewerWindow::zoomSliderChanged(std::int32_t value) {
    slider_ = value;
    viewer_.zoomSliderMoved(value);
    view_->setZoomLabel(text::formatNumber(double(value)));
    if (!zoom_.slide(value)) return;
    view_->setStatus(zoom_.sliderStatus(value));
    redraw();
}

void ViewerWindow::pageBoxEdited(const std::u16string& text) {
    pageBox_ = checkedPageBox(text, viewer_.pageCount());
    if (pageBox_ != text) view_->setPageBox(pageBox_);
}

void ViewerWindow::pageBoxLeft() {
    if (text::Trim(pageBox_).empty()) setPageBox(u"1");
    if (const auto page = pageOfLeftBox(pageBox_)) viewer_.setPage(*page);
    afterNavigation();
}

void ViewerWindow::horizontalScrolled(std::int32_t value) {
    left_ = -value;
    view_->movePicture(left_, top_);
}

void ViewerWindow::verticalScrolled(std::int32_t value) {
    top_ = -value;
    view_->movePicture(left_, top_);
}

void ViewerWindow::resized() {
    const Box inner = view_->innerSize();
    view_->placeParts(layoutWindow(inner.width, inner.height, view_->verticalBarWidth(),
                                   view_->horizontalBarHeight()));
    layoutScroll();
}

void ViewerWindow::printClick() {
    viewer_.printButtonClick();
}

void ViewerWindow::openClick() {
    ui::FileDialogRequest request;
    request.kind = ui::FileDialogRequest::Kind::Open;
    request.title = u"Select Image File";
    request.filters = ui::fileFiltersOf(u"Image Files (*.jpg)|*.jpg|Image Files (*.png)|*.png");
    request.multiSelect = true;
    const auto answer = ui::dialogs()->fileDialog(request);
    const std::u16string chosen =
        openImageText(answer ? answer->paths : std::vector<std::u16string>{});
    if (chosen.empty()) return;  // cancelled: the shown page stays
    if (viewer_.OpenImage(chosen, u"", 1, 100) != u"OK")
        ui::messageBox(u"Unable to open file " + chosen + u"\r\n", {}, ui::vbExclamation);
}

void ViewerWindow::savePdfClick() {
    if (!viewer_.pageLoaded()) return;
    const std::u16string chosen = text::Trim(cutAtNul(askSaveFile(
        u"Save PDF File", u"PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*", u"file.pdf")));
    if (chosen.empty()) return;
    const std::filesystem::path from = pathOf(viewer_.lastFile());
    const std::filesystem::path to = pathOf(chosen);
    std::error_code ec;
    bool copied = false;
    // Copied beside the target and renamed over it: a failed copy leaves an earlier file of
    // that name as it was, never a part of the new one.
    std::string why;
    int error = 0;
    if (!viewer_.lastFile().empty() && std::filesystem::is_regular_file(from, ec))
        copied = platform::system::copyFileAtomically(from, to, why, error);
    if (copied) {
        ui::messageBox(to.filename().u16string() + u" saved", u"File Saved");
        return;
    }
    const auto [number, description] = copyError(from, to);
    ui::messageBox(u"Unable to save file due to error " + text::formatNumber(double(number)) +
                       u" : " + description,
                   u"Save Error");
}

void ViewerWindow::savePdfAsTextClick() {
    if (!viewer_.pageLoaded()) return;
    const std::u16string chosen = text::Trim(
        cutAtNul(askSaveFile(u"Save PDF as Text File", u"Text Files (*.txt)|*.txt", u"file.txt")));
    if (chosen.empty()) return;
    if (viewer_.SavePageAsText(chosen))
        ui::messageBox(u"PDF saved as " + chosen, u"File Saved");
    else
        ui::messageBox(u"Unable to save PDF as text file", u"Save Error");
}

void ViewerWindow::testPageClick() {
    const std::u16string mode = u"SEEDHEX";
    viewer_.OpenImage(testPageAddress(mode), u"", 1, 100);
}

void ViewerWindow::measureTextToggleClick() {
    view_->setMeasureTextVisible(!view_->measureTextVisible());
}

void ViewerWindow::availablePrinterClick() {
    viewer_.AvailablePrinter();
}

void ViewerWindow::measureChecked(bool on) {
    measuring_ = on;
    if (!on) {
        dragging_ = false;
        view_->hideMeasureRect();
    }
}

Box ViewerWindow::shownRect() const {
    const auto whole = [](double v) { return static_cast<std::int32_t>(v + 0.5); };
    return {whole(drawn_.left), whole(drawn_.top), whole(drawn_.width), whole(drawn_.height)};
}

void ViewerWindow::pageMouseDown(double x, double y) {
    if (!measuring_) return;
    dragging_ = true;
    dragX_ = x;
    dragY_ = y;
    drawn_ = rectBetween(x, y, x, y);
    view_->showMeasureRect(shownRect());
}

void ViewerWindow::pageMouseMove(double x, double y) {
    if (!measuring_ || !dragging_) return;
    drawn_ = rectBetween(dragX_, dragY_, x, y);
    view_->showMeasureRect(shownRect());
}

void ViewerWindow::pageMouseUp(double x, double y) {
    if (!measuring_ || !dragging_) return;
    dragging_ = false;
    drawn_ = rectBetween(dragX_, dragY_, x, y);
    // The rectangle in the page picture's own pixels: the zoom taken out.
    const double sx = zoom_.shown() ? zoom_.own().width / zoom_.current().width : 1;
    const double sy = zoom_.shown() ? zoom_.own().height / zoom_.current().height : 1;
    const MeasuredRect own{drawn_.left * sx, drawn_.top * sy, drawn_.width * sx,
                           drawn_.height * sy};
    view_->setMeasureText(pagePointsOf(own));
    const Box shown = shownRect();
    view_->moveMeasureText(shown.left + shown.width, shown.top);
    view_->setMeasureTextVisible(true);
    view_->hideMeasureRect();
}

void ViewerWindow::measureTextDoubleClicked() {
    view_->setClipboardText(barcodeClipboardText(view_->measureText()));
    view_->setMeasureTextVisible(false);
}

void ViewerWindow::measureTextDropped(std::int32_t left, std::int32_t top) {
    view_->moveMeasureText(left, top);
}

void WindowPages::showPicture(const platform::imaging::Picture* picture,
                              const std::u16string& status) {
    if (window_) window_->showPicture(picture, status);
}

ViewerParts windowParts(std::function<std::unique_ptr<WindowView>()> makeView,
                        std::function<void(ViewerWindow&)> made) {
    ViewerParts parts;
    auto pages = std::make_shared<WindowPages>();
    parts.pages = pages;
    parts.face = [pages, makeView = std::move(makeView),
                  made = std::move(made)](Viewer& viewer) -> std::unique_ptr<ViewerFace> {
        auto view = makeView ? makeView() : nullptr;
        if (!view) return nullptr;
        auto window = std::make_unique<ViewerWindow>(viewer, std::move(view));
        window->receivePages(pages);
        if (made) made(*window);
        return window;
    };
    return parts;
}

}  // namespace vistrel
