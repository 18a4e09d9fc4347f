#include "analysis/callgraphcall.h"

#include <QPainter>
#include <QPen>
#include <cmath>

#include "analysis/callgraphfunction.h"

namespace ov {

namespace {
// The arrow's geometry uses these rounded values on purpose: drawings stay
// identical to the pixel with earlier ones.
const qreal Pi = 3.14;
const qreal TwoPi = 6.28;
const qreal ArrowSize = 10;
} // namespace

CallGraphCall::CallGraphCall(CallGraphFunction *startItem, CallGraphFunction *endItem)
    : startItem(startItem), endItem(endItem)
{
    setFlag(ItemIsSelectable, true);
    setPen(QPen(color, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    setZValue(-1000);
}

CallGraphCall::~CallGraphCall() = default;

QRectF CallGraphCall::boundingRect() const
{
    const qreal extra = (pen().width() + 20) / 2.0;
    const QLineF l = line();
    return QRectF(l.p1(), QSizeF(l.p2().x() - l.p1().x(), l.p2().y() - l.p1().y()))
        .normalized()
        .adjusted(-extra, -extra, extra, extra);
}

QPainterPath CallGraphCall::shape() const
{
    QPainterPath path = QGraphicsLineItem::shape();
    path.addPolygon(arrowHead);
    return path;
}

QPointF CallGraphCall::boxExit(const QPolygonF &polygon, QLineF centreLine)
{
    QPointF exit;
    for (int i = 0; i + 1 < polygon.size(); ++i) {
        const QLineF edge(polygon.at(i), polygon.at(i + 1));
        QPointF crossing;
        const QLineF::IntersectionType kind = edge.intersects(centreLine, &crossing);
        if (kind == QLineF::NoIntersection)
            continue;
        exit = crossing;
        if (kind == QLineF::BoundedIntersection)
            break;
    }
    return exit;
}

QPolygonF CallGraphCall::arrowHeadFor(QLineF line)
{
    const qreal length = line.length();
    if (length <= 0)
        return QPolygonF();
    qreal angle = std::acos(line.dx() / length);
    if (line.dy() >= 0)
        angle = TwoPi - angle;
    const QPointF tip = line.p1();
    const QPointF a1 = tip + QPointF(std::sin(angle + Pi / 3) * ArrowSize, std::cos(angle + Pi / 3) * ArrowSize);
    const QPointF a2 =
        tip + QPointF(std::sin(angle + Pi - Pi / 3) * ArrowSize, std::cos(angle + Pi - Pi / 3) * ArrowSize);
    return QPolygonF({tip, a1, a2});
}

void CallGraphCall::updatePosition()
{
    // Edges have no parent and stay at the scene origin, so scene
    // coordinates are the edge's own.
    const QPointF from = mapFromItem(startItem, 0, 0);
    const QPointF to = mapFromItem(endItem, 0, 0);
    const QLineF centreLine(from, to);
    if (centreLine.length() <= 0) {
        // Boxes on top of each other (before the first arrangement): there
        // is no direction to draw.
        arrowHead.clear();
        setLine(centreLine);
        return;
    }
    const QPointF p1 = boxExit(endItem->polygon().translated(endItem->pos()), centreLine);
    const QPointF p2 = boxExit(startItem->polygon().translated(startItem->pos()), centreLine);
    const QLineF drawn(p1, p2);
    prepareGeometryChange();
    arrowHead = arrowHeadFor(drawn);
    setLine(drawn);
}

void CallGraphCall::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    color = isSelected() ? QColor(Qt::blue) : QColor(Qt::black);
    QPen p = pen();
    p.setColor(color);
    painter->setPen(p);
    painter->setBrush(color);
    if (line().length() <= 0)
        return;
    painter->drawLine(line());
    painter->drawPolygon(arrowHead, Qt::OddEvenFill);
}

} // namespace ov
