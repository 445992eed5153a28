#include "platform/imaging/imaging.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

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

}  // namespace

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
    // straight into the picture's pixels when the header gives its size. Any other is painted
    // over the fill colour, which shows where it is transparent.
    Picture picture;
    QImage image;
    const QSize size = reader.size();
    constexpr qint64 kMostPixels = (qint64(256) << 20) / 4;  // the reader's own limit
    if (size.isValid() && size.width() > 0 && size.height() > 0 &&
        qint64(size.width()) * size.height() <= kMostPixels) {
        picture.pixels.resize(static_cast<std::size_t>(size.width()) *
                              static_cast<std::size_t>(size.height()));
        image = QImage(reinterpret_cast<uchar*>(picture.pixels.data()), size.width(), size.height(),
                       size.width() * 4, QImage::Format_RGB32);
        if (!reader.read(&image)) image = QImage();
    } else {
        image = reader.read();  // the first frame or page
    }
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return std::nullopt;
    picture.width = image.width();
    picture.height = image.height();
    const auto width = static_cast<std::size_t>(picture.width);
    const std::size_t count = width * static_cast<std::size_t>(picture.height);
    if (image.format() == QImage::Format_RGB32 &&
        image.constBits() == reinterpret_cast<const uchar*>(picture.pixels.data()) &&
        picture.pixels.size() == count) {
        for (std::uint32_t& p : picture.pixels) p |= 0xFF000000u;
        return picture;
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
    std::vector<std::uint32_t> pixels(count);
    std::uint32_t* out = pixels.data();
    for (int y = 0; y < picture.height; ++y, out += width) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(canvas.constScanLine(y));
        for (std::size_t x = 0; x < width; ++x) out[x] = row[x] | 0xFF000000u;
    }
    picture.pixels = std::move(pixels);
    return picture;
}

}  // namespace platform::imaging
