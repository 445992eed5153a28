// The viewer control: the class a host places on its form and drives by dispatch identifier.
// It takes the encrypted parameter text and decodes it into the thread's settings, keeps the
// page list, navigates the shown document, downloads files, persists its look in a property
// bag and raises its events to the host's sinks through a connection point.
//
// No member lets an error reach its host: each answers the way it documents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/control.h"
#include "platform/com/dispatch.h"
#include "platform/com/events.h"
#include "viewer/control/parts.h"

namespace vistrel {

namespace com = platform::com;

inline constexpr com::Guid LIBID_Vistrel = com::Guid::of("{48A0438F-BB86-4CA3-A79B-F0B3AE94393A}");
inline constexpr com::Guid CLSID_Viewer = com::Guid::of("{3D68D089-7298-424E-B9CC-47A29A7EFD93}");
inline constexpr com::Guid IID__Viewer = com::Guid::of("{0F7881D3-A333-4AC2-8134-87A44946E7C4}");
inline constexpr com::Guid DIID___Viewer = com::Guid::of("{D72C85E9-AB97-43B1-80AB-50428D2B7F7B}");

// Members of _Viewer.
namespace dispid {
enum : com::DispId {
    PicFile = 0x40030041,
    ServerCA = 0x68030011,
    IssuerID = 0x68030010,
    param = 0x6803000F,
    Initialize = 0x60030032,
    OpenImage = 0x60030033,
    OpenArrImage = 0x60030035,
    isMP = 0x6803000E,
    charset = 0x6803000D,
    xml = 0x6803000C,
    page = 0x6803000B,
    LinkPage = 0x6803000A,
    Border = 0x68030009,
    BackgroundColor = 0x68030008,
    AvailablePrinter = 0x60030037,
    RunViewer = 0x60030038,
    FirstPage = 0x60030039,
    PreviousPage = 0x6003003A,
    NextPage = 0x6003003B,
    LastPage = 0x6003003C,
    hwnd = 0x68030007,
    PageTotal = 0x68030006,
    Zoom = 0x68030005,
    ToolbarVisible = 0x68030004,
    Version = 0x68030003,
    FitWidth = 0x68030002,
    FitHeight = 0x68030001,
    FindText = 0x6003003E,
    FindTextAndHighlight = 0x6003003F,
    BeginDownload = 0x60030040,
    Clear = 0x60030041,
    PrintPDF = 0x60030042,
    IsAlphaNumeric = 0x60030047,
};
}  // namespace dispid

// Events of __Viewer.
namespace event {
enum : com::DispId {
    LoadCompleted = 1,
    change = 2,
    Click = 3,
    DoubleClick = 4,
    KeyDown = 5,
    KeyPress = 6,
    KeyUp = 7,
    MouseDown = 8,
    MouseMove = 9,
    MouseUp = 10,
    Paint = 11,
    Resize = 12,
    DownloadStarted = 13,
    DownloadProgress = 14,
    DownloadError = 15,
    DownloadComplete = 16,
    ErrorMsg = 17,  // declared for hosts; the control never raises it
    PrintResult = 18,
};
}  // namespace event

// The event interface as hosts see it: every event with its DISPID and parameters (all passed
// by reference).
const com::TypeInfo& viewerEvents();

inline constexpr std::uint32_t kButtonFace = 0x8000000F;  // the system's button-face colour
// The control library's application title.
inline constexpr std::u16string_view kApplicationTitle = u"Vistrel";

// The library's version as "major.minor.0.revision".
std::u16string libraryVersion();

// True when the text is exactly one ASCII letter or digit.
bool isAlphaNumeric(std::u16string_view s);

// The scroll bars of a picture in its area, in pixels: a bar's maximum is how far the picture
// passes the area, and a bar is enabled only when it does.
struct ScrollLayout {
    std::int32_t horizontalMax = 0;
    bool horizontalEnabled = false;
    std::int32_t verticalMax = 0;
    bool verticalEnabled = false;
};
ScrollLayout layoutScrollBars(std::int32_t pictureWidth, std::int32_t pictureHeight,
                              std::int32_t areaWidth, std::int32_t areaHeight);

// The most a page image file that OpenImage opens may hold (64 MiB); a larger one is not read.
inline constexpr std::size_t kPageFileLimit = 64u << 20;

// The fill colour behind page images, 0x00BBGGRR; it shows where an image is transparent.
inline constexpr std::uint32_t kPageFill = 0x00D7E390;

// A page text as its picture over the page fill: the text is read as hexadecimal when it is
// hexadecimal, else as Base64, and the bytes as an image file. nullopt when either fails.
std::optional<platform::imaging::Picture> decodePageText(std::u16string_view pageText);

// A page picture fitted into a printable area (both HIMETRIC) keeping its aspect: the full
// width when the picture is at least as wide for its height as the area, else the full height.
struct FittedSize {
    double width = 0;
    double height = 0;
};
FittedSize fitToArea(double pictureWidth, double pictureHeight, double areaWidth,
                     double areaHeight);

// Prints one page picture on the printer: portrait when it is at least as high as wide,
// landscape otherwise (set before its page starts), fitted into the printable area at its
// top-left corner. False when the printer refused the drawing.
bool PrintPagePicture(platform::print::Printer& printer, const platform::imaging::Picture& picture);

class Viewer : public com::DispatchImpl<Viewer, com::ConnectionPointContainer, com::ControlView,
                                        com::PersistPropertyBag> {
  public:
    explicit Viewer(ViewerParts parts = {});
    ~Viewer() override;
    static const com::Members<Viewer>& members();

    // ConnectionPointContainer
    com::HRESULT Advise(const com::Guid& eventIid, std::shared_ptr<com::Dispatch> sink,
                        std::uint32_t& cookie) override;
    com::HRESULT Unadvise(std::uint32_t cookie) override;
    // ControlView
    com::HRESULT GetWidget(void*& widget) override;
    com::HRESULT SetSite(std::shared_ptr<com::ControlSite> site) override;
    std::shared_ptr<com::ControlSite> GetSite() override;
    // PersistPropertyBag
    com::HRESULT InitNew() override;
    com::HRESULT Load(com::PropertyBag& bag) override;
    com::HRESULT Save(com::PropertyBag& bag) override;

    // A document is shown: `pageCount` pages, page 1 current. `fromPictures`: its pages are
    // the decoded pictures of a run, otherwise pages of the image file last opened.
    void documentShown(std::int32_t pageCount, bool fromPictures, std::u16string file = {},
                       std::int32_t zoom = 0);

    // The end of a download started by BeginDownload.
    void downloadFinished(const std::u16string& file, bool ok,
                          const std::vector<std::uint8_t>& data);

    const std::filesystem::path& workFolder() const { return workFolder_; }
    void setWorkFolder(std::u16string_view folder);
    // A decimal name from 1 to 99,999,999 that names no file in the current folder.
    static std::u16string randomFreeName();

    // Page images and the print road (the members of the same names).
    std::u16string OpenImage(const std::u16string& file, const std::u16string& folder,
                             std::int32_t page, std::int32_t zoom);
    std::u16string OpenArrImage(std::int32_t page, std::int32_t zoom);
    bool AvailablePrinter();
    void RunViewer(bool printing);
    // The thread's page list was set: its pages start decoding ahead of the run.
    // A new page list is about to be kept in place of the last one.
    void pagesReplaced();
    void pagesArrived();
    bool PrintPDF(std::int32_t startPage, std::int32_t endPage);

    // What the window's own handlers call: the members of the same names.
    std::int32_t page() const;  // -1 while no page is loaded
    void setPage(std::int32_t value);
    bool fitWidth() const { return fitWidth_; }
    bool fitHeight() const { return fitHeight_; }
    void setFitWidth(bool on);
    void setFitHeight(bool on);
    void FirstPage();
    void PreviousPage();
    void NextPage();
    void LastPage();
    bool pageLoaded() const { return pageLoaded_; }
    std::int32_t pageCount() const { return pageCount_; }
    // The image file OpenImage last opened.
    const std::u16string& lastFile() const { return lastFile_; }
    // The user moved the zoom slider: Zoom reads it back.
    void zoomSliderMoved(std::int32_t value) { zoomSlider_ = value; }
    // The print button: the printer selection unless the default printer is used, then the
    // pages; nothing while a run or a print is under way.
    void printButtonClick();
    // The text export of the save-as-text button: the pages hold no text, so it writes nothing
    // and answers False.
    bool SavePageAsText(const std::u16string& file);

  private:
    void initialize();  // creation and Clear
    void fire(com::DispId id, std::vector<com::Variant> args);

    void putPage(std::int32_t value);
    void showPage(std::int32_t page);
    // The pictures of the thread's page list, made anew when the list changed.
    PagePictures& picturesOfList();
    void showPicture(PicturePtr picture);
    void showPicture(PicturePtr picture, std::int32_t pixelWidth, std::int32_t pixelHeight);
    void pageShown(std::int32_t page, std::int32_t zoom);
    void printButton();
    void printResult(bool printed);
    void notPrinted(const std::u16string& why);
    void printFailed(const std::u16string& description);
    void yield();
    void reopen(std::int32_t page);
    void putBorder(std::int32_t style);
    void putBackgroundColor(std::uint32_t color);
    void putFit(bool& flag, bool value);
    bool beginDownload(const std::u16string& url, const std::u16string& file);

    ViewerParts parts_;
    // The picture on screen, which the display reads in place: it outlives the face.
    PicturePtr shown_;
    std::unique_ptr<ViewerFace> face_;
    std::shared_ptr<com::ControlSite> site_;
    com::EventSource events_{DIID___Viewer};

    // The document of the last run: its pages, decoded ahead along the order the run wants
    // them, within a budget of pictures held.
    std::unique_ptr<PagePictures> pictures_;
    bool busy_ = false;  // a run or a print is under way
    // Why the printer selection shown for the print under way chose no printer.
    std::u16string noPrinterChosen_;

    // The shown document.
    std::int32_t pageCount_ = 0;
    std::int32_t currentPage_ = 0;
    bool pageLoaded_ = false;
    bool fromPictures_ = false;
    std::u16string lastFile_;
    std::int32_t lastZoom_ = 0;
    std::int32_t zoomValue_ = 100;
    float initialWidth_ = 0, initialHeight_ = 0, currentWidth_ = 0, currentHeight_ = 0;
    std::int16_t zoomLevel_ = 0;
    const std::u16string folder_;  // the folder of OpenImage's re-opening; never set

    std::u16string picFile_;
    std::int32_t border_ = 0;
    std::uint32_t backColor_ = 0;
    bool fitWidth_ = false;
    bool fitHeight_ = false;

    std::filesystem::path workFolder_;
    std::u16string saveName_;
    std::u16string openFolder_;
    std::filesystem::path libraryFolder_;
    float zoomStep_ = 0;
    std::int16_t sliderBase_ = 0;
    std::int32_t zoomSlider_ = 0;
    std::u16string zoomLabel_;
    std::vector<std::u16string> imageTypes_;
    std::int32_t imageType_ = -1;
    std::u16string downloadFile_;
};

}  // namespace vistrel
