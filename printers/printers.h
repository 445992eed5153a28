// The printer and spool model over the print spooler (platform/spooler): the installed
// printers, one printer's record and status, its jobs, one job, and a device-mode record.
// Internal classes of the libraries that build them in; status texts come from the control
// library's string table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes/byteorder.h"
#include "platform/spooler/spooler.h"

namespace printers {

// A read-only copy of a device-mode record: the first 124 bytes of the 8-bit layout.
class CDevMode {
  public:
    static constexpr std::size_t kSize = 124;

    std::int32_t BitsPerPel() const { return i32(104); }
    std::int16_t Collate() const { return i16(68); }
    std::int16_t Color() const { return i16(60); }
    std::int16_t Copies() const { return i16(54); }
    std::int16_t DefaultSource() const { return i16(56); }
    std::u16string DeviceName() const { return name(0); }
    std::int32_t DisplayFrequency() const { return i32(120); }
    std::int16_t DriverVersion() const { return i16(34); }
    std::int16_t Duplex() const { return i16(62); }
    std::int32_t Fields() const { return i32(40); }
    std::u16string FormName() const { return name(70); }
    std::int16_t LogPixels() const { return i16(102); }
    std::int32_t NUP() const { return i32(116); }
    std::int16_t Orientation() const { return i16(44); }
    std::int16_t PaperLength() const { return i16(48); }
    std::int16_t PaperSize() const { return i16(46); }
    std::int16_t PaperWidth() const { return i16(50); }
    std::int32_t PelsHeight() const { return i32(112); }
    std::int32_t PelsWidth() const { return i32(108); }
    std::int16_t PrintQuality() const { return i16(58); }
    std::int16_t ScaleFactor() const { return i16(52); }
    std::int16_t SpecVersion() const { return i16(32); }
    std::int16_t TTOption() const { return i16(66); }
    std::int16_t YResolution() const { return i16(64); }

    // For the model: copies a spooler record (nullptr: nothing changes). A record shorter than
    // 124 bytes (by its length or its own size field) is copied as far as it goes and the
    // rest reads as zeros.
    void SetDevModePtr(const std::vector<std::uint8_t>* record);

    const std::uint8_t* bytes() const { return record_; }

  private:
    std::int16_t i16(std::size_t at) const {
        return std::int16_t(platform::bytes::loadLittleEndian<std::uint16_t>(record_ + at));
    }
    std::int32_t i32(std::size_t at) const {
        return std::int32_t(platform::bytes::loadLittleEndian<std::uint32_t>(record_ + at));
    }
    std::u16string name(std::size_t at) const;

    std::uint8_t record_[kSize] = {};
};

// A local date and time.
struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const DateTime&) const = default;
};

// One spool job.
class CPrinterJobInfo {
  public:
    bool IsPaused() const { return (rec_.status & platform::spooler::JOB_STATUS_PAUSED) != 0; }
    std::uint32_t SizeMax() const { return sizeMax_; }
    std::uint32_t TotalPagesMax() const { return totalPagesMax_; }
    const std::u16string& Datatype() const { return rec_.datatype; }
    const CDevMode& DEVMODE() const { return devMode_; }
    const std::u16string& Document() const { return rec_.document; }
    const std::u16string& DriverName() const { return rec_.driverName; }
    std::uint32_t JobId() const { return rec_.jobId; }
    const std::u16string& MachineName() const { return rec_.machineName; }
    const std::u16string& NotifyName() const { return rec_.notifyName; }
    std::uint32_t PagesPrinted() const { return rec_.pagesPrinted; }
    const std::u16string& Parameters() const { return rec_.parameters; }
    std::uint32_t Position() const { return rec_.position; }
    const std::u16string& PrinterName() const { return rec_.printerName; }
    const std::u16string& PrintProcessor() const { return rec_.printProcessor; }
    std::uint32_t Priority() const { return rec_.priority; }
    std::uint32_t Size() const { return rec_.size; }
    // The submission time in local time, with the offset that held at that instant.
    DateTime Submitted() const;
    std::uint32_t StartTime() const { return rec_.startTime; }
    std::uint32_t Status() const { return rec_.status; }
    // The spooler's own text, else the status bits spelled out (raises MissingResource when
    // the string table lacks a text).
    std::u16string StatusText() const;
    std::uint32_t Time() const { return rec_.time; }
    std::uint32_t TotalPages() const { return rec_.totalPages; }
    std::uint32_t UntilTime() const { return rec_.untilTime; }
    const std::u16string& UserName() const { return rec_.userName; }

    // For the model.
    void LoadJobInfo(const platform::spooler::JobInfo2& record);
    void UpdateSizeMax(std::uint32_t value);
    void UpdateTotalPagesMax(std::uint32_t value);

  private:
    platform::spooler::JobInfo2 rec_;
    CDevMode devMode_;
    std::uint32_t sizeMax_ = 0, totalPagesMax_ = 0;
};

// The jobs of one printer, keyed by the job id in upper-case hexadecimal.
class CPrinterJobs {
  public:
    using Item_t = std::shared_ptr<CPrinterJobInfo>;

    const std::u16string& DeviceName() const { return deviceName_; }
    void setDeviceName(std::u16string_view name);
    // The spooler's count of jobs (the collection is refreshed when it holds another number).
    std::int32_t Count();
    // By 1-based position or by key (without regard to case); nullptr when there is none.
    Item_t Item(long position) const;
    Item_t Item(std::u16string_view key) const;
    std::uint32_t GetPrinterError() const { return getPrinterError_; }

    auto begin() const { return jobs_.begin(); }
    auto end() const { return jobs_.end(); }
    std::size_t size() const { return jobs_.size(); }

