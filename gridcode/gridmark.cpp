// The exports of the grid code library.
#include "gridcode/gridmark.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "gridcode/coding.h"
#include "gridcode/digital.h"
#include "gridcode/geometry.h"
#include "gridcode/layout.h"
#include "platform/com/error.h"
#include "platform/gdi/gdi.h"
#include "platform/outside/mavrin.h"

struct GridBitmap {
    platform::gdi::BitmapPtr pixels;
    std::uint16_t planes = 1;
    std::uint16_t bitsPerPixel = 1;
};

namespace gridcode {
namespace {

constexpr platform::gdi::Color kWhite = 0xFFFFFF;
constexpr platform::gdi::Color kBlack = 0;
constexpr int kBandBytes = 65280;
constexpr int kBorder = 16;
constexpr char kTrailerMask[] = "OlmetarQ";

// The filler under the code: a linear congruential generator started afresh by every call.
class Filler {
  public:
    std::uint8_t next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<std::uint8_t>((state_ >> 16) & 0x7FFF);
    }

  private:
    std::uint32_t state_ = 1;
};

// The module rows of the code: every three data rows followed by their check row.
std::int32_t buildModules(const GridParams& p, const std::vector<std::uint8_t>& cells,
                          std::vector<std::uint8_t>& modules) {
    const int c = p.ColumnBytes;
    const int groups = p.Rows / 3;
    modules.assign(static_cast<std::size_t>(groups) * 4 * c, 0xFF);
    int reported = 255;
    for (int g = 0; g < groups; ++g) {
        if (p.Progress) {
            const int value = 150 * (g + 1) / p.Rows;
            if (value != reported) {
                reported = value;
                if (p.Progress(kProgressFill, value, 0) != 1) return kCancelled;
            }
        }
        const std::uint8_t* rows = cells.data() + static_cast<std::size_t>(g) * 3 * c;
        std::uint8_t* out = modules.data() + static_cast<std::size_t>(g) * 4 * c;
        std::copy(rows, rows + 3 * c, out);
        for (int j = 0; j < c; ++j)
            out[3 * c + j] = checkRowByte(rows[j], rows[c + j], rows[2 * c + j]);
    }
    return kOk;
}

void drawFrame(platform::gdi::Dc& dc, int w, int h, int fx) {
    const int n = std::clamp(fx / 2, 2, 14);
    dc.selectPen(platform::gdi::Pen{kBlack, 1});
    for (int i = 0; i < n; ++i) {
        dc.moveTo(15 - i, 15 - i);
        dc.lineTo(16 + w + i, 15 - i);
        dc.lineTo(16 + w + i, 16 + h + i);
        dc.lineTo(15 - i, 16 + h + i);
        dc.lineTo(15 - i, 15 - i);
    }
}

std::int32_t fillGrid(GridParams& p, GridBitmap* target) {
    int fx = 0, fy = 0;
    if (dotsPerModule(p, fx, fy) != kOk) return kUnsupported;
    Geometry g;
    if (computeGeometry(p, g) != kOk) return kNothing;
    if (p.DataLength != 0 && !p.Data) return kNothing;
    const GridLayout& l = g.layout;
    const std::size_t size = static_cast<std::size_t>(p.ColumnBytes) * p.Rows;

    std::vector<std::uint8_t> a, b, cells;
    try {
        a.assign(size, 0);
        b.resize(size);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    if (p.DataLength) std::memcpy(a.data(), p.Data, p.DataLength);
    scramble({a.data(), static_cast<std::size_t>(l.dataSpan)});

    std::uint8_t header[16];
    putLe32(header, crc32({a.data(), p.DataLength}));
    putLe32(header + 4, p.DataLength);
    putLe16(header + 8, static_cast<std::uint16_t>(l.check));
    putLe16(header + 10, static_cast<std::uint16_t>(l.total));
    putLe32(header + 12, crc32({header, 12}));

    Filler filler;
    for (auto& byte : b) byte = filler.next();
    GridLayout headerLayout{};
    headerLayout.total = 48;
    headerLayout.check = 32;
    headerLayout.dataBytes = 16;
    headerLayout.blocks = 1;
    if (layout::code(header, b.data(), headerLayout) != 1 ||
        layout::code(a.data(), b.data() + headerLayout.total, l) != 1)
        return kNothing;
    a = {};
    try {
        cells.resize(size);
    } catch (const std::bad_alloc&) {
        return kNothing;
    }
    layout::place(b.data(), cells.data(), p.ColumnBytes / 4, p.Rows / 24);
    b = {};

    std::vector<std::uint8_t> modules;
    if (buildModules(p, cells, modules) != kOk) return kCancelled;

    const int w = fx * p.ColumnBytes * 8;
    const int sourceHeight = p.Rows * 4 / 3;
    const int h = fy * sourceHeight;
    if (!target || !target->pixels || target->planes != 1 || target->bitsPerPixel != 1 ||
        target->pixels->width() != w + 32 || target->pixels->height() != h + 32)
        return kBadTarget;

    platform::gdi::Bitmap& bitmap = *target->pixels;
    platform::gdi::Dc dc(target->pixels);
    dc.fillRect({0, 0, bitmap.width(), bitmap.height()}, platform::gdi::Brush{kWhite});
    const int band = std::max(1, kBandBytes / ((w + 7) / 8) / fy);
    std::int32_t result = kOk;
    for (int done = 0; done < sourceHeight;) {
        const int rows = std::min(band, sourceHeight - done);
        if (p.Progress &&
            p.Progress(kProgressFill, (done + rows) * 50 / sourceHeight + 50, 0) != 1) {
            result = kCancelled;
            break;
        }
        for (int y = done; y < done + rows; ++y) {
            const std::uint8_t* row = modules.data() + static_cast<std::size_t>(y) * p.ColumnBytes;
            for (int x = 0; x < p.ColumnBytes * 8; ++x) {
                const bool white = (row[x / 8] >> (7 - x % 8)) & 1;
                if (white) continue;  // painted white already
                for (int dy = 0; dy < fy; ++dy)
                    for (int dx = 0; dx < fx; ++dx)
                        bitmap.setPixel(kBorder + x * fx + dx, kBorder + y * fy + dy, kBlack);
            }
        }
        done += rows;
    }
    drawFrame(dc, w, h, fx);
    return result;
}

std::int32_t printGrid(const GridParams& p, const GridDevice* device, const GridBitmap* source) {
    if (!device || !device->blit || !source || !source->pixels) return kDrawing;
    const platform::gdi::Bitmap& bitmap = *source->pixels;
    // Both factors go up to 65,535, so the offsets in dots are worked out in 64 bits; they end
    // below 43 million and fit the device's coordinates once they pass the size checks.
    const std::int64_t left = std::int64_t{p.LeftOffset} * p.XResolution / 100;
    const std::int64_t top = std::int64_t{p.TopOffset} * p.YResolution / 100;
    const int w = bitmap.width(), h = bitmap.height();
    const int stride = (w + 31) / 32 * 4;
    const int band = std::max(1, kBandBytes / ((w + 31) / 8));
    if (left + w > device->horzRes) return kTooWide;
    if (top + h > device->vertRes) return kTooTall;
    std::vector<std::uint8_t> rows;
    try {
        rows.resize(static_cast<std::size_t>(stride) * band);
    } catch (const std::bad_alloc&) {
        return kDrawing;
    }
    for (int done = 0; done < h;) {
        const int n = std::min(band, h - done);
        if (p.Progress && p.Progress(kProgressPrint, (done + n) * 100 / h, 0) != 1)
            return kCancelled;
        std::fill(rows.begin(), rows.end(), 0);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < w; ++x)
                if (bitmap.pixel(x, done + y) != kBlack)
                    rows[static_cast<std::size_t>(y) * stride + x / 8] |=
                        static_cast<std::uint8_t>(0x80 >> (x % 8));
        if (device->blit(device->context, static_cast<std::int32_t>(left),
                         static_cast<std::int32_t>(top + done), w, n, rows.data(), stride) != 1)
            return kDrawing;
        done += n;
    }
    return kOk;
}

void writeBitmapHeader(std::uint8_t* image, std::uint32_t rows) {
    std::memset(image, 0, 62);
    image[0] = 'B';
    image[1] = 'M';
    putLe32(image + 10, 62);
    putLe32(image + 14, 40);
    putLe32(image + 18, 640);
    putLe32(image + 22, rows);
    putLe16(image + 26, 1);
    putLe16(image + 28, 1);
    image[58] = image[59] = image[60] = 255;
}

void writeHeaderRow(std::uint8_t* image, const char* tag, std::uint32_t length, std::uint32_t coded,
                    bool digital) {
    std::memset(image + 62, 0, 80);
    std::memcpy(image + 62, tag, 8);
    putLe32(image + 70, length);
    if (digital) putLe32(image + 74, coded);
}

struct FreeBlock {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

std::int32_t fillDigitalGrid(const std::uint8_t* data, std::uint32_t length, const char* key,
                             std::uint16_t mode, std::uint8_t** image, std::uint32_t* imageSize,
                             std::uint8_t* trailer, std::int32_t option) {
    if (!image || !imageSize || !trailer || (length && !data)) return kNothing;
    if (mode > 100) return -200 + digital::kBadArgument;
    if (length > 0xFFFFFFFFu - 320) return kNoMemory;
    const std::size_t workSize = std::size_t{length} + 320;
    // Released on every way out, an exception included, unless handed out as the image.
    std::unique_ptr<std::uint8_t, FreeBlock> owned(
        static_cast<std::uint8_t*>(std::calloc(workSize, 1)));
    std::uint8_t* const work = owned.get();
    if (!work) return kNoMemory;
    if (length) std::memcpy(work + 142, data, length);
    std::uint8_t* payload = work + 142;

    std::uint32_t n = length;
    std::int32_t answer = platform::outside::mavrin::compress(payload, &n, option);
    if (answer == kCompressFailed) return kCompressFailed;
    const bool compressed = answer != platform::outside::mavrin::kStored;
    std::uint8_t block[20] = {};
    const std::size_t keyLength = key ? strnlen(key, 256) : 0;
    bool encrypted = false;
    if (keyLength) {
        const std::string keyText(key, keyLength);
        answer = platform::outside::mavrin::encrypt(payload, n, keyText.c_str(), block, option);
        if (answer != 1) return answer;
        encrypted = true;
    }
    putLe16(block + 12, compressed ? 1 : 0);
    putLe16(block + 14, encrypted ? 1 : 0);
    putLe32(block + 16, n);
    const std::uint32_t p = (n + 119) / 80 * 80 - 40;
    std::memcpy(payload + p, block, 20);

    putLe32(trailer + 16, static_cast<std::uint32_t>(std::time(nullptr)));
    std::uint8_t mask[8];
    for (int i = 0; i < 8; ++i) {
        mask[i] = static_cast<std::uint8_t>(kTrailerMask[i]);
        if (keyLength)
            mask[i] ^= static_cast<std::uint8_t>(key[i % std::min<std::size_t>(keyLength, 5)]);
    }
    std::uint8_t masked[20];
    std::memcpy(masked, trailer, 20);  // the caller's record keeps its clear bytes
    for (int i = 0; i < 16; ++i) masked[i] ^= mask[i % 8];
    std::memcpy(payload + p + 20, masked, 20);
    const std::uint32_t payloadSize = p + 40;

    if (mode == 0) {
        writeHeaderRow(work, "Korvane1", length, 0, false);
        writeBitmapHeader(work, (payloadSize + 80) / 80);
        *image = owned.release();
        *imageSize = 62 + 80 + payloadSize;
        return answer;
    }
    std::vector<std::uint8_t> coded;
    std::uint32_t codedLength = 0;
    const int rc = digital::encode(mode, payload, payloadSize, coded, codedLength);
    owned.reset();
    if (rc != 1) return rc - 200;
    const std::uint32_t rows = (codedLength + 159) / 80;
    const std::size_t size = std::size_t{rows} * 80 + 62;
    auto* out = static_cast<std::uint8_t*>(std::calloc(size, 1));
    if (!out) return -200 + digital::kNoMemory;
    std::memcpy(out, coded.data(), std::min(size, coded.size()));
    writeBitmapHeader(out, rows);
    writeHeaderRow(out, "Korvane2", length, codedLength, true);
    *image = out;
    *imageSize = static_cast<std::uint32_t>(size);
    return kOk;
}

// The longest data that fit the wanted size (GetDataLength).
std::int32_t dataLength(GridParams* params, std::int32_t* length) {
    if (!params || !length) return kNothing;
    const std::uint32_t savedFlags = params->SizeFlags, savedLength = params->DataLength;
    params->SizeFlags = 1;
    *length = 0;
    Geometry g;
    params->DataLength = 0;
    const std::int32_t first = computeGeometry(*params, g);
    if (first != kOk && first != kTooLong) {
        params->SizeFlags = savedFlags;
        params->DataLength = savedLength;
        return first;
    }
    std::uint32_t low = 0, high = kMaxDataLength, probe = kMaxDataLength;
    if (first == kOk) {
        while (true) {
            params->DataLength = probe;
            if (computeGeometry(*params, g) == kOk)
                low = probe;
            else
                high = probe;
            probe = (low + high) / 2;
            if (high - low <= 1) break;
        }
    } else {
        probe = 0;
    }
    params->SizeFlags = savedFlags;
    params->DataLength = savedLength;
    *length = static_cast<std::int32_t>(probe) - 40;
    return kOk;
}

}  // namespace
}  // namespace gridcode

