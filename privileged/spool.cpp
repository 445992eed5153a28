// The printers' stored defaults: spooling, bidirectional support, kept jobs, print quality.
#include "platform/bytes/byteorder.h"
#include "platform/spooler/spooler.h"
#include "printers/printers.h"
#include "privileged/kestrum.h"

namespace kestrum {

namespace bytes = platform::bytes;
namespace sp = platform::spooler;

namespace {

constexpr std::size_t kPrintQualityOffset = 58;

std::optional<sp::PrinterHandle> openAll(std::u16string_view printer) {
    auto h = sp::PrinterHandle::open(printer, sp::PRINTER_ALL_ACCESS);
    if (!h) return std::nullopt;
    return std::move(*h);
}

void clear(std::uint32_t& attributes, std::uint32_t bit) {
    if (attributes & bit) attributes ^= bit;
}

// Reads the level-5 record, lets `change` edit it (with a writer for intermediate states) and
// writes it; false when the printer could not be opened or read. Write failures are logged.
bool editAttributes(
    std::u16string_view printer,
    const std::function<void(sp::PrinterInfo5&, const std::function<bool()>& write)>& change) {
    auto handle = openAll(printer);
    if (!handle) return false;
    auto info = handle->info5();
    if (!info) return false;
    bool allWritten = true;
    auto write = [&] {
        std::uint32_t e = handle->setInfo5(*info);
        if (e != sp::kOk) {
            log(u"the spooler refused the settings of " + std::u16string(printer));
            allWritten = false;
        }
        return e == sp::kOk;
    };
    change(*info, write);
    return allWritten;
}

}  // namespace

void showDocumentDefaults(std::u16string_view printer, std::uint32_t owner) {
    // No printer driver offers a settings dialog here; the request is noted.
    log(u"document defaults of " + std::u16string(printer) + u" requested");
}

std::int16_t setPrintQuality(std::int16_t quality, std::u16string_view printer) {
    auto handle = openAll(printer);
    if (!handle) return 0;
    auto info = handle->info2();
    if (!info || !info->devMode || info->devMode->size() < kPrintQualityOffset + 2) return 0;
    sp::DevMode& dm = *info->devMode;
    std::uint8_t* field = dm.data() + kPrintQualityOffset;
    const auto old = static_cast<std::int16_t>(bytes::loadLittleEndian<std::uint16_t>(field));
    // Only the quality changes; the record's field mask stays as it was.
    bytes::storeLittleEndian<std::uint16_t>(field, static_cast<std::uint16_t>(quality));
    if (handle->setInfo2(*info) != sp::kOk)
        log(u"the spooler refused the print quality of " + std::u16string(printer));
    return old;
}

void setSpoolMode(bool spool, std::u16string_view printer) {
    editAttributes(printer, [&](sp::PrinterInfo5& i, const auto& write) {
        if (spool) {
            clear(i.attributes, sp::PRINTER_ATTRIBUTE_DIRECT);
            clear(i.attributes, sp::PRINTER_ATTRIBUTE_QUEUED);
            clear(i.attributes, sp::PRINTER_ATTRIBUTE_ENABLE_DEVQ);
        } else {
            i.attributes |= sp::PRINTER_ATTRIBUTE_DIRECT;
        }
        write();
    });
}

void setBidiAndRaw(std::int32_t bidi, std::int16_t adv, std::u16string_view printer) {
    editAttributes(printer, [&](sp::PrinterInfo5& i, const auto& write) {
        if (bidi == 1) i.attributes |= sp::PRINTER_ATTRIBUTE_ENABLE_BIDI;
        if (bidi == 0) clear(i.attributes, sp::PRINTER_ATTRIBUTE_ENABLE_BIDI);
        if (adv == 1) clear(i.attributes, sp::PRINTER_ATTRIBUTE_RAW_ONLY);
        if (adv == 0) i.attributes |= sp::PRINTER_ATTRIBUTE_RAW_ONLY;
        write();
    });
}

bool clearKeepPrintedJobs(std::u16string_view printer) {
    bool written = false;
    bool read = editAttributes(printer, [&](sp::PrinterInfo5& i, const auto& write) {
        clear(i.attributes, sp::PRINTER_ATTRIBUTE_KEEPPRINTEDJOBS);
        written = write();
    });
    return read && written;
}

void resetPrinterQueueMode(std::u16string_view printer) {
    editAttributes(printer, [&](sp::PrinterInfo5& i, const auto& write) {
        auto spooled = [&] {
            clear(i.attributes, sp::PRINTER_ATTRIBUTE_DIRECT);
            clear(i.attributes, sp::PRINTER_ATTRIBUTE_KEEPPRINTEDJOBS);
            clear(i.attributes, sp::PRINTER_ATTRIBUTE_QUEUED);
            clear(i.attributes, sp::PRINTER_ATTRIBUTE_ENABLE_DEVQ);
        };
        if (i.attributes & sp::PRINTER_ATTRIBUTE_DIRECT) {
            spooled();
            write();
            i.attributes |= sp::PRINTER_ATTRIBUTE_DIRECT;
            write();
        } else {
            write();
            spooled();
            write();
        }
    });
}

std::int32_t printerAttributes(std::u16string_view printer) {
    auto handle = openAll(printer);
    if (!handle) return -1;
    auto info = handle->info5();
    return info ? static_cast<std::int32_t>(info->attributes) : -1;
}

bool canAdminister(std::u16string_view printer) {
    printers::CPrinterInfo info;
    info.setDeviceName(printer);
    return info.CanAdminister();
}

}  // namespace kestrum
