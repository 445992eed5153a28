// Test support: the pieces of the frames that the print-road tests send and read back.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QIODevice>
#include <QImage>
#include <QString>

#include <optional>
#include <string>

#include "platform/text/codepage.h"

namespace tessel::server::testing {

// The body of a reply: code, result and state.
inline std::string body(const std::optional<std::u16string>& reply) {
    return reply && reply->size() > 35 ? platform::text::toUtf8(reply->substr(35))
                                       : std::string("<none>");
}

// A "CE01" body with one blue PNG page of `width` x `height` pixels as hexadecimal text.
inline std::u16string pngPage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(20, 40, 160));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return u"0001," + QString::fromLatin1(png.toHex()).toStdU16String();
}

}  // namespace tessel::server::testing
