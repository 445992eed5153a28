#include "platform/imaging/imaging.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QRgb>

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>

namespace platform::imaging {

namespace {

// An image reader over the caller's bytes, read in place; orientation tags are not applied.
struct BytesReader {
    explicit BytesReader(std::span<const std::uint8_t> bytes)
        : data(QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                       static_cast<qsizetype>(bytes.size()))),
          buffer(&data) {
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setAutoTransform(false);
    }
    QByteArray data;
    QBuffer buffer;
    QImageReader reader;
};

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

// The kept storage, newest last.
struct PixelStore {
    std::mutex mutex;
    std::vector<std::vector<std::uint32_t>> kept;
    std::size_t bytes = 0;
    std::size_t limit = std::size_t(256) << 20;

    static std::size_t bytesOf(const std::vector<std::uint32_t>& v) {
        return v.capacity() * sizeof(std::uint32_t);
    }
    // Frees the oldest until at most `most` bytes are kept; the caller holds the lock and frees
    // what comes back after releasing it.
    std::vector<std::vector<std::uint32_t>> trimTo(std::size_t most) {
        std::vector<std::vector<std::uint32_t>> gone;
        std::size_t drop = 0;
        while (drop < kept.size() && bytes > most) bytes -= bytesOf(kept[drop++]);
        gone.assign(std::make_move_iterator(kept.begin()),
                    std::make_move_iterator(kept.begin() + static_cast<std::ptrdiff_t>(drop)));
        kept.erase(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(drop));
        return gone;
    }
};

}  // namespace

void prepareDecoders() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A reader that finds no handler for its bytes asks every plugin, making each one.
        QByteArray nothing;
        QBuffer buffer(&nothing);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        (void)reader.canRead();
    });
}

namespace {

// Never destroyed: a picture may let its storage go while the program exits.
PixelStore& store() {
    static PixelStore* s = new PixelStore;
    return *s;
}

struct DecodeHook {
    std::mutex mutex;
    std::function<void(std::int32_t, std::int32_t)> hook;
};
DecodeHook& decodeHook() {
    static DecodeHook* h = new DecodeHook;
    return *h;
}
void decoded(std::int32_t width, std::int32_t height) {
    DecodeHook& h = decodeHook();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (h.hook) h.hook(width, height);
}

}  // namespace

// Fresh picture storage is written whole at once (filled, then decoded into): asked for in large
// pages where the system has them, it comes in with one fault for each 2 MiB instead of one
// for each 4 KiB, which costs far more than the writing where faults are dear (virtual
// machines). The resident size is the same: only large pages wholly inside it are affected.
namespace {
void adviseLargePages(void* data, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLarge = 2u << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kLarge - 1) & ~(kLarge - 1);
    const std::uintptr_t end = (start + bytes) & ~(kLarge - 1);
    if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
}  // namespace

void keepPixels(std::vector<std::uint32_t>&& pixels) {
    if (pixels.capacity() == 0) return;
    PixelStore& s = store();
    std::vector<std::vector<std::uint32_t>> gone;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        const std::size_t bytes = PixelStore::bytesOf(pixels);
        if (bytes > s.limit) return;  // freed by the caller's vector
        s.bytes += bytes;
        s.kept.push_back(std::move(pixels));
        gone = s.trimTo(s.limit);
    }
}

