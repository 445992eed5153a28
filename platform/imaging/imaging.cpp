#include "platform/imaging/imaging.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

namespace platform::imaging {

std::optional<Picture> loadPicture(std::span<const std::uint8_t> bytes, std::uint32_t fill) {
    if (bytes.empty()) return std::nullopt;
    QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    QImage image = reader.read();  // the first frame or page
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return std::nullopt;

    QImage canvas(image.size(), QImage::Format_RGB32);
    canvas.fill(QColor(fill & 0xFF, (fill >> 8) & 0xFF, (fill >> 16) & 0xFF));
    {
        QPainter painter(&canvas);
        painter.drawImage(0, 0, image);
    }
    Picture picture;
    picture.width = canvas.width();
    picture.height = canvas.height();
    picture.pixels.resize(static_cast<std::size_t>(picture.width) *
                          static_cast<std::size_t>(picture.height));
    for (int y = 0; y < canvas.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(canvas.constScanLine(y));
        for (int x = 0; x < canvas.width(); ++x)
            picture.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                           static_cast<std::size_t>(x)] = row[x] | 0xFF000000u;
    }
    return picture;
}

}  // namespace platform::imaging
