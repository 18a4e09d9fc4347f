#pragma once

#include <QColor>
#include <QGraphicsLineItem>
#include <QPolygonF>

namespace ov {

class CallGraphFunction;

// An arrow from a caller's box to a callee's box. The line runs between
// the points where the centre line leaves the two boxes; the arrow head
// sits on the callee's box.
class CallGraphCall : public QGraphicsLineItem
{
public:
    enum { Type = UserType + 2 };

    CallGraphCall(CallGraphFunction *startItem, CallGraphFunction *endItem);
    ~CallGraphCall() override;

    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget = nullptr) override;
    int type() const override { return Type; }

    CallGraphFunction *getStartItem() const { return startItem; }
    CallGraphFunction *getEndItem() const { return endItem; }
    QColor getColor() const { return color; }
    QPolygonF getArrowHead() const { return arrowHead; }

    // Follows the two boxes after either moved.
    void updatePosition();

    // Where a line from `inside` towards `outside` leaves `polygon`: the first
    // edge the line crosses within both; failing that, the crossing of the
    // extended lines of the last edge that is not parallel to it.
    static QPointF boxExit(const QPolygonF &polygon, QLineF centreLine);
    // The head of an arrow whose tip is the line's first point.
    static QPolygonF arrowHeadFor(QLineF line);

private:
    CallGraphFunction *startItem;
    CallGraphFunction *endItem;
    QColor color = Qt::black;
    QPolygonF arrowHead;
};

} // namespace ov
