// Draws the two sample certificate pages of samples/: an A4 portrait certificate and an A4
// landscape annex, both at 200 dpi, written as small grey-level PNG files.
//
//   tessel-sample-pages OUTPUT_FOLDER
//
// writes OUTPUT_FOLDER/page1.png (1654 x 2339) and OUTPUT_FOLDER/page2.png (2339 x 1654).

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QString>

#include <cstdio>

#include "platform/system/filelimit.h"

namespace {

constexpr int kDpi = 200;
constexpr int kShort = 1654;  // 210 mm at 200 dpi
constexpr int kLong = 2339;   // 297 mm at 200 dpi

// Millimetres to pixels at the pages' resolution.
int mm(double millimetres) {
    return static_cast<int>(millimetres * kDpi / 25.4 + 0.5);
}

QFont font(int points, bool bold = false) {
    QFont f(QStringLiteral("NanumMyeongjo"));
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(points * kDpi / 72);
    f.setBold(bold);
    return f;
}

QImage blankPage(int width, int height) {
    QImage image(width, height, QImage::Format_Grayscale8);
    image.setDotsPerMeterX(static_cast<int>(kDpi / 0.0254 + 0.5));
    image.setDotsPerMeterY(static_cast<int>(kDpi / 0.0254 + 0.5));
    image.fill(Qt::white);
    return image;
}

// Sharp edges, a double frame a fixed distance inside the page edge, then black ink.
void beginPage(QPainter& p, int width, int height) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setPen(QPen(Qt::black, mm(1.2)));
    p.drawRect(mm(12), mm(12), width - 2 * mm(12), height - 2 * mm(12));
    p.setPen(QPen(Qt::black, mm(0.4)));
    p.drawRect(mm(15), mm(15), width - 2 * mm(15), height - 2 * mm(15));
    p.setPen(Qt::black);
}

// The issuing office's round seal with its name inside.
void drawSeal(QPainter& p, QPoint centre, int radius) {
    p.setPen(QPen(Qt::darkGray, mm(1.0)));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, radius, radius);
    p.drawEllipse(centre, radius - mm(2), radius - mm(2));
    p.setFont(font(14, true));
    p.drawText(QRect(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
               Qt::AlignCenter, QStringLiteral("발급\n기관인"));
}

QImage certificatePage() {
    QImage image = blankPage(kShort, kLong);
    QPainter p(&image);
    beginPage(p, kShort, kLong);
    p.setFont(font(11));
    p.drawText(QRect(mm(25), mm(22), kShort - 2 * mm(25), mm(8)), Qt::AlignLeft,
               QStringLiteral("발급번호 2026-1210-000001"));
    p.setFont(font(30, true));
    p.drawText(QRect(0, mm(40), kShort, mm(20)), Qt::AlignHCenter, QStringLiteral("증 명 서"));
    p.setFont(font(12));
    p.drawText(QRect(0, mm(62), kShort, mm(8)), Qt::AlignHCenter,
               QStringLiteral("CERTIFICATE (SAMPLE)"));

    // The holder's table: caption cells on the left, values on the right.
    const QStringList captions = {QStringLiteral("성    명"), QStringLiteral("생년월일"),
                                  QStringLiteral("주    소"), QStringLiteral("용    도"),
                                  QStringLiteral("발급일자")};
    const QStringList values = {QStringLiteral("홍 길 동 (HONG GILDONG)"),
                                QStringLiteral("1990년 1월 1일"),
                                QStringLiteral("서울특별시 중구 세종대로 110"),
                                QStringLiteral("제출용"), QStringLiteral("2026년 12월 10일")};
    const int left = mm(25), right = kShort - mm(25), top = mm(85), row = mm(16);
    const int split = left + mm(40);
    p.setPen(QPen(Qt::black, mm(0.4)));
    p.drawRect(left, top, right - left, row * static_cast<int>(captions.size()));
    p.drawLine(split, top, split, top + row * static_cast<int>(captions.size()));
    for (int i = 0; i < captions.size(); ++i) {
        const int y = top + i * row;
        if (i > 0) p.drawLine(left, y, right, y);
        p.setFont(font(13, true));
        p.drawText(QRect(left, y, split - left, row), Qt::AlignCenter, captions[i]);
        p.setFont(font(13));
        p.drawText(QRect(split + mm(5), y, right - split - mm(5), row), Qt::AlignVCenter,
                   values[i]);
    }

    p.setFont(font(15));
    p.drawText(QRect(left, mm(190), right - left, mm(40)), Qt::AlignHCenter | Qt::TextWordWrap,
               QStringLiteral("위와 같이 증명합니다."));
    p.setFont(font(13));
    p.drawText(QRect(0, mm(225), kShort, mm(10)), Qt::AlignHCenter,
               QStringLiteral("2026년 12월 10일"));
    p.setFont(font(20, true));
    p.drawText(QRect(0, mm(245), kShort, mm(14)), Qt::AlignHCenter,
               QStringLiteral("테셀시 민원발급기관장"));
    drawSeal(p, QPoint(kShort / 2 + mm(55), mm(252)), mm(14));
    p.setFont(font(9));
    p.drawText(QRect(0, kLong - mm(25), kShort, mm(6)), Qt::AlignHCenter,
               QStringLiteral("이 증명서는 견본입니다. 1 / 2"));
    return image;
}

