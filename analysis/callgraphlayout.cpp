#include "analysis/callgraphlayout.h"

namespace ov {

namespace {

class Arranger
{
public:
    Arranger(const QVector<CallGraphLayoutNode> &nodes, Qt::Orientation orientation, int levelCount, bool mirrored)
        : nodes(nodes), horizontal(orientation == Qt::Horizontal), direction(mirrored ? -1 : 1)
    {
        result.positions.resize(nodes.size());
        result.spreadOffsets.fill(0, levelCount);
        result.levelOffsets.fill(0, levelCount);
    }

    int spreadExtent(int n) const { return horizontal ? nodes[n].size.height() : nodes[n].size.width(); }
    int levelExtent(int n) const { return horizontal ? nodes[n].size.width() : nodes[n].size.height(); }

    void measure(int n, int level)
    {
        if (level < 0)
            return;
        result.spreadOffsets[level] += spreadExtent(n) + 20;
        if (result.levelOffsets[level] < levelExtent(n) + 100)
            result.levelOffsets[level] = levelExtent(n) + 400;
        for (int c : nodes[n].children)
            measure(c, level - 1);
    }

    void place(int n, int level)
    {
        if (level < 1)
            return;
        const QPointF at = result.positions[n];
        int &spread = result.spreadOffsets[level - 1];
        const int along = direction * result.levelOffsets[level - 1];
        for (int c : nodes[n].children) {
            result.positions[c] = horizontal ? at + QPointF(along, spread) : at + QPointF(spread, along);
            spread = spreadExtent(c) + 20 + spread;
            place(c, level - 1);
        }
    }

    const QVector<CallGraphLayoutNode> &nodes;
    const bool horizontal;
    const int direction;
    CallGraphLayout result;
};

} // namespace

CallGraphLayout arrangeCallGraph(const QVector<CallGraphLayoutNode> &nodes, QPointF rootPos,
                                 Qt::Orientation orientation, int levelCount, bool mirrored)
{
    Arranger a(nodes, orientation, levelCount, mirrored);
    if (nodes.isEmpty() || levelCount < 1)
        return a.result;
    a.result.positions[0] = rootPos;
    a.measure(0, levelCount - 1);
    for (int &offset : a.result.spreadOffsets)
        offset = -(offset / 2);
    a.place(0, levelCount - 1);
    return a.result;
}

} // namespace ov
