// The viewer's page images and its print road: the page list of a run, decoding on demand,
// showing a page, printer availability, the run itself and printing every page.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <utility>

#include "platform/print/print.h"
#include "platform/spooler/spooler.h"
#include "platform/system/givenfile.h"
#include "platform/text/text.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/notice.h"
#include "viewer/control/viewer.h"
#include "viewer/log/log.h"
#include "viewer/selection/enumeration.h"
#include "viewer/selection/ports.h"
#include "viewer/selection/vplist.h"
#include "viewer/state/module_state.h"

namespace vistrel {

namespace {

namespace text = platform::text;
namespace imaging = platform::imaging;
namespace print = platform::print;

// Screen twips per pixel, in which the status text gives a picture's size.
constexpr float kTwipsPerPixel = 15;

std::filesystem::path pathOf(std::u16string_view s) {
    return std::filesystem::path(text::toUtf8(s));
}

bool exists(std::u16string_view name) {
    std::error_code ec;
    return std::filesystem::exists(pathOf(name), ec);
}

bool isFile(std::u16string_view name) {
    std::error_code ec;
    return !name.empty() && std::filesystem::is_regular_file(pathOf(name), ec);
}

// A page file is read only when it is a regular file of at most kPageFileLimit bytes: a named
// pipe or a device never holds the viewer up.
std::optional<std::vector<std::uint8_t>> readWhole(std::u16string_view name) {
    std::string read;
    platform::system::GivenFileError failure;
    if (!platform::system::readGivenFile(pathOf(name), kPageFileLimit, read, failure))
        return std::nullopt;
    return std::vector<std::uint8_t>(read.begin(), read.end());
}

std::u16string sizeText(float twips) {
    return text::formatNumber(static_cast<double>(twips));
}

}  // namespace

std::optional<imaging::Picture> decodePageText(std::u16string_view pageText) {
    auto bytes = text::fromHex(pageText);
    if (!bytes) bytes = text::fromBase64(pageText);
    if (!bytes) return std::nullopt;
    return imaging::loadPicture(*bytes, kPageFill);
}

FittedSize fitToArea(double pictureWidth, double pictureHeight, double areaWidth,
                     double areaHeight) {
    const double pictureAspect = pictureWidth / pictureHeight;
    const double paperAspect = areaWidth / areaHeight;
    if (pictureAspect >= paperAspect) return {areaWidth, areaWidth / pictureAspect};
    return {areaHeight * pictureAspect, areaHeight};
}

bool PrintPagePicture(print::Printer& printer, const imaging::Picture& picture) {
    const auto wanted = picture.height >= picture.width ? print::Orientation::Portrait
                                                        : print::Orientation::Landscape;
    // A printer that keeps its orientation prints the page in the one it has.
    if (printer.orientation() != wanted) printer.setOrientation(wanted);
    const print::AreaHiMetric area = printer.printableArea();
    const FittedSize drawn = fitToArea(picture.width, picture.height, area.width, area.height);
    return printer.drawPicture(picture, 0, 0, drawn.width, drawn.height);
}

// ---- page images ----

PagePictures& Viewer::picturesOfList() {
    const auto& list = viewerState().PageImageList;
    if (!pictures_ || pictures_->list() != list)
        pictures_ = std::make_unique<PagePictures>(
            list, parts_.pageDecoding.value_or(PageDecoding::defaults()), kPageFill);
    return *pictures_;
}

// The order a printing run wants its pages' pictures in: the walk shows every page, then the
// print takes them again. What the walk decoded is printed without decoding it again as far as
// the budget holds it; the pages it could not keep are decoded again for the print.
static std::vector<std::int32_t> walkThenPrint(std::int32_t count) {
    std::vector<std::int32_t> order;
    for (int pass = 0; pass < 2; ++pass)
        for (std::int32_t page = 1; page <= count; ++page) order.push_back(page);
    return order;
}

void Viewer::pagesReplaced() {
    // The old list and its pictures go before the new list is kept, so the two are never held
    // at once; a run under way keeps its own.
    viewerState().PageImageList.reset();
    if (!busy_) pictures_.reset();
}

void Viewer::pagesArrived() {
    // A run under way keeps its document; the next run takes the new list.
    if (busy_) return;
    const auto& list = viewerState().PageImageList;
    if (!list || list->empty()) return;
    PagePictures& pictures = picturesOfList();
    pictures.plan(walkThenPrint(pictures.count()));
}

void Viewer::showPage(std::int32_t page) {
    if (!pictures_ || page < 1 || page > pictures_->count()) return;
    const PagePictures::Page taken = pictures_->take(page);
    if (taken.outcome == PagePictures::Outcome::Undecodable ||
        taken.outcome == PagePictures::Outcome::TooLarge)
        WriteLog(u"페이지 " + text::formatNumber(double(page)) + u" 이미지를 읽을 수 없습니다.", 1);
    showPicture(taken.picture);
    pageShown(page, 100);
}

void Viewer::showPicture(PicturePtr picture) {
    const std::int32_t width = picture ? picture->width : 0;
    const std::int32_t height = picture ? picture->height : 0;
    showPicture(std::move(picture), width, height);
}

void Viewer::showPicture(PicturePtr picture, std::int32_t pixelWidth, std::int32_t pixelHeight) {
    const float width = static_cast<float>(pixelWidth) * kTwipsPerPixel;
    const float height = static_cast<float>(pixelHeight) * kTwipsPerPixel;
    initialWidth_ = currentWidth_ = width;
    initialHeight_ = currentHeight_ = height;
    zoomLevel_ = 0;
    const std::u16string status = u"Width:" + sizeText(width) + u"    Height:" + sizeText(height) +
                                  u"   Zoom 1:" + text::formatNumber(double(zoomLevel_));
    // The picture shown before stays until the display has let go of it.
    const PicturePtr before = std::exchange(shown_, picture);
    if (parts_.pages) parts_.pages->showPicture(picture.get(), status);
}

std::u16string Viewer::OpenArrImage(std::int32_t page, std::int32_t zoom) {
    const std::int32_t count = pictures_ ? pictures_->count() : -1;
    if (page < 0 || page > count) return {};
    // A page decoded once shows its picture again (decoded anew if it was given up since).
    PicturePtr picture;
    if (pictures_->decodedOnce(page)) picture = pictures_->take(page).picture;
    showPicture(std::move(picture));
    pageShown(page, zoom);
    return u"OK";
}

// The page on screen is `page`: the page controls follow and the host hears of it.
void Viewer::pageShown(std::int32_t page, std::int32_t zoom) {
    currentPage_ = page;
    zoomValue_ = zoom;
    pageLoaded_ = true;
    if (face_) {
        face_->setPageCountLabel(u"/ " + text::formatNumber(double(pageCount_)));
        face_->setPageBox(text::formatNumber(double(currentPage_)));
    }
    fire(event::LoadCompleted, {});
}

std::u16string Viewer::OpenImage(const std::u16string& file, const std::u16string& folder,
                                 std::int32_t page, std::int32_t zoom) {
    // The page files: a whole existing file, or a folder prefix and files split on blanks.
    std::vector<std::u16string> items;
    std::u16string name;
    if (isFile(folder + file) || file.find(u' ') == std::u16string::npos) {
        items = {u"", folder + file};
        name = items[1];
    } else {
        items = text::Split(file, u" ");
        if (items.size() < 2) return {};
        name = items[0] + items[1];
    }
    const auto count = static_cast<std::int32_t>(items.size() - 1);
    name = text::Trim(name);
    if (!name.empty() && !exists(name)) return {};
    if (name.empty()) {
        if (lastFile_.empty() || !exists(lastFile_)) return {};
        items = {u"", lastFile_};
        name = lastFile_;
    }
    pageLoaded_ = false;
    if (zoom < 1) zoom = lastZoom_ > 0 ? lastZoom_ : 100;
    const std::int32_t current = page >= 1 && page <= count ? page : 1;
    const std::u16string chosen =
        items.size() == 2 ? name : items[0] + items[static_cast<std::size_t>(current)];
    const auto bytes = readWhole(chosen);
    if (!bytes) return {};
    auto picture = imaging::loadPicture(*bytes, kPageFill);
    if (!picture) return {};

    showPicture(std::make_shared<const imaging::Picture>(std::move(*picture)));
    pageCount_ = count;
    fromPictures_ = false;
    lastFile_ = name;
    lastZoom_ = zoom;
    pageShown(current, zoom);
    return u"OK";
}

// ---- the print road ----

void Viewer::yield() {
    if (parts_.yield) parts_.yield();
}

void Viewer::printResult(bool printed) {
    fire(event::PrintResult, {com::Variant(printed)});
}

// A run that ends without printing says why, in one line: in the step log and as a notice to
// whoever runs the program (the issuing server's log), before PrintResult tells the host.
void Viewer::notPrinted(const std::u16string& why) {
    WriteLog(why, 1);
    platform::ui::notice(why);
    printResult(false);
}

// A print error: its line, PrintResult, then the failure box.
void Viewer::printFailed(const std::u16string& description) {
    notPrinted(u"인쇄 실패: " + description);
    platform::ui::messageBox(u"인쇄 실패\r\n" + description, {}, 16);
}

bool Viewer::AvailablePrinter() {
    // The port table and the printer list come from one listing of the spooler.
    platform::spooler::ListingScope listing;
    WriteLog(u"프린터 포트 점검 시작: GetAvailableprts", 1);
    yield();
    std::u16string server;
    GetAvailableprts(server);
    WriteLog(u"프린터 포트 점검 완료: GetAvailableprts", 1);
    WriteLog(u"가상 프린터 포트 점검 시작: SetVirtualPrinter", 1);
    yield();
    bool virtualList = false;
    try {
        virtualList = SetVirtualPrinter();
    } catch (...) {
        virtualList = false;
    }
    if (!virtualList) WriteLog(u"가상 프린터 목록을 읽을 수 없습니다.", 1);
    WriteLog(u"가상 프린터 포트 점검 완료: SetVirtualPrinter", 1);
    WriteLog(u"프린터 목록 확인 시작: GetAllPrinters", 1);
    std::u16string message;
    // A spooler whose printers cannot be listed has no printer available, as a stopped print
    // spooler has none: the host does not run the viewer. Why the listing failed stays with the
    // spooler (platform::spooler::serverFailure) for the host to tell.
    if (!GetAllPrinters(message)) return false;
    WriteLog(u"프린터 목록 확인 완료: GetAllPrinters", 1);
    return virtualList;
}

void Viewer::RunViewer(bool printing) {
    if (busy_) {
        WriteLog(u"실행 중인 발급이 있어 RunViewer를 무시합니다.", 1);
        return;
    }
    busy_ = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{busy_};

    const auto& list = viewerState().PageImageList;
    if (!list || list->empty()) {
        // No pages: the previous document must not be printed again.
        pictures_.reset();
        pageCount_ = 0;
        currentPage_ = 0;
        pageLoaded_ = false;
        if (parts_.pages) parts_.pages->showPicture(nullptr, u"");
        shown_.reset();
        if (printing) notPrinted(u"인쇄하지 않음: 페이지 목록이 비어 있습니다.");
        return;
    }
    PagePictures& pictures = picturesOfList();
    const std::int32_t count = pictures.count();
    pageCount_ = count;
    fromPictures_ = true;
    pictures.plan(printing ? walkThenPrint(count) : std::vector<std::int32_t>{1});
    if (count >= 1) showPage(1);
    if (!printing) return;
    // Each page is decoded and shown as the walk reaches it; the last one stays on screen.
    for (std::int32_t k = 2; k <= count; ++k) NextPage();
    printButton();
}

void Viewer::printButton() {
    auto& settings = printSettings();
    if (!settings.UseDefaultPrinter) {
        settings.SelectedPrinterName.clear();
        noPrinterChosen_ =
            parts_.chooser ? parts_.chooser() : u"이 프로그램에는 프린터 선택 창이 없습니다.";
    }
    PrintPDF(1, 0);
}

bool Viewer::PrintPDF(std::int32_t startPage, std::int32_t endPage) {
    // However printing ends, nothing more is wanted: the workers rest and what they hold goes.
    struct Rest {
        std::unique_ptr<PagePictures>& pictures;
        ~Rest() {
            if (pictures) pictures->rest();
        }
    } rest{pictures_};
    // Why the printer selection just shown chose nothing, if it did.
    const std::u16string noChoice = std::exchange(noPrinterChosen_, {});
    const std::int32_t last = endPage == 0 ? pageCount_ : endPage;
    if (startPage < 1 || startPage > pageCount_ || last < startPage || last > pageCount_) {
        notPrinted(u"인쇄 실패: 인쇄할 페이지 범위가 올바르지 않습니다.");
        return false;
    }
    // The printer: the system default, or the one chosen in the selection.
    const auto& settings = printSettings();
    std::optional<platform::spooler::ListingScope> listing(std::in_place);
    std::u16string device;
    if (settings.UseDefaultPrinter) {
        auto found = platform::spooler::getDefaultPrinter();
        if (!found || found->empty()) {
            const std::u16string why = platform::spooler::serverFailure();
            notPrinted(u"인쇄 실패: " + (why.empty() ? u"기본 프린터가 없습니다." : why));
            return false;
        }
        device = *found;
    } else {
        if (settings.SelectedPrinterName.empty()) {
            notPrinted(u"인쇄하지 않음: " +
                       (noChoice.empty() ? u"선택한 프린터가 없습니다." : noChoice));
            return false;
        }
        device = settings.SelectedPrinterName;
    }
    std::u16string why;
    std::unique_ptr<print::Printer> printer =
        parts_.printers ? parts_.printers(device, &why) : print::openPrinter(device, &why);
    listing.reset();
    if (!printer) {
        if (const std::u16string failure = platform::spooler::serverFailure(); !failure.empty())
            why = failure;
        notPrinted(u"인쇄 실패: 프린터를 열 수 없습니다: " + device + u" (" + why + u")");
        return false;
    }
    // The spooler lists the job by the certificate's title (the window title of the parameter
    // text), else by the control library's.
    const std::u16string& title = viewerState().settings.wintitle;
    printer->setDocumentName(title.empty() ? std::u16string(kApplicationTitle) : title);

    // Page by page: each picture is given up once it is printed, and the workers decode the
    // pages after it within the budget. Once printing is over, nothing more is wanted.
    std::vector<std::int32_t> order;
    for (std::int32_t page = 1; page <= pageCount_; ++page) order.push_back(page);
    if (pictures_) pictures_->plan(order);
    std::u16string failure;
    for (std::int32_t page = 1; page <= pageCount_ && failure.empty(); ++page) {
        const PagePictures::Page taken = pictures_ ? pictures_->take(page) : PagePictures::Page{};
        const std::u16string number = text::formatNumber(double(page));
        if (taken.outcome == PagePictures::Outcome::TooLarge) {
            failure = u"페이지 " + number + u" 이미지가 너무 커서 담을 수 없습니다.";
        } else if (!taken.picture) {
            failure = u"페이지 " + number + u" 이미지가 없습니다.";
        } else {
            // What the printer holds while it paints the picture counts as well.
            const PagePictures::Lease copy =
                pictures_->lease(printer->drawingBytes(*taken.picture));
            if (!PrintPagePicture(*printer, *taken.picture) || !printer->newPage()) {
                failure = printer->lastError();
                if (failure.empty()) failure = u"페이지를 인쇄할 수 없습니다.";
            }
        }
    }
    if (failure.empty() && !printer->end()) {
        failure = printer->lastError();
        if (failure.empty()) failure = u"인쇄를 마칠 수 없습니다.";
    }
    if (face_) face_->setDefaultCursor();
    if (!failure.empty()) {
        printer->abort();
        printFailed(failure);
        return false;
    }
    printResult(true);
    return true;
}

}  // namespace vistrel
