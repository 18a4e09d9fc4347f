#pragma once

#include <QGraphicsScene>
#include <QVector>

#include "analysis/callgraphsource.h"
#include "analysis/core/phprecords.h"

namespace ov {

class CallGraphFunction;
class Host;

// Draws, for one function, the tree of the functions it calls (or of the
// functions that call it) down to four levels, as boxes joined by arrows.
// The scene owns every box and arrow; each new graph replaces the last.
class CallGraphViewer : public QGraphicsScene
{
    Q_OBJECT

public:
    // Boxes beyond this many are not drawn: a wide graph (hundreds of calls
    // on each of four levels) would otherwise take minutes to build.
    enum { DefaultNodeLimit = 2000 };

    // Files open through the host; without one, the viewer only draws.
    CallGraphViewer(Host *mainWindow, QObject *parent);
    ~CallGraphViewer() override;

    // The model the graphs are read from; by default the host's (the open
    // project's). The source must outlive the viewer or be replaced.
    void setSource(const CallGraphSource *source);

    // Replace the scene's content by the graph of the functions `fn` calls,
    // laid out horizontally with `fn` at the origin.
    void drawCallGraph(PHPFunctionDefinition fn);
    // The same for the functions that call `fn`: callers on the left,
    // arrows pointing towards `fn`.
    void drawCallerGraph(PHPFunctionDefinition fn);

    // The central box of the current graph; null before the first graph.
    CallGraphFunction *rootFunction() const { return root; }
    bool isCallerGraph() const { return callerGraph; }
    // How many calls the last graph left out because of the node limit.
    int callsNotDrawn() const { return notDrawn; }
    void setNodeLimit(int limit) { nodeLimit = limit; }
    // Keeps a dragged box within the scrollable area.
    void includeInSceneRect(const QRectF &rect);

    // The children of a box in the current graph, in drawing order.
    QList<CallGraphFunction *> childrenOf(const CallGraphFunction *node) const;

public Q_SLOTS:
    void arrangeCallGraphHor();
    void arrangeCallGraphVer();
    void goToDeclaration();
    void showCallGraph();
    void showCallerGraph();

private:
    void drawGraph(const PHPFunctionDefinition &fn, const QString &file, bool callers);
    // Makes the scene as large as the graph, so that the view scrolls over
    // this graph and not over the union of all graphs drawn so far.
    void fitSceneRect();
    void arrange(Qt::Orientation orientation);
    CallGraphFunction *selectedFunction() const;
    const CallGraphSource *model() const;

    Host *mainWindow;
    CallGraphFunction *root = nullptr;
    QVector<int> spreadOffsets;
    QVector<int> levelOffsets;
    int levelCount = 5;

    const CallGraphSource *source = nullptr;
    bool callerGraph = false;
    int nodeLimit = DefaultNodeLimit;
    int notDrawn = 0;
    bool arranging = false;
};

} // namespace ov
