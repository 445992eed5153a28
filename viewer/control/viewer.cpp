#include "viewer/control/viewer.h"

#include <system_error>

#include "platform/system/files.h"
#include "platform/system/machine.h"
#include "platform/system/storefile.h"
#include "platform/text/text.h"
#include "viewer/control/param.h"
#include "viewer/log/log.h"
#include "viewer/state/module_state.h"

#ifndef VISTREL_VERSION_MAJOR
#define VISTREL_VERSION_MAJOR 1
#define VISTREL_VERSION_MINOR 0
#define VISTREL_VERSION_REVISION 0
#endif

namespace vistrel {

namespace {

namespace text = platform::text;
using com::Call;
using com::ParamInfo;
using com::Presence;
using com::Variant;
using com::VarType;
using com::VT_BOOL;
using com::VT_BSTR;
using com::VT_EMPTY;
using com::VT_I4;
using com::VT_VARIANT;

ParamInfo optional(std::u16string name, VarType type) {
    return {std::move(name), type, Presence::Optional};
}

// An OLE colour from any number a host passes: negative values are the system colours' bit
// patterns as signed 32-bit numbers.
std::uint32_t oleColorOf(const Variant& v) {
    const double d = v.toR8();
    if (d < -2147483648.0 || d > 4294967295.0) com::raise(com::DISP_E_OVERFLOW);
    const auto whole = static_cast<std::int64_t>(text::roundHalfEven(d));
    return static_cast<std::uint32_t>(whole);
}

// Runs a member's work so that no error reaches the host: what failed is left undone.
template <class Body>
void trapped(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

// An optional argument, or its start value when the caller left it out.
std::int32_t i4Or(const Call& c, std::size_t i) {
    return c.present(i) ? c.i4(i) : 0;
}
std::u16string textOr(const Call& c, std::size_t i) {
    return c.present(i) ? c.text(i) : std::u16string();
}

// A downloaded file replaces the old one whole: written beside, synced and renamed over it.
bool writeWhole(const std::filesystem::path& file, const std::vector<std::uint8_t>& data) {
    std::string why;
    int error = 0;
    return platform::system::replaceFileAtomically(
        file, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), why,
        error);
}

std::filesystem::path pathOf(std::u16string_view s) {
    return std::filesystem::path(text::toUtf8(s));
}

}  // namespace

std::u16string libraryVersion() {
    return text::formatNumber(VISTREL_VERSION_MAJOR) + u"." +
           text::formatNumber(VISTREL_VERSION_MINOR) + u".0." +
           text::formatNumber(VISTREL_VERSION_REVISION);
}

bool isAlphaNumeric(std::u16string_view s) {
    if (s.size() != 1) return false;
    const char16_t c = s[0];
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

ScrollLayout layoutScrollBars(std::int32_t pictureWidth, std::int32_t pictureHeight,
                              std::int32_t areaWidth, std::int32_t areaHeight) {
    ScrollLayout layout;
    const std::int64_t h = std::int64_t{pictureWidth} - areaWidth;
    const std::int64_t v = std::int64_t{pictureHeight} - areaHeight;
    if (h >= 1) {
        layout.horizontalMax = static_cast<std::int32_t>(h);
        layout.horizontalEnabled = true;
    }
    if (v >= 1) {
        layout.verticalMax = static_cast<std::int32_t>(v);
        layout.verticalEnabled = true;
    }
    return layout;
}

const com::TypeInfo& viewerEvents() {
    static const com::TypeInfo info = [] {
        using com::VT_I2;
        using com::VT_R8;  // the mouse position is single precision; variants carry it as double
        const std::vector<ParamInfo> none;
        const std::vector<ParamInfo> keys = {{u"KeyCode", VT_I2}, {u"Shift", VT_I2}};
        const std::vector<ParamInfo> mouse = {
            {u"Button", VT_I2}, {u"Shift", VT_I2}, {u"x", VT_R8}, {u"Y", VT_R8}};
        const std::vector<ParamInfo> saveFile = {{u"SaveFile", VT_BSTR}};
        com::TypeInfo t{u"__Viewer", DIID___Viewer, {}};
        const auto add = [&t](com::DispId id, std::u16string name, std::vector<ParamInfo> params) {
            t.members.push_back(
                {id, std::move(name), com::DISPATCH_METHOD, VT_EMPTY, std::move(params), {}});
        };
        add(event::LoadCompleted, u"LoadCompleted", none);
        add(event::change, u"change", none);
        add(event::Click, u"Click", none);
        add(event::DoubleClick, u"DoubleClick", none);
        add(event::KeyDown, u"KeyDown", keys);
        add(event::KeyPress, u"KeyPress", {{u"KeyAscii", VT_I2}});
        add(event::KeyUp, u"KeyUp", keys);
        add(event::MouseDown, u"MouseDown", mouse);
        add(event::MouseMove, u"MouseMove", mouse);
        add(event::MouseUp, u"MouseUp", mouse);
        add(event::Paint, u"Paint", none);
        add(event::Resize, u"Resize", none);
        add(event::DownloadStarted, u"DownloadStarted", saveFile);
        add(event::DownloadProgress, u"DownloadProgress",
            {{u"CurBytes", VT_I4}, {u"MaxBytes", VT_I4}, {u"SaveFile", VT_BSTR}});
        add(event::DownloadError, u"DownloadError", saveFile);
        add(event::DownloadComplete, u"DownloadComplete",
            {{u"MaxBytes", VT_I4}, {u"SaveFile", VT_BSTR}});
        add(event::ErrorMsg, u"ErrorMsg", {{u"errcode", VT_BSTR}, {u"errmsg", VT_BSTR}});
        add(event::PrintResult, u"PrintResult", {{u"rst", VT_BOOL}});
        return t;
    }();
    return info;
}

Viewer::Viewer(ViewerParts parts) : parts_(std::move(parts)) {
    initialize();
}

Viewer::~Viewer() = default;

void Viewer::initialize() {
    trapped([&] {
        workFolder_ = platform::system::appDataFolder() / text::toUtf8(kApplicationTitle);
        openFolder_ = u"/";
        libraryFolder_ =
            platform::system::moduleFile(reinterpret_cast<const void*>(&libraryVersion))
                .parent_path();
        saveName_ = u"file.pdf";
        std::error_code ec;
        std::filesystem::create_directories(workFolder_, ec);
    });
    zoomStep_ = 0.05f;
    imageTypes_ = {u"BMP '0",        u"JPG '1",         u"WMF '2",
                   u"EMF '3 - 기본", u"EPS '4 - 안됨",  u"PNG '5 - 안됨",
                   u"GIF '6",        u"TIF '7  - 안됨", u"EMFP '8 EMF+ - 안됨"};
    imageType_ = 6;
    sliderBase_ = 200;
    zoomSlider_ = 200;
    zoomLabel_ = u"200";
    if (face_) {
        trapped([&] {
            face_->reset();
            face_->setZoomSlider(zoomSlider_);
        });
    }
}

void Viewer::setWorkFolder(std::u16string_view folder) {
    std::u16string trimmed = text::Trim(folder);
    if (trimmed.empty() || trimmed.back() != u'/') trimmed += u'/';
    workFolder_ = pathOf(trimmed);
    std::error_code ec;
    std::filesystem::create_directories(workFolder_, ec);
}

std::u16string Viewer::randomFreeName() {
    for (;;) {
        std::uint32_t r = 0;
        platform::system::randomBytes(std::span(reinterpret_cast<std::uint8_t*>(&r), sizeof r));
        const std::u16string name = text::formatNumber(r % 99999999u + 1);
        std::error_code ec;
        if (!std::filesystem::exists(pathOf(name), ec)) return name;
    }
}

void Viewer::fire(com::DispId id, std::vector<Variant> args) {
    events_.fire(id, args);
}

com::HRESULT Viewer::Advise(const com::Guid& eventIid, std::shared_ptr<com::Dispatch> sink,
                            std::uint32_t& cookie) {
    return com::guard(u"Vistrel.Viewer",
                      [&] { return events_.advise(eventIid, std::move(sink), cookie); });
}

com::HRESULT Viewer::Unadvise(std::uint32_t cookie) {
    return com::guard(u"Vistrel.Viewer", [&] { return events_.unadvise(cookie); });
}

com::HRESULT Viewer::GetWidget(void*& widget) {
    widget = nullptr;
    return com::guard(u"Vistrel.Viewer", [&] {
        if (!face_ && parts_.face) {
            face_ = parts_.face(*this);
            if (face_) {
                face_->reset();
                face_->setBorderStyle(border_);
                face_->setBackgroundColor(backColor_);
                face_->setZoomSlider(zoomSlider_);
            }
        }
        if (!face_) return com::E_FAIL;
        widget = face_->widget();
        return widget ? com::S_OK : com::E_FAIL;
    });
}

com::HRESULT Viewer::SetSite(std::shared_ptr<com::ControlSite> site) {
    site_ = std::move(site);
    return com::S_OK;
}

std::shared_ptr<com::ControlSite> Viewer::GetSite() {
    return site_;
}

com::HRESULT Viewer::InitNew() {
    return com::guard(u"Vistrel.Viewer", [&] {
        putBackgroundColor(kButtonFace);
        putBorder(0);
        putFit(fitHeight_, false);
        putFit(fitWidth_, false);
    });
}

com::HRESULT Viewer::Load(com::PropertyBag& bag) {
    return com::guard(u"Vistrel.Viewer", [&] {
        const auto read = [&](const std::u16string& name, Variant fallback) {
            Variant v;
            return bag.Read(name, v) == com::S_OK ? v : fallback;
        };
        putBackgroundColor(oleColorOf(read(u"BackColor", Variant(std::int32_t(kButtonFace)))));
        putBorder(read(u"BorderStyle", Variant(std::int32_t{0})).toI4());
        putFit(fitHeight_, read(u"FitHeight", Variant(false)).toBool());
        putFit(fitWidth_, read(u"FitWidth", Variant(false)).toBool());
    });
}

com::HRESULT Viewer::Save(com::PropertyBag& bag) {
    return com::guard(u"Vistrel.Viewer", [&] {
        if (backColor_ != kButtonFace)
            bag.Write(u"BackColor", Variant(static_cast<std::int32_t>(backColor_)));
        if (border_ != 0) bag.Write(u"BorderStyle", Variant(border_));
        bag.Write(u"FitHeight", Variant(fitHeight_));
        bag.Write(u"FitWidth", Variant(fitWidth_));
    });
}

void Viewer::documentShown(std::int32_t pageCount, bool fromPictures, std::u16string file,
                           std::int32_t zoom) {
    pageCount_ = pageCount;
    currentPage_ = pageCount > 0 ? 1 : 0;
    pageLoaded_ = pageCount > 0;
    fromPictures_ = fromPictures;
    lastFile_ = std::move(file);
    lastZoom_ = zoom;
}

// Shows `page` again: from the decoded pictures when the document came from a run, else by
// opening the image file again.
void Viewer::reopen(std::int32_t page) {
    if (fromPictures_)
        showPage(page);
    else
        OpenImage(lastFile_, folder_, page, lastZoom_);
}

void Viewer::putPage(std::int32_t value) {
    if (!pageLoaded_ || value == currentPage_ || value < 1 || value > pageCount_) return;
    currentPage_ = value;
    reopen(value);
    if (face_) face_->setPageBox(text::formatNumber(value));
}

void Viewer::putBorder(std::int32_t style) {
    border_ = style;
    if (face_) face_->setBorderStyle(style);
}

void Viewer::putBackgroundColor(std::uint32_t color) {
    backColor_ = color;
    if (face_) face_->setBackgroundColor(color);
}

void Viewer::putFit(bool& flag, bool value) {
    flag = value;
    if (pageLoaded_ && value) reopen(currentPage_);
}

std::int32_t Viewer::page() const {
    return pageLoaded_ ? currentPage_ : -1;
}

void Viewer::setPage(std::int32_t value) {
    trapped([&] { putPage(value); });
}

void Viewer::setFitWidth(bool on) {
    trapped([&] { putFit(fitWidth_, on); });
}

void Viewer::setFitHeight(bool on) {
    trapped([&] { putFit(fitHeight_, on); });
}

void Viewer::FirstPage() {
    trapped([&] {
        if (!pageLoaded_ || currentPage_ == 1) return;
        currentPage_ = 1;
        showPage(1);
    });
}

void Viewer::PreviousPage() {
    trapped([&] {
        if (!pageLoaded_ || currentPage_ == 1) return;
        showPage(--currentPage_);
    });
}

void Viewer::NextPage() {
    trapped([&] {
        if (!pageLoaded_ || currentPage_ == pageCount_) return;
        showPage(++currentPage_);
    });
}

void Viewer::LastPage() {
    trapped([&] {
        if (!pageLoaded_ || currentPage_ == pageCount_) return;
        currentPage_ = pageCount_;
        showPage(currentPage_);
    });
}

void Viewer::printButtonClick() {
    if (busy_) return;
    busy_ = true;
    trapped([&] { printButton(); });
    busy_ = false;
}

bool Viewer::SavePageAsText(const std::u16string&) {
    return false;
}

bool Viewer::beginDownload(const std::u16string& url, const std::u16string& file) {
    fire(event::DownloadStarted, {Variant(file)});
    if (!parts_.downloader) return false;
    const bool started = parts_.downloader->start(
        url,
        [this, file](std::int64_t received, std::int64_t total) {
            if (total == 0) return;
            fire(event::DownloadProgress,
                 {Variant(static_cast<std::int32_t>(received)),
                  Variant(static_cast<std::int32_t>(total)), Variant(file)});
        },
        [this, file](bool ok, std::vector<std::uint8_t> data) {
            downloadFinished(file, ok, data);
        });
    if (started) downloadFile_ = file;
    return started;
}

void Viewer::downloadFinished(const std::u16string& file, bool ok,
                              const std::vector<std::uint8_t>& data) {
    bool written = false;
    trapped([&] { written = ok && !data.empty() && writeWhole(pathOf(file), data); });
    if (!written) fire(event::DownloadError, {Variant(file)});
    fire(event::DownloadComplete, {Variant(static_cast<std::int32_t>(data.size())), Variant(file)});
}

const com::Members<Viewer>& Viewer::members() {
    using M = com::Members<Viewer>;
    static const M m =
        M(u"_Viewer", IID__Viewer)
            .get(dispid::PicFile, u"PicFile", VT_BSTR,
                 [](Viewer& v, Call& c) { c.result = v.picFile_; })
            .put(dispid::PicFile, u"PicFile", VT_BSTR,
                 [](Viewer& v, Call& c) { v.picFile_ = c.text(0); })
            .put(dispid::ServerCA, u"ServerCA", VT_BSTR,
                 [](Viewer&, Call& c) {
                     WriteLog(u"ServerCA.......[Start]", 2);
                     viewerState().ServerCA = c.text(0);
                     WriteLog(u"ServerCA.......[End]", 2);
                 })
            .put(dispid::IssuerID, u"IssuerID", VT_BSTR, [](Viewer&, Call&) {})
            .put(dispid::param, u"param", VT_BSTR,
                 [](Viewer&, Call& c) { c.ref(0) = Variant(putParam(c.text(0))); })
            .method(dispid::Initialize, u"Initialize", VT_EMPTY,
                    {{u"args", VT_VARIANT, Presence::Rest}},
                    [](Viewer&, Call&) { viewerState().charset = u"Euc-kr"; })
            .method(dispid::OpenImage, u"OpenImage", VT_BSTR,
                    {optional(u"strFile", VT_BSTR), optional(u"strFilePath", VT_BSTR),
                     optional(u"lngPage", VT_I4), optional(u"lngDotsPerInch", VT_I4),
                     optional(u"exptParam", VT_VARIANT)},
                    [](Viewer& v, Call& c) {
                        const std::u16string file = textOr(c, 0), folder = textOr(c, 1);
                        const std::int32_t page = i4Or(c, 2), zoom = i4Or(c, 3);
                        std::u16string result;
                        trapped([&] { result = v.OpenImage(file, folder, page, zoom); });
                        c.result = result;
                    })
            .method(dispid::OpenArrImage, u"OpenArrImage", VT_BSTR,
                    {optional(u"lngPage", VT_I4), optional(u"lngDotsPerInch", VT_I4),
                     optional(u"exptParam", VT_VARIANT), optional(u"strFName", VT_BSTR),
                     optional(u"strPassword", VT_BSTR)},
                    [](Viewer& v, Call& c) {
                        const std::int32_t page = i4Or(c, 0), zoom = i4Or(c, 1);
                        std::u16string result;
                        trapped([&] { result = v.OpenArrImage(page, zoom); });
                        c.result = result;
                    })
            .put(dispid::isMP, u"isMP", VT_BOOL,
                 [](Viewer&, Call& c) { viewerState().topmost = c.boolean(0); })
            .put(dispid::charset, u"charset", VT_BSTR,
                 [](Viewer&, Call& c) { viewerState().charset = c.text(0); })
            .put(dispid::xml, u"xml", VT_BSTR,
                 [](Viewer& v, Call& c) {
                     // The host's text moves in and is shared read-only from here on.
                     std::u16string given = std::move(c.ref(0)).toText();
                     // The line holds the whole list: it is built only when the log is kept.
                     if (logEnabled())
                         WriteLog(u"Property Xml(" + text::formatNumber(double(given.size())) +
                                      u"): " + given,
                                  1);
                     if (!given.empty()) v.pagesReplaced();
                     auto list = std::make_shared<const PageListText>(std::move(given));
                     given = std::u16string();  // gone before the document is decoded
                     viewerState().PageImageList = std::move(list);
                     v.pagesArrived();
                 })
            .get(dispid::page, u"page", VT_I4, [](Viewer& v, Call& c) { c.result = v.page(); })
            .put(dispid::page, u"page", VT_I4, [](Viewer& v, Call& c) { v.setPage(c.i4(0)); })
            .get(dispid::LinkPage, u"LinkPage", VT_I4,
                 [](Viewer&, Call& c) { c.result = std::int32_t{0}; })
            .get(dispid::Border, u"Border", VT_I4, [](Viewer& v, Call& c) { c.result = v.border_; })
            .put(dispid::Border, u"Border", VT_I4, [](Viewer& v, Call& c) { v.putBorder(c.i4(0)); })
            .get(dispid::BackgroundColor, u"BackgroundColor", VT_I4,
                 [](Viewer& v, Call& c) { c.result = static_cast<std::int32_t>(v.backColor_); })
            .put(dispid::BackgroundColor, u"BackgroundColor", VT_VARIANT,
                 [](Viewer& v, Call& c) { v.putBackgroundColor(oleColorOf(c.arg(0))); })
            .method(dispid::AvailablePrinter, u"AvailablePrinter", VT_BOOL, {},
                    [](Viewer& v, Call& c) {
                        bool available = false;
                        trapped([&] { available = v.AvailablePrinter(); });
                        c.result = available;
                    })
            .method(dispid::RunViewer, u"RunViewer", VT_EMPTY,
                    {optional(u"isScriptEvent", VT_BOOL)},
                    [](Viewer& v, Call& c) {
                        const bool printing = c.present(0) && c.boolean(0);
                        trapped([&] { v.RunViewer(printing); });
                    })
            .method(dispid::FirstPage, u"FirstPage", VT_EMPTY, {},
                    [](Viewer& v, Call&) { v.FirstPage(); })
            .method(dispid::PreviousPage, u"PreviousPage", VT_EMPTY, {},
                    [](Viewer& v, Call&) { v.PreviousPage(); })
            .method(dispid::NextPage, u"NextPage", VT_EMPTY, {},
                    [](Viewer& v, Call&) { v.NextPage(); })
            .method(dispid::LastPage, u"LastPage", VT_EMPTY, {},
                    [](Viewer& v, Call&) { v.LastPage(); })
            .get(dispid::hwnd, u"hwnd", VT_I4,
                 [](Viewer& v, Call& c) {
                     c.result = v.face_ ? v.face_->windowHandle() : std::int32_t{0};
                 })
            .get(dispid::PageTotal, u"PageTotal", VT_I4,
                 [](Viewer& v, Call& c) {
                     c.result = v.pageLoaded_ ? v.pageCount_ : std::int32_t{0};
                 })
            .get(dispid::Zoom, u"Zoom", VT_I4, [](Viewer& v, Call& c) { c.result = v.zoomSlider_; })
            .put(dispid::Zoom, u"Zoom", VT_I4,
                 [](Viewer& v, Call& c) {
                     v.zoomSlider_ = c.i4(0);
                     if (v.face_) v.face_->setZoomSlider(v.zoomSlider_);
                 })
            .get(dispid::ToolbarVisible, u"ToolbarVisible", VT_BOOL,
                 [](Viewer&, Call& c) { c.result = false; })
            .put(dispid::ToolbarVisible, u"ToolbarVisible", VT_BOOL, [](Viewer&, Call&) {})
            .get(dispid::Version, u"Version", VT_BSTR,
                 [](Viewer&, Call& c) { c.result = libraryVersion(); })
            .get(dispid::FitWidth, u"FitWidth", VT_BOOL,
                 [](Viewer& v, Call& c) { c.result = v.fitWidth_; })
            .put(dispid::FitWidth, u"FitWidth", VT_BOOL,
                 [](Viewer& v, Call& c) { v.setFitWidth(c.boolean(0)); })
            .get(dispid::FitHeight, u"FitHeight", VT_BOOL,
                 [](Viewer& v, Call& c) { c.result = v.fitHeight_; })
            .put(dispid::FitHeight, u"FitHeight", VT_BOOL,
                 [](Viewer& v, Call& c) { v.setFitHeight(c.boolean(0)); })
            .method(dispid::FindText, u"FindText", VT_BSTR,
                    {{u"strText", VT_BSTR},
                     optional(u"lngPage", VT_VARIANT),
                     optional(u"blnCaseSensitive", VT_VARIANT)},
                    [](Viewer&, Call& c) { c.result = std::u16string(); })
            .method(dispid::FindTextAndHighlight, u"FindTextAndHighlight", VT_BSTR,
                    {{u"strOutputPDFfile", VT_BSTR},
                     {u"strText", VT_BSTR},
                     optional(u"lngPage", VT_VARIANT),
                     optional(u"blnCaseSensitive", VT_VARIANT)},
                    [](Viewer& v, Call& c) {
                        trapped([&] {
                            if (v.pageLoaded_ && v.face_) v.face_->setDefaultCursor();
                        });
                        c.result = std::u16string();
                    })
            .method(dispid::BeginDownload, u"BeginDownload", VT_BOOL,
                    {{u"strURL", VT_BSTR}, {u"strFile", VT_BSTR}},
                    [](Viewer& v, Call& c) {
                        bool started = false;
                        const std::u16string url = c.text(0), file = c.text(1);
                        trapped([&] { started = v.beginDownload(url, file); });
                        c.result = started;
                    })
            .method(dispid::Clear, u"Clear", VT_EMPTY, {}, [](Viewer& v, Call&) { v.initialize(); })
            .method(dispid::PrintPDF, u"PrintPDF", VT_BOOL,
                    {optional(u"strPrinter", VT_BSTR), optional(u"lngStartPage", VT_I4),
                     optional(u"lngEndPage", VT_I4), optional(u"lngPageScaling", VT_I4),
                     optional(u"blnAutoRotateCenter", VT_BOOL), optional(u"strTitle", VT_BSTR)},
                    [](Viewer& v, Call& c) {
                        const std::int32_t start = i4Or(c, 1), end = i4Or(c, 2);
                        bool printed = false;
                        if (!v.busy_) {  // a run prints on its own
                            v.busy_ = true;
                            trapped([&] { printed = v.PrintPDF(start, end); });
                            v.busy_ = false;
                        }
                        c.result = printed;
                    })
            .method(dispid::IsAlphaNumeric, u"IsAlphaNumeric", VT_BOOL, {{u"sChr", VT_BSTR}},
                    [](Viewer&, Call& c) { c.result = isAlphaNumeric(c.text(0)); });
    return m;
}

}  // namespace vistrel
