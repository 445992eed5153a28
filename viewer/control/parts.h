// The viewer control's parts that need a user interface or the network, behind small
// interfaces so the control's logic runs and is tested without either: its face (the widget a
// host places on its form), the downloader of BeginDownload, the page display (showing a
// decoded picture), and the print road's printers, printer chooser and event-loop yield.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/imaging/imaging.h"
#include "platform/print/print.h"
#include "viewer/control/page_pictures.h"

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
class Viewer;
// Makes the face of a viewer when a host first asks for its widget.
using FaceFactory = std::function<std::unique_ptr<ViewerFace>(Viewer& viewer)>;

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
    // Shows a page picture (nullptr: an empty page) with the status text of its size. The
    // picture stays alive, unchanged, until the next one is shown.
    virtual void showPicture(const platform::imaging::Picture* picture,
                             const std::u16string& status) = 0;
};

// Opens an installed printer by device name (letter case ignored); nullptr and the reason when
// it cannot be printed on.
using PrinterOpener = std::function<std::unique_ptr<platform::print::Printer>(
    std::u16string_view deviceName, std::u16string* why)>;

// Shows the printer selection modally; returns when it closed, with the chosen printer in the
// thread's SelectedPrinterName (empty when cancelled or nothing was admitted). When it chose
// none, the answer says why in a line for the log (who cancelled, or why nobody could).
using PrinterChooser = std::function<std::u16string()>;

struct ViewerParts {
    FaceFactory face;  // null: no face (a process without a user interface)
    std::shared_ptr<Downloader> downloader;
    std::shared_ptr<PageDisplay> pages;
    PrinterOpener printers;       // null: the described machine's printers
    PrinterChooser chooser;       // null: no selection dialog in this process
    std::function<void()> yield;  // lets the host's event loop run once; null: nothing
    // How a run's pages are decoded ahead; null: PageDecoding::defaults().
    std::optional<PageDecoding> pageDecoding;
};

}  // namespace vistrel
