#include "platform/imaging/imaging.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
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

std::optional<PictureSize> pictureSize(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    BytesReader in(bytes);
    const QSize size = in.reader.size();
    if (!size.isValid() || size.width() <= 0 || size.height() <= 0) return std::nullopt;
    return PictureSize{size.width(), size.height()};
}

std::optional<Picture> loadPicture(std::span<const std::uint8_t> bytes, std::uint32_t fill) {
    if (bytes.empty()) return std::nullopt;
    BytesReader in(bytes);
    QImageReader& reader = in.reader;
    // An opaque image decoded as 0xFFRRGGBB pixels is its own canvas: the reader decodes it
    // straight into the picture's pixels when the header gives its size (they start opaque
    // black, so whatever a short file leaves unwritten is what a fresh picture shows there).
    // Any other is painted over the fill colour, which shows where it is transparent.
    Picture picture;
    QImage image;
    const QSize size = reader.size();
    constexpr qint64 kMostPixels = (qint64(256) << 20) / 4;  // the reader's own limit
    if (size.isValid() && size.width() > 0 && size.height() > 0 &&
        qint64(size.width()) * size.height() <= kMostPixels) {
        picture.pixels = takePixels(
            static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height()),
            kOpaqueBlack);
        image = QImage(reinterpret_cast<uchar*>(picture.pixels.data()), size.width(), size.height(),
                       size.width() * 4, QImage::Format_RGB32);
        if (!reader.read(&image)) image = QImage();
    } else {
        image = reader.read();  // the first frame or page
    }
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return std::nullopt;
    picture.width = image.width();
    picture.height = image.height();
    decoded(picture.width, picture.height);
    const auto width = static_cast<std::size_t>(picture.width);
    const std::size_t count = width * static_cast<std::size_t>(picture.height);
    if (image.format() == QImage::Format_RGB32 &&
        image.constBits() == reinterpret_cast<const uchar*>(picture.pixels.data()) &&
        picture.pixels.size() == count) {
        return picture;  // the reader writes 32-bit colour as 0xFFRRGGBB
    }

    QImage canvas;
    if (image.format() == QImage::Format_RGB32) {
        canvas = std::move(image);
    } else {
        canvas = QImage(image.size(), QImage::Format_RGB32);
        canvas.fill(QColor(fill & 0xFF, (fill >> 8) & 0xFF, (fill >> 16) & 0xFF));
        QPainter painter(&canvas);
        painter.drawImage(0, 0, image);
    }
    if (picture.pixels.size() != count) {
        keepPixels(std::move(picture.pixels));
        picture.pixels = takePixels(count);
    }
    std::vector<std::uint32_t> pixels = std::move(picture.pixels);
    std::uint32_t* out = pixels.data();
    for (int y = 0; y < picture.height; ++y, out += width) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(canvas.constScanLine(y));
        for (std::size_t x = 0; x < width; ++x) out[x] = row[x] | 0xFF000000u;
    }
    picture.pixels = std::move(pixels);
    return picture;
}

}  // namespace platform::imaging
