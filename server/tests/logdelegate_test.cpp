// The log list's rows painted from the part of each line that can be seen: the pixels are the
// ones the whole line gives, at any width of the window, scrolled anywhere, elided or not.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QListView>
#include <QScrollBar>
#include <QStringListModel>
#include <QStyledItemDelegate>

#include <memory>
#include <string>

#include "server/logdelegate.h"

using tessel::server::LogDelegate;

namespace {

QString repeated(const QString& piece, int times) {
    QString out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

// Log lines as the server writes them: a time stamp and up to 512 characters of message.
QStringList sampleLines() {
    const QString stamp = "2026-12-11 09:30:00 ";
    return {
        stamp + "Client(1) 접속",
        stamp + repeated("CE01 page frame received; ", 24),
        stamp + repeated(QString::fromUtf8("인쇄 실패: 프린터 목록을 읽을 수 없습니다 "), 20),
        stamp + repeated("il1.", 140),                                 // narrow glyphs
        stamp + repeated("WMW@", 140),                                 // wide glyphs
        stamp + repeated(QString::fromUtf8("e\u0301a\u0308 "), 120),   // combining marks
        stamp + repeated(QString::fromUtf8("\U0001F5A8 print "), 60),  // surrogate pairs
        stamp + "two lines\n" + repeated("second line ", 40),
        QString(),
    };
}

QImage paintList(int width, int scrollPercent, Qt::TextElideMode elide, bool ours) {
    QListView view;
    QStringListModel model(sampleLines());
    view.setModel(&model);
    view.setUniformItemSizes(true);
    view.setTextElideMode(elide);
    std::unique_ptr<QStyledItemDelegate> delegate;
    if (ours)
        delegate = std::make_unique<LogDelegate>();
    else
        delegate = std::make_unique<QStyledItemDelegate>();
    view.setItemDelegate(delegate.get());
    view.resize(width, 260);
    view.show();
    QApplication::processEvents();
    QScrollBar* bar = view.horizontalScrollBar();
    bar->setValue(bar->minimum() + (bar->maximum() - bar->minimum()) * scrollPercent / 100);
    QApplication::processEvents();
    QImage image = view.viewport()->grab().toImage();
    view.setItemDelegate(nullptr);
    return image;
}

}  // namespace

TEST(LogDelegate, PaintsTheSamePixelsAsTheWholeLine) {
    int argc = 1;
    char name[] = "logdelegate_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    struct Case {
        int width;
        int scrollPercent;
        Qt::TextElideMode elide;
    };
    const Case cases[] = {
        {640, 0, Qt::ElideRight}, {640, 50, Qt::ElideRight}, {640, 100, Qt::ElideRight},
        {180, 0, Qt::ElideRight}, {180, 73, Qt::ElideRight}, {2400, 0, Qt::ElideRight},
        {640, 0, Qt::ElideNone},  {640, 100, Qt::ElideNone}, {640, 30, Qt::ElideMiddle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width) + ", scrolled " +
                     std::to_string(c.scrollPercent) + "%, elide " + std::to_string(c.elide));
        const QImage whole = paintList(c.width, c.scrollPercent, c.elide, false);
        const QImage part = paintList(c.width, c.scrollPercent, c.elide, true);
        ASSERT_FALSE(whole.isNull());
        ASSERT_EQ(whole.size(), part.size());
        EXPECT_TRUE(whole == part);
    }
}

TEST(LogDelegate, HandsTheStyleOnlyWhatCanBeSeen) {
    int argc = 1;
    char name[] = "logdelegate_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    QImage device(640, 40, QImage::Format_ARGB32);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 4000, 20);
    option.font = QApplication::font();
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.direction = Qt::LeftToRight;
    option.textElideMode = Qt::ElideRight;
    option.text = repeated("CE01 page frame received; ", 24);

    const QString part = LogDelegate::visiblePart(option, &device, 639);
    EXPECT_LT(part.size(), option.text.size());
    EXPECT_TRUE(option.text.startsWith(part));
    EXPECT_GT(QFontMetricsF(option.font, &device).horizontalAdvance(part), 640.0);

    // What the style must see whole: wrapped text, a line break, text laid out from the right.
    QStyleOptionViewItem wrapped = option;
    wrapped.features |= QStyleOptionViewItem::WrapText;
    EXPECT_EQ(LogDelegate::visiblePart(wrapped, &device, 639), option.text);
    QStyleOptionViewItem broken = option;
    broken.text += "\nmore";
    EXPECT_EQ(LogDelegate::visiblePart(broken, &device, 639), broken.text);
    QStyleOptionViewItem fromRight = option;
    fromRight.displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
    EXPECT_EQ(LogDelegate::visiblePart(fromRight, &device, 639), option.text);
    QStyleOptionViewItem rightToLeft = option;
    rightToLeft.direction = Qt::RightToLeft;
    EXPECT_EQ(LogDelegate::visiblePart(rightToLeft, &device, 639), option.text);
}