using namespace gridcode;

// Every export runs in guardExport, so nothing of C++ leaves the library: an exception (memory
// refused, in practice) is answered with the export's own code for a refused resource.
constexpr std::u16string_view kSource = u"Gridmark";

extern "C" {

int32_t GetGridParam(GridParams* params, uint16_t* bitmapWidth, uint16_t* bitmapHeight) {
    return platform::com::guardExport(kSource, kNoMemory, [&]() -> std::int32_t {
        if (!params) return kNothing;
        Geometry g;
        const std::int32_t rc = computeGeometry(*params, g);
        if (rc != kOk) return rc;
        if (bitmapWidth) *bitmapWidth = static_cast<std::uint16_t>(g.bitmapWidth);
        if (bitmapHeight) *bitmapHeight = static_cast<std::uint16_t>(g.bitmapHeight);
        return kOk;
    });
}

int32_t GetGridSize(GridParams* params, uint16_t* width, uint16_t* height) {
    return platform::com::guardExport(kSource, kNoMemory, [&]() -> std::int32_t {
        if (!params) return kNothing;
        Geometry g;
        const std::int32_t rc = computeGeometry(*params, g);
        if (rc != kOk) return rc;
        if (width)
            *width = static_cast<std::uint16_t>((g.bitmapWidth - 28) * 100 / params->XResolution);
        if (height)
            *height = static_cast<std::uint16_t>((g.bitmapHeight - 28) * 100 / params->YResolution);
        return kOk;
    });
}

int32_t GetDataLength(GridParams* params, int32_t* length) {
    return platform::com::guardExport(kSource, kNoMemory,
                                      [&] { return dataLength(params, length); });
}

int32_t FillGrid(GridParams* params, GridBitmap* target) {
    return platform::com::guardExport(kSource, kNoMemory, [&]() -> std::int32_t {
        if (!params) return kNothing;
        return fillGrid(*params, target);
    });
}

int32_t PrintGrid(GridParams* params, const GridDevice* device, const GridBitmap* bitmap) {
    return platform::com::guardExport(kSource, kNoMemory, [&]() -> std::int32_t {
        if (!params) return kNothing;
        return printGrid(*params, device, bitmap);
    });
}

int32_t FillDigitalGrid(const uint8_t* data, uint32_t length, const char* key, uint16_t mode,
                        uint8_t** image, uint32_t* imageSize, uint8_t* trailer, int32_t option) {
    return platform::com::guardExport(kSource, kNoMemory, [&] {
        return fillDigitalGrid(data, length, key, mode, image, imageSize, trailer, option);
    });
}

void FreeDigitalGrid(uint8_t* image) {
    std::free(image);
}

int32_t CompressBufData(uint8_t* buffer, uint32_t* length, int32_t option) {
    return platform::com::guardExport(kSource, platform::outside::mavrin::kCompressFailed, [&] {
        return platform::outside::mavrin::compress(buffer, length, option);
    });
}

int32_t EncryptBufData(uint8_t* buffer, uint32_t length, const char* key, uint8_t* block,
                       int32_t option) {
    return platform::com::guardExport(kSource, platform::outside::mavrin::kEncryptFailed, [&] {
        return platform::outside::mavrin::encrypt(buffer, length, key, block, option);
    });
}

GridBitmap* GridCreateBitmap(int32_t width, int32_t height, uint16_t planes,
                             uint16_t bitsPerPixel) {
    return platform::com::guardExport(kSource, nullptr, [&]() -> GridBitmap* {
        if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return nullptr;
        auto b = std::make_unique<GridBitmap>();
        b->pixels = std::make_shared<platform::gdi::Bitmap>(width, height, kBlack);
        b->planes = planes;
        b->bitsPerPixel = bitsPerPixel;
        return b.release();
    });
}

void GridDestroyBitmap(GridBitmap* bitmap) {
    delete bitmap;
}

int32_t GridBitmapPixel(const GridBitmap* bitmap, int32_t x, int32_t y) {
    return platform::com::guardExport(kSource, -1, [&]() -> std::int32_t {
        if (!bitmap || !bitmap->pixels || !bitmap->pixels->inside(x, y)) return -1;
        return bitmap->pixels->pixel(x, y) == kBlack ? 0 : 1;
    });
}

}  // extern "C"