std::vector<std::uint32_t> takePixels(std::size_t count, std::uint32_t value) {
    PixelStore& s = store();
    std::vector<std::uint32_t> pixels;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        // The newest that holds the count without wasting more than a quarter of it.
        for (std::size_t i = s.kept.size(); i-- > 0;) {
            const std::size_t capacity = s.kept[i].capacity();
            if (capacity >= count && capacity - count <= count / 4) {
                s.bytes -= PixelStore::bytesOf(s.kept[i]);
                pixels = std::move(s.kept[i]);
                s.kept.erase(s.kept.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
    if (pixels.capacity() < count) {
        pixels = std::vector<std::uint32_t>();
        pixels.reserve(count);
        adviseLargePages(pixels.data(), count * sizeof(std::uint32_t));
    }
    // Kept storage is cleared as fresh storage comes: a reader that leaves part of a picture
    // unwritten never shows what an earlier picture held there.
    pixels.resize(std::min(pixels.size(), count));
    std::fill(pixels.begin(), pixels.end(), value);
    pixels.resize(count, value);
    return pixels;
}

void releaseKeptPixels() {
    PixelStore& s = store();
    std::vector<std::vector<std::uint32_t>> gone;
    std::lock_guard<std::mutex> lock(s.mutex);
    gone.swap(s.kept);
    s.bytes = 0;
}

std::size_t keptPixelBytes() {
    PixelStore& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.bytes;
}

void setKeptPixelsLimit(std::size_t bytes) {
    PixelStore& s = store();
    std::vector<std::vector<std::uint32_t>> gone;
    std::lock_guard<std::mutex> lock(s.mutex);
    s.limit = bytes;
    gone = s.trimTo(bytes);
}

void trimKeptPixels(std::size_t bytes) {
    PixelStore& s = store();
    std::vector<std::vector<std::uint32_t>> gone;
    std::lock_guard<std::mutex> lock(s.mutex);
    gone = s.trimTo(bytes);
}

void setDecodeHook(std::function<void(std::int32_t, std::int32_t)> hook) {
    DecodeHook& h = decodeHook();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.hook = std::move(hook);
}

namespace {

// The formats the readers write as 32-bit pixels, which they write straight into the picture's
// own storage when it is handed to them in that format.
bool inPlaceFormat(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

// The bytes of the reader's own image of that format, when it cannot decode into the picture.
std::size_t workingBytesOf(QImage::Format format, const QSize& size) {
    if (inPlaceFormat(format)) return 0;
    // A format the header does not tell is taken at the widest a reader here decodes to (16 bits
    // a channel, four channels).
    const int depth =
        format == QImage::Format_Invalid ? 64 : QImage::toPixelFormat(format).bitsPerPixel();
    const std::size_t line =
        ((static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(depth) + 31) / 32) * 4;
    return line * static_cast<std::size_t>(size.height());
}

// One channel of `c` times `a` / 255, rounded as the painter rounds it.
inline std::uint32_t byteMul(std::uint32_t c, std::uint32_t a) {
    const std::uint32_t t = c * a;
    return (t + (t >> 8) + 0x80) >> 8;
}

// Paints pixels of straight or premultiplied alpha over the fill colour where they lie, as the
// painter paints them over a canvas of that colour: the result is opaque 0xFFRRGGBB.
void overFill(std::uint32_t* pixels, std::size_t count, bool premultiplied, std::uint32_t fill) {
    const std::uint32_t fr = fill & 0xFF, fg = (fill >> 8) & 0xFF, fb = (fill >> 16) & 0xFF;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = premultiplied ? pixels[i] : qPremultiply(pixels[i]);
        const std::uint32_t rest = 255 - qAlpha(p);
        if (rest == 0) {
            pixels[i] = p | 0xFF000000u;
            continue;
        }
        const std::uint32_t r = qRed(p) + byteMul(fr, rest);
        const std::uint32_t g = qGreen(p) + byteMul(fg, rest);
        const std::uint32_t b = qBlue(p) + byteMul(fb, rest);
        pixels[i] =
            0xFF000000u | std::min(r, 255u) << 16 | std::min(g, 255u) << 8 | std::min(b, 255u);
    }
}

constexpr qint64 kMostPixels = (qint64(256) << 20) / 4;  // the reader's own limit

}  // namespace

std::optional<PictureSize> pictureSize(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    BytesReader in(bytes);
    const QSize size = in.reader.size();
    if (!size.isValid() || size.width() <= 0 || size.height() <= 0) return std::nullopt;
    return PictureSize{size.width(), size.height(), workingBytesOf(in.reader.imageFormat(), size)};
}

std::optional<Picture> loadPicture(std::span<const std::uint8_t> bytes, std::uint32_t fill) {
    if (bytes.empty()) return std::nullopt;
    BytesReader in(bytes);
    QImageReader& reader = in.reader;
    // An image the reader decodes as 32-bit pixels is decoded straight into the picture's own
    // storage when the header gives its size (it starts opaque black, so whatever a short file
    // leaves unwritten is what a fresh picture shows there); pixels with alpha are then painted
    // over the fill colour where they lie. Any other is decoded into the reader's own image and
    // painted over the fill colour into the picture's storage. So a decode holds the picture
    // and, for those other formats alone, the reader's image (pictureSize tells its bytes).
    Picture picture;
    QImage image;
    const QSize size = reader.size();
    const QImage::Format format = reader.imageFormat();
    const bool sized = size.isValid() && size.width() > 0 && size.height() > 0 &&
                       qint64(size.width()) * size.height() <= kMostPixels;
    const auto pixelsOf = [](const QSize& s) {
        return static_cast<std::size_t>(s.width()) * static_cast<std::size_t>(s.height());
    };
    if (sized && inPlaceFormat(format)) {
        picture.pixels = takePixels(pixelsOf(size), kOpaqueBlack);
        image = QImage(reinterpret_cast<uchar*>(picture.pixels.data()), size.width(), size.height(),
                       size.width() * 4, format);
        if (!reader.read(&image)) image = QImage();
    } else {
        image = reader.read();  // the first frame or page
    }
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return std::nullopt;
    picture.width = image.width();
    picture.height = image.height();
    decoded(picture.width, picture.height);
    const std::size_t count = pixelsOf(image.size());
    const bool inPlace =
        image.constBits() == reinterpret_cast<const uchar*>(picture.pixels.data()) &&
        picture.pixels.size() == count && image.bytesPerLine() == image.width() * 4;
    if (inPlace && image.format() == QImage::Format_RGB32) {
        return picture;  // the reader writes 32-bit colour as 0xFFRRGGBB
    }
    if (inPlace && (image.format() == QImage::Format_ARGB32 ||
                    image.format() == QImage::Format_ARGB32_Premultiplied)) {
        const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
        image = QImage();
        overFill(picture.pixels.data(), count, premultiplied, fill);
        return picture;
    }

    // The reader's own image, painted over the fill colour into the picture's storage (taken
    // filled with it). The painter writes 32-bit colour as 0xFFRRGGBB.
    const std::uint32_t canvasFill =
        0xFF000000u | (fill & 0xFF) << 16 | (fill & 0xFF00) | (fill >> 16 & 0xFF);
    if (picture.pixels.size() == count) {
        std::fill(picture.pixels.begin(), picture.pixels.end(), canvasFill);
    } else {
        keepPixels(std::move(picture.pixels));
        picture.pixels = takePixels(count, canvasFill);
    }
    {
        QImage canvas(reinterpret_cast<uchar*>(picture.pixels.data()), picture.width,
                      picture.height, picture.width * 4, QImage::Format_RGB32);
        QPainter painter(&canvas);
        painter.drawImage(0, 0, image);
    }
    image = QImage();
    return picture;
}

}  // namespace platform::imaging
