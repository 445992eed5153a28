#include "server/logdelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace tessel::server {

QString LogDelegate::visiblePart(const QStyleOptionViewItem& option, const QPaintDevice* device,
                                 int seenRight) {
    const QString& text = option.text;
    if (option.features & QStyleOptionViewItem::WrapText) return text;
    if (option.direction != Qt::LeftToRight || option.textElideMode == Qt::ElideLeft ||
        option.textElideMode == Qt::ElideMiddle)
        return text;
    const Qt::Alignment horizontal = option.displayAlignment & Qt::AlignHorizontal_Mask;
    if (horizontal != Qt::AlignLeft && horizontal != Qt::AlignLeading) return text;
    for (QChar c : text)
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return text;

    // Where the painting of this row can show anything, measured from the row's left edge.
    const int right = std::min(option.rect.right(), seenRight);
    const qreal seen = std::max(0, right - option.rect.left() + 1);
    const QFontMetricsF metrics(option.font, device);
    // Past what can be seen by two of the widest glyphs and more, so what the shaping does at
    // the cut (a cluster, a kerning pair) lies outside the seen columns.
    const qreal enough = seen + 2 * std::max<qreal>(metrics.maxWidth(), 1.0) + 16;
    qsizetype count =
        static_cast<qsizetype>(enough / std::max<qreal>(metrics.averageCharWidth(), 1.0)) + 16;
    while (count < text.size()) {
        qsizetype end = count;
        // Never between the halves of a surrogate pair nor before a combining mark.
        while (end < text.size() && (text[end].isLowSurrogate() || text[end].isMark())) ++end;
        if (end >= text.size()) break;
        const QString part = text.left(end);
        if (metrics.horizontalAdvance(part) > enough) return part;
        count += count / 2;
    }
    return text;
}

void LogDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    int seenRight = opt.rect.right();
    if (const auto* view = qobject_cast<const QAbstractItemView*>(opt.widget))
        seenRight = view->viewport()->width() - 1;
    else if (painter->device())
        seenRight = painter->device()->width() - 1;
    opt.text = visiblePart(opt, painter->device(), seenRight);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}

}  // namespace tessel::server
