#pragma once

#include <QList>
#include <QPointF>
#include <QSize>
#include <QVector>
#include <Qt>

namespace ov {

// One box of a call graph as the arrangement sees it: its bounding size
// (whole pixels, truncated) and the indexes of its children, in order.
struct CallGraphLayoutNode {
    QSize size;
    QList<int> children;
};

struct CallGraphLayout {
    QVector<QPointF> positions;  // per node, index for index
    QVector<int> spreadOffsets;  // per level, the running offsets at the end
    QVector<int> levelOffsets;   // per level, the parent-to-child distance
};

// Lays a tree of boxes out in levels. Node 0 is the root, on level
// levelCount - 1, and keeps rootPos. Each level shares one running offset
// along the spread axis, started at minus half the level's total, so every
// level is centred on the root; children sit one level offset beyond their
// parent (before it when mirrored, for graphs of callers).
CallGraphLayout arrangeCallGraph(const QVector<CallGraphLayoutNode> &nodes, QPointF rootPos,
                                 Qt::Orientation orientation, int levelCount, bool mirrored = false);

} // namespace ov
