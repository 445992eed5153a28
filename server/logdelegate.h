// How the log list paints its rows. A row is up to a few hundred characters wide and the window
// shows a fraction of it; the style lays a row's text out several times for one paint (its size,
// its place, its elision, the drawing), each time the whole text. This delegate hands the style
// only as much of a line as can be seen, and a margin beyond, so a row paints the same pixels
// for a fraction of the work.
#pragma once

#include <QStyledItemDelegate>

namespace tessel::server {

class LogDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The part of option.text worth laying out when it is painted into option.rect and only
    // the columns left of `seenRight` (the same coordinates as the rect) can be seen: the whole
    // text, or a start of it that reaches well past both seenRight and the rect's right edge as
    // far as it is seen, so that the pixels inside the seen part, elision included, stay the
    // same. Lines with breaks, wrapped text and text that is not laid out from the left are
    // kept whole.
    static QString visiblePart(const QStyleOptionViewItem& option, const QPaintDevice* device,
                               int seenRight);
};

}  // namespace tessel::server