    bool ControlCancel(std::uint32_t jobId);
    bool ControlRestart(std::uint32_t jobId);
    bool ControlResume(std::uint32_t jobId);
    bool ControlPause(std::uint32_t jobId);
    bool PositionMoveDown(std::uint32_t jobId);
    bool PositionMoveUp(std::uint32_t jobId);
    void Refresh();

    static std::u16string keyOf(std::uint32_t jobId);

  private:
    struct Entry {
        std::u16string key;
        Item_t job;
    };
    std::int32_t GetJobCount(const platform::spooler::PrinterHandle* handle);
    bool ControlJob(std::uint32_t jobId, std::uint32_t command);
    bool MoveJobPosition(std::uint32_t jobId, std::int32_t step);
    std::vector<Entry>::iterator FindJob(std::u16string_view key);

    std::u16string deviceName_;
    std::vector<Entry> jobs_;
    std::uint32_t getPrinterError_ = 0;
};

// One installed printer.
class CPrinterInfo {
  public:
    const std::u16string& DeviceName() const { return deviceName_; }
    void setDeviceName(std::u16string_view name);
    bool IsDefault() const;
    // True makes this printer the default; False does nothing.
    void setIsDefault(bool value);
    bool CanAdminister() const;
    const std::u16string& DisplayName() const { return displayName_; }
    std::uint32_t GetPrinterError() const { return getPrinterError_; }
    bool IsPaused() const { return (rec_.status & platform::spooler::PRINTER_STATUS_PAUSED) != 0; }
    bool IsShared() const {
        return (rec_.attributes & platform::spooler::PRINTER_ATTRIBUTE_SHARED) != 0;
    }
    bool IsToFile() const { return rec_.portName.find(u"FILE:") != std::u16string::npos; }
    bool IsLocal() const {
        return (rec_.attributes & platform::spooler::PRINTER_ATTRIBUTE_LOCAL) != 0;
    }
    bool IsNetwork() const {
        return rec_.portName.find(u"\\\\") != std::u16string::npos ||
               (rec_.attributes & platform::spooler::PRINTER_ATTRIBUTE_NETWORK);
    }
    // The error's text while the last read failed, else the status (raises MissingResource
    // when the string table lacks a text).
    std::u16string StatusText() const;

    std::uint32_t Attributes() const { return rec_.attributes; }
    std::uint32_t AveragePPM() const { return rec_.averagePpm; }
    const std::u16string& Comment() const { return rec_.comment; }
    const std::u16string& Datatype() const { return rec_.datatype; }
    std::uint32_t DefaultPriority() const { return rec_.defaultPriority; }
    const CDevMode& DEVMODE() const { return devMode_; }
    const std::u16string& DriverName() const { return rec_.driverName; }
    CPrinterJobs& Jobs() { return jobs_; }
    const std::u16string& Location() const { return rec_.location; }
    const std::u16string& Parameters() const { return rec_.parameters; }
    const std::u16string& PortName() const { return rec_.portName; }
    const std::u16string& PrinterName() const { return rec_.printerName; }
    const std::u16string& PrintProcessor() const { return rec_.printProcessor; }
    std::uint32_t Priority() const { return rec_.priority; }
    const std::u16string& SeparatorPageFile() const { return rec_.sepFile; }
    const std::u16string& ServerName() const { return rec_.serverName; }
    const std::u16string& ShareName() const { return rec_.shareName; }
    std::uint32_t StartTime() const { return rec_.startTime; }
    std::uint32_t Status() const { return rec_.status; }
    std::uint32_t UntilTime() const { return rec_.untilTime; }

    bool ControlPause() { return ControlPrinter(platform::spooler::PRINTER_CONTROL_PAUSE); }
    bool ControlPurge() { return ControlPrinter(platform::spooler::PRINTER_CONTROL_PURGE); }
    bool ControlResume() { return ControlPrinter(platform::spooler::PRINTER_CONTROL_RESUME); }
    void Refresh();
    // Opens the driver's printer properties dialog through the hook below (none: nothing).
    void ShowPropertiesDialog(std::intptr_t parentWindow);

    // Where the desktop shows a driver's printer properties dialog.
    static void setPropertiesDialogHook(
        std::function<void(const std::u16string& device, std::intptr_t parent)> hook);

    // The text of a Windows error number: the system's message without its line end, or
    // "Error (<n>) not defined.".
    static std::u16string ApiErrorText(std::uint32_t code);

  private:
    bool ControlPrinter(std::uint32_t command);
    static std::u16string GetDefaultPrinterName();

    std::u16string deviceName_, displayName_;
    platform::spooler::PrinterInfo2 rec_;
    std::uint32_t getPrinterError_ = 0;
    CDevMode devMode_;
    CPrinterJobs jobs_;
};

// The installed printers, keyed by device name (without regard to case), in the order of the
// profile's printer list.
class CPrinters {
  public:
    using AddedHandler = std::function<void(const std::u16string& deviceName)>;

    // Reads the printers at once; onAdded is raised for each printer put in, at every Refresh.
    explicit CPrinters(AddedHandler onAdded = {});

    std::int32_t Count() const { return std::int32_t(printers_.size()); }
    // Raises platform::text::InvalidCall for a name that is not in the collection.
    CPrinterInfo& Item(std::u16string_view deviceName) const;
    bool PrintersCollectionBad() const { return bad_; }
    void Refresh();

    auto begin() const { return printers_.begin(); }
    auto end() const { return printers_.end(); }

  private:
    AddedHandler onAdded_;
    std::vector<std::unique_ptr<CPrinterInfo>> printers_;
    bool bad_ = false;
};

}  // namespace printers
