// The forms runtime's printer object: a print job on one printer, page by page. The job starts
// with the first drawing; an orientation set while no page is open applies to the next page;
// newPage closes the open page; end finishes the job and abort discards it.
//
// Sizes and positions are HIMETRIC (0.01 mm) from the top-left corner of the printable area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/imaging/imaging.h"

namespace platform::print {

enum class Orientation : std::int16_t { Portrait = 1, Landscape = 2 };

struct AreaHiMetric {
    double width = 0;
    double height = 0;
};

class Printer {
  public:
    virtual ~Printer() = default;
    virtual std::u16string deviceName() const = 0;
    // The orientation of the next page (of the open one while a page is open).
    virtual Orientation orientation() const = 0;
    // False while a page is open: a page keeps the orientation it started with.
    virtual bool setOrientation(Orientation orientation) = 0;
    // The printable area of the next page (of the open one while a page is open).
    virtual AreaHiMetric printableArea() const = 0;
    // Paints the picture stretched to the rectangle, opening a page (and the job) when none is
    // open.
    virtual bool drawPicture(const imaging::Picture& picture, double x, double y, double width,
                             double height) = 0;
    // The most bytes drawPicture holds besides the picture while it paints it (the copies it
    // makes of it): counted against the pictures' budget while a page is painted.
    virtual std::size_t drawingBytes(const imaging::Picture& picture) const {
        return static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) *
               4;
    }
    // Closes the open page; nothing when none is open (no blank sheet comes of it).
    virtual bool newPage() = 0;
    // Finishes the job: the pages drawn go to the printer.
    virtual bool end() = 0;
    // Discards the job: nothing of it reaches the printer.
    virtual void abort() = 0;
    // Why the last step failed.
    virtual std::u16string lastError() const = 0;
    // The name the spooler knows the job by (a CUPS job's job-name); set before the first
    // drawing. A printer that keeps no job names ignores it.
    virtual void setDocumentName(std::u16string name) { (void)name; }
};

// Where the jobs of a described printer go: a real print queue named by the description
// (which wins over an output folder), else one PDF file per job in its output folder.
enum class Backend { None, PdfFolder, Queue };
struct BackendChoice {
    Backend backend = Backend::None;
    std::string target;  // the queue's name, or the absolute output folder
    std::u16string why;  // for None: why the printer cannot be printed on
};
// From a described printer's queue name and output folder; a relative output folder lies in
// `machineFolder`.
BackendChoice chooseBackend(const std::string& cupsQueue, const std::string& output,
                            const std::string& machineFolder);

// A printer by device name (letter case ignored). While the spooler's printers are the real CUPS
// queues (platform::spooler::realQueues), every printer is a queue printer on the queue of its
// name. Otherwise a printer of the described machine, on the backend
// chooseBackend gives it: a queue printer hands its jobs to the CUPS queue as PDF, a folder
// printer writes one PDF file per job in its folder. A queue printer prints in colour unless the
// printer's device mode asks for monochrome (DM_COLOR set, dmColor DMCOLOR_MONOCHROME): the
// pages are drawn in colour and the job asks for print-color-mode "color", so a queue's own
// default (a raw queue's is monochrome) does not turn a colour page grey; the job is named by
// setDocumentName. nullptr for a printer that is
// not installed or has no output this module can drive; `error` then says why.
std::unique_ptr<Printer> openPrinter(std::u16string_view deviceName,
                                     std::u16string* error = nullptr);

// A printer that records what it is asked to do, for tests. Each step appends a line:
//   "orientation 2", "draw 0 0 19000 26871 (w x h px)", "newpage", "end", "abort"
// Drawing opens a page ("page <orientation>") when none is open.
class RecordingPrinter : public Printer {
  public:
    explicit RecordingPrinter(std::u16string name = u"Recording Printer",
                              AreaHiMetric portrait = {19000, 27000})
        : name_(std::move(name)), portrait_(portrait) {}

    std::u16string deviceName() const override { return name_; }
    Orientation orientation() const override { return orientation_; }
    bool setOrientation(Orientation orientation) override;
    AreaHiMetric printableArea() const override;
    bool drawPicture(const imaging::Picture& picture, double x, double y, double width,
                     double height) override;
    bool newPage() override;
    bool end() override;
    void abort() override;
    std::u16string lastError() const override { return error_; }
    void setDocumentName(std::u16string name) override { documentName = std::move(name); }

    std::vector<std::string> steps;
    std::u16string documentName;
    // Drawing number `failDraw` (1-based) fails; 0 never.
    int failDraw = 0;
    // Orientation changes fail.
    bool refuseOrientation = false;

  private:
    std::u16string name_;
    AreaHiMetric portrait_;
    Orientation orientation_ = Orientation::Portrait;
    bool pageOpen_ = false;
    int draws_ = 0;
    std::u16string error_;
};

}  // namespace platform::print
