#include "platform/imaging/imaging.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <utility>

namespace platform::imaging {

namespace {

// The caller's bytes, read in place.
QByteArray inPlace(std::span<const std::uint8_t> bytes) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<qsizetype>(bytes.size()));
}

}  // namespace

std::optional<PictureSize> pictureSize(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    QByteArray data = inPlace(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() <= 0 || size.height() <= 0) return std::nullopt;
    return PictureSize{size.width(), size.height()};
}

std::optional<Picture> loadPicture(std::span<const std::uint8_t> bytes, std::uint32_t fill) {
    if (bytes.empty()) return std::nullopt;
    QByteArray data = inPlace(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    QImage image = reader.read();  // the first frame or page
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return std::nullopt;

    // An opaque image decoded as 0xFFRRGGBB pixels is its own canvas; any other is painted over
    // the fill colour, which shows where it is transparent.
    QImage canvas;
    if (image.format() == QImage::Format_RGB32) {
        canvas = std::move(image);
    } else {
        canvas = QImage(image.size(), QImage::Format_RGB32);
        canvas.fill(QColor(fill & 0xFF, (fill >> 8) & 0xFF, (fill >> 16) & 0xFF));
        QPainter painter(&canvas);
        painter.drawImage(0, 0, image);
    }
    Picture picture;
    picture.width = canvas.width();
    picture.height = canvas.height();
    const auto width = static_cast<std::size_t>(picture.width);
    picture.pixels.resize(width * static_cast<std::size_t>(picture.height));
    std::uint32_t* out = picture.pixels.data();
    for (int y = 0; y < picture.height; ++y, out += width) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(canvas.constScanLine(y));
        for (std::size_t x = 0; x < width; ++x) out[x] = row[x] | 0xFF000000u;
    }
    return picture;
}

}  // namespace platform::imaging
