// The viewer control's parts that need a user interface or the network, behind small
// interfaces so the control's logic runs and is tested without either: its face (the widget a
// host places on its form), the downloader of BeginDownload, and the page display (showing a
// decoded picture, or opening an image file).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vistrel {

class ViewerFace {
  public:
    virtual ~ViewerFace() = default;
    // The QWidget, as an opaque pointer.
    virtual void* widget() = 0;
    virtual std::int32_t windowHandle() = 0;
    virtual void setBorderStyle(std::int32_t style) = 0;
    // An OLE colour: 0x00BBGGRR, or 0x800000nn for system colour nn.
    virtual void setBackgroundColor(std::uint32_t oleColor) = 0;
    virtual void setZoomSlider(std::int32_t value) = 0;
    virtual void setPageBox(const std::u16string& text) = 0;
    virtual void setPageCountLabel(const std::u16string& text) = 0;
    virtual void setDefaultCursor() = 0;
    // The start layout: frame at the origin, no pictures, the hidden helpers hidden.
    virtual void reset() = 0;
};
using FaceFactory = std::function<std::unique_ptr<ViewerFace>()>;

class Downloader {
  public:
    virtual ~Downloader() = default;
    using Progress = std::function<void(std::int64_t received, std::int64_t total)>;
    // ok: the transfer ended without a network error; data: every byte received.
    using Done = std::function<void(bool ok, std::vector<std::uint8_t> data)>;
    // Starts reading the address, always fetching anew; the callbacks arrive later on this
    // thread, through its event loop. False when the read cannot start.
    virtual bool start(const std::u16string& url, Progress progress, Done done) = 0;
};

class PageDisplay {
  public:
    virtual ~PageDisplay() = default;
    // Shows a page of the decoded pictures (1-based).
    virtual void showPage(std::int32_t page) = 0;
    // Opens a page of an image file at a zoom.
    virtual void openImage(const std::u16string& file, const std::u16string& folder,
                           std::int32_t page, std::int32_t zoom) = 0;
};

struct ViewerParts {
    FaceFactory face;  // null: no face (a process without a user interface)
    std::shared_ptr<Downloader> downloader;
    std::shared_ptr<PageDisplay> pages;
};

}  // namespace vistrel