QImage annexPage() {
    QImage image = blankPage(kLong, kShort);
    QPainter p(&image);
    beginPage(p, kLong, kShort);
    p.setFont(font(24, true));
    p.drawText(QRect(0, mm(25), kLong, mm(16)), Qt::AlignHCenter,
               QStringLiteral("별지 — 발급 내역"));

    const QStringList head = {QStringLiteral("번호"), QStringLiteral("발급일자"),
                              QStringLiteral("종류"), QStringLiteral("발급처"),
                              QStringLiteral("비고")};
    const int widths[] = {mm(20), mm(45), mm(80), mm(70), mm(42)};
    const int left = mm(20), top = mm(50), row = mm(12), rows = 9;
    int x = left;
    p.setPen(QPen(Qt::black, mm(0.4)));
    for (int c = 0; c < head.size(); ++c) {
        for (int r = 0; r < rows; ++r) {
            QRect cell(x, top + r * row, widths[c], row);
            p.drawRect(cell);
            p.setFont(font(12, r == 0));
            QString text = head[c];
            if (r > 0) {
                switch (c) {
                    case 0:
                        text = QString::number(r);
                        break;
                    case 1:
                        text = QStringLiteral("2026-%1-%2")
                                   .arg(r + 3, 2, 10, QChar('0'))
                                   .arg(r * 3, 2, 10, QChar('0'));
                        break;
                    case 2:
                        text = QStringLiteral("증명서 %1호").arg(r);
                        break;
                    case 3:
                        text = QStringLiteral("무인발급기 %1").arg(r % 3 + 1);
                        break;
                    default:
                        text = r % 4 == 0 ? QStringLiteral("재발급") : QString();
                        break;
                }
            }
            p.drawText(cell, Qt::AlignCenter, text);
        }
        x += widths[c];
    }
    p.setFont(font(9));
    p.drawText(QRect(0, kShort - mm(25), kLong, mm(6)), Qt::AlignHCenter,
               QStringLiteral("이 증명서는 견본입니다. 2 / 2"));
    return image;
}

bool save(const QImage& image, const QString& path) {
    if (image.save(path, "PNG", 9)) return true;
    std::fprintf(stderr, "tessel-sample-pages: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    platform::system::ignoreFileSizeSignal();  // a file size limit fails the write instead
    // Drawing needs no window: without a platform named, run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessel-sample-pages OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "tessel-sample-pages: cannot make the folder %s\n", argv[1]);
        return 1;
    }
    const bool ok = save(certificatePage(), folder.filePath(QStringLiteral("page1.png"))) &&
                    save(annexPage(), folder.filePath(QStringLiteral("page2.png")));
    return ok ? 0 : 1;
}
