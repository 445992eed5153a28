// The page images of the issue benchmarks: ten distinct A4 certificate pages scanned at 200 dpi,
// PNG and JPEG by turns, drawn the same in every run. Longer issues take them by turns.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace tessel::bench {

// The ten distinct page images; longer issues take them by turns.
constexpr int kPages = 10;
// An A4 sheet scanned at 200 dpi.
constexpr int kWidth = 1654;
constexpr int kHeight = 2339;

// Deterministic small numbers for the page drawings.
class Dice {
  public:
    explicit Dice(std::uint32_t seed) : x_(seed * 2654435761u + 7) {}
    int below(int n) {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 17;
        x_ ^= x_ << 5;
        return static_cast<int>(x_ % static_cast<std::uint32_t>(n));
    }

  private:
    std::uint32_t x_;
};

// A line of text-like strokes: words of glyphs, each glyph a few anti-aliased pen strokes in its
// cell, as a scanned printed page looks to an image coder.
inline void strokeLine(QPainter& painter, Dice& dice, double x, double baseline, double right,
                       double cell) {
    while (x < right - cell * 3) {
        const int letters = 2 + dice.below(8);
        for (int g = 0; g < letters && x < right - cell; ++g, x += cell) {
            const int strokes = 2 + dice.below(3);
            for (int s = 0; s < strokes; ++s) {
                const double x0 = x + cell * 0.15 + dice.below(60) * cell * 0.01;
                const double x1 = x + cell * 0.15 + dice.below(60) * cell * 0.01;
                const double y0 = baseline - dice.below(100) * cell * 0.013;
                const double y1 = baseline - dice.below(100) * cell * 0.013;
                painter.drawLine(QPointF(x0, y0), QPointF(x1, y1));
            }
        }
        x += cell * 0.8;  // the space between words
    }
}

// A certificate page: a light security pattern, a framed border, a heading, paragraphs of text,
// a table and a red seal; `page` varies the text.
inline QImage pageImage(int page) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    Dice dice(static_cast<std::uint32_t>(page + 1));

    painter.setPen(QPen(QColor(214, 226, 240), 1.2));
    for (int wave = 0; wave < kHeight; wave += 18) {
        QPainterPath path(QPointF(0, wave));
        for (int x = 0; x <= kWidth; x += 12)
            path.lineTo(x, wave + 7 * std::sin(x / 55.0 + wave / 90.0));
        painter.drawPath(path);
    }
    painter.setPen(QPen(QColor(40, 60, 110), 6));
    painter.drawRect(QRectF(70, 70, kWidth - 140, kHeight - 140));
    painter.setPen(QPen(QColor(40, 60, 110), 2));
    painter.drawRect(QRectF(86, 86, kWidth - 172, kHeight - 172));

    painter.setPen(QPen(QColor(15, 15, 15), 5, Qt::SolidLine, Qt::RoundCap));
    strokeLine(painter, dice, 520, 260, kWidth - 520, 56);
    painter.setPen(QPen(QColor(20, 20, 20), 2.4, Qt::SolidLine, Qt::RoundCap));
    double y = 400;
    for (int paragraph = 0; paragraph < 4; ++paragraph) {
        const int lines = 5 + dice.below(6);
        for (int l = 0; l < lines; ++l, y += 34)
            strokeLine(painter, dice, 180, y, l + 1 == lines ? 900 + dice.below(500) : kWidth - 180,
                       17);
        y += 30;
    }
    painter.setPen(QPen(QColor(30, 30, 30), 2));
    const double top = y + 20;
    for (int row = 0; row <= 12; ++row)
        painter.drawLine(QPointF(180, top + row * 44), QPointF(kWidth - 180, top + row * 44));
    for (double column : {180.0, 420.0, 900.0, 1200.0, kWidth - 180.0})
        painter.drawLine(QPointF(column, top), QPointF(column, top + 12 * 44));
    painter.setPen(QPen(QColor(20, 20, 20), 2.2, Qt::SolidLine, Qt::RoundCap));
    for (int row = 0; row < 12; ++row)
        for (double column : {190.0, 430.0, 910.0, 1210.0})
            strokeLine(painter, dice, column, top + row * 44 + 32, column + 160 + dice.below(60),
                       16);
    painter.setPen(QPen(QColor(200, 30, 30), 7));
    painter.drawEllipse(QPointF(kWidth - 330, kHeight - 330), 110, 110);
    painter.setPen(QPen(QColor(200, 30, 30), 3));
    painter.drawEllipse(QPointF(kWidth - 330, kHeight - 330), 90, 90);
    strokeLine(painter, dice, kWidth - 400, kHeight - 315, kWidth - 250, 30);
    return image;
}

// The ten page files: PNG and JPEG by turns, as scanners and issuing programs give them.
inline const std::vector<QByteArray>& pageFiles() {
    static const std::vector<QByteArray> files = [] {
        std::vector<QByteArray> out;
        for (int page = 0; page < kPages; ++page) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            pageImage(page).save(&buffer, page % 2 ? "JPEG" : "PNG", page % 2 ? 85 : -1);
            out.push_back(bytes);
        }
        return out;
    }();
    return files;
}

// The file name of page `page` (0-based) of pageFiles: its kind by its extension.
inline std::string pageFileName(int page) {
    return "page" + std::to_string(page) + (page % 2 ? ".jpg" : ".png");
}

}  // namespace tessel::bench
