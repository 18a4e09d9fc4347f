#include "analysis/callgraphviewer.h"

#include <QHash>
#include <QQueue>
#include <algorithm>
#include <optional>

#include "analysis/callgraphcall.h"
#include "analysis/callgraphfunction.h"
#include "analysis/callgraphlayout.h"
#include "host/host.h"

namespace ov {

namespace {

using Located = CallGraphSource::Located;

// Resolves the names a graph needs once per graph: a wide graph asks for
// the same few hundred names many thousand times.
class GraphModel
{
public:
    GraphModel(const CallGraphSource *source, bool callers) : source(source)
    {
        if (!callers || !source)
            return;
        for (const Located &f : source->allFunctions())
            for (const QString &callee : f.definition.functionCalls)
                callerIndex[callee].append(f);
        // The model's tables are hashes: sort for a stable picture.
        for (QList<Located> &list : callerIndex)
            std::sort(list.begin(), list.end(), [](const Located &a, const Located &b) {
                return a.definition.name != b.definition.name ? a.definition.name < b.definition.name
                                                              : a.file < b.file;
            });
    }

    bool isBuiltin(const QString &name)
    {
        auto it = builtins.constFind(name);
        if (it == builtins.constEnd())
            it = builtins.insert(name, source && source->isBuiltinFunction(name));
        return *it;
    }

    // The box drawn for a call to `name`, if any.
    std::optional<Located> callee(const QString &name)
    {
        auto it = callees.constFind(name);
        if (it != callees.constEnd())
            return *it;
        std::optional<Located> found;
        if (isBuiltin(name)) {
            Located l;
            l.definition.name = name;
            l.definition.arguments = QStringList{QStringLiteral("Standard Library Function")};
            found = l;
        } else if (source) {
            const QList<PHPFunctionDefinition> definitions = source->findFunctionDefinitions(name);
            if (!definitions.isEmpty()) {
                const QStringList files = source->findFunctionFiles(name);
                found = Located{files.value(0), definitions.first()};
            }
        }
        callees.insert(name, found);
        return found;
    }

    QList<Located> children(const PHPFunctionDefinition &d, bool callers)
    {
        if (callers)
            return callerIndex.value(d.name);
        QList<Located> result;
        for (const QString &name : d.functionCalls)
            if (std::optional<Located> c = callee(name))
                result.append(*c);
        return result;
    }

private:
    const CallGraphSource *source;
    QHash<QString, bool> builtins;
    QHash<QString, std::optional<Located>> callees;
    QHash<QString, QList<Located>> callerIndex;
};

} // namespace

CallGraphViewer::CallGraphViewer(Host *mainWindow, QObject *parent)
    : QGraphicsScene(parent), mainWindow(mainWindow)
{
    spreadOffsets.fill(0, levelCount);
    levelOffsets.fill(0, levelCount);
}

CallGraphViewer::~CallGraphViewer()
{
    // Boxes reach back into the scene while they are deleted.
    clear();
}

void CallGraphViewer::setSource(const CallGraphSource *s)
{
    source = s;
}

const CallGraphSource *CallGraphViewer::model() const
{
    if (source)
        return source;
    return mainWindow ? mainWindow->callGraphSource() : nullptr;
}

void CallGraphViewer::drawCallGraph(PHPFunctionDefinition fn)
{
    drawGraph(fn, QString(), false);
}

void CallGraphViewer::drawCallerGraph(PHPFunctionDefinition fn)
{
    drawGraph(fn, QString(), true);
}

void CallGraphViewer::drawGraph(const PHPFunctionDefinition &fn, const QString &file, bool callers)
{
    spreadOffsets.fill(0, levelCount);
    levelOffsets.fill(0, levelCount);
    clear();
    root = nullptr;
    callerGraph = callers;
    notDrawn = 0;

    GraphModel graph(model(), callers);
    root = new CallGraphFunction(fn, graph.isBuiltin(fn.name), this, file);
    addItem(root);

    // Breadth first, so that when the limit is reached the levels near the
    // centre are whole and only the far ones are cut.
    struct Pending {
        CallGraphFunction *node;
        int level;
    };
    QQueue<Pending> queue;
    queue.enqueue({root, levelCount - 1});
    int nodes = 1;
    while (!queue.isEmpty()) {
        const Pending p = queue.dequeue();
        if (p.level < 1)
            continue;
        QList<Located> children = graph.children(p.node->getDefinition(), callers);
        const int room = qMax(0, nodeLimit - nodes);
        if (children.size() > room) {
            const int cut = int(children.size()) - room;
            p.node->setCallsNotDrawn(cut);
            notDrawn += cut;
            children = children.mid(0, room);
        }
        for (const Located &c : std::as_const(children)) {
            auto *child = new CallGraphFunction(c.definition, graph.isBuiltin(c.definition.name), this, c.file);
            child->setPos(0, 0);
            addItem(child);
            ++nodes;
            // Arrows point from caller to callee whichever way the tree grows.
            CallGraphFunction *caller = callers ? child : p.node;
            CallGraphFunction *callee = callers ? p.node : child;
            auto *call = new CallGraphCall(caller, callee);
            callee->addIncomingCall(call);
            caller->addOutgoingCall(call);
            addItem(call);
            call->updatePosition();
            queue.enqueue({child, p.level - 1});
        }
    }

    arrange(Qt::Horizontal);

    if (notDrawn > 0 && mainWindow)
        mainWindow->showStatusMessage(
            QStringLiteral("The graph is too large: %1 calls are not drawn.").arg(notDrawn), 5000);
}

QList<CallGraphFunction *> CallGraphViewer::childrenOf(const CallGraphFunction *node) const
{
    QList<CallGraphFunction *> result;
    if (callerGraph) {
        for (CallGraphCall *call : node->getIncomingCalls())
            result.append(call->getStartItem());
    } else {
        for (CallGraphCall *call : node->getOutgoingCalls())
            result.append(call->getEndItem());
    }
    return result;
}

void CallGraphViewer::arrangeCallGraphHor()
{
    arrange(Qt::Horizontal);
}

void CallGraphViewer::arrangeCallGraphVer()
{
    arrange(Qt::Vertical);
}

void CallGraphViewer::arrange(Qt::Orientation orientation)
{
    spreadOffsets.fill(0, levelCount);
    levelOffsets.fill(0, levelCount);
    if (!root)
        return;

    QVector<CallGraphFunction *> order{root};
    QVector<CallGraphLayoutNode> nodes;
    for (int i = 0; i < order.size(); ++i) {
        CallGraphLayoutNode n;
        const QRectF r = order[i]->boundingRect();
        n.size = QSize(int(r.width()), int(r.height()));
        for (CallGraphFunction *child : childrenOf(order[i])) {
            n.children.append(int(order.size()));
            order.append(child);
        }
        nodes.append(n);
    }

    const CallGraphLayout layout = arrangeCallGraph(nodes, root->pos(), orientation, levelCount, callerGraph);
    arranging = true;
    for (int i = 1; i < order.size(); ++i)
        order[i]->setPos(layout.positions[i]);
    arranging = false;
    spreadOffsets = layout.spreadOffsets;
    levelOffsets = layout.levelOffsets;
    fitSceneRect();
}

void CallGraphViewer::fitSceneRect()
{
    setSceneRect(itemsBoundingRect().adjusted(-50, -50, 50, 50));
}

void CallGraphViewer::includeInSceneRect(const QRectF &rect)
{
    if (!arranging && !sceneRect().contains(rect))
        setSceneRect(sceneRect().united(rect.adjusted(-50, -50, 50, 50)));
}

CallGraphFunction *CallGraphViewer::selectedFunction() const
{
    const QList<QGraphicsItem *> selected = selectedItems();
    if (selected.isEmpty() || selected.first()->type() != CallGraphFunction::Type)
        return nullptr;
    return static_cast<CallGraphFunction *>(selected.first());
}

void CallGraphViewer::goToDeclaration()
{
    const CallGraphFunction *node = selectedFunction();
    if (!node)
        return;
    QString file = node->getFile();
    if (file.isEmpty()) {
        const CallGraphSource *m = model();
        file = m ? m->findFunctionFiles(node->getDefinition().name).value(0) : QString();
    }
    if (file.isEmpty() || !mainWindow)
        return;
    if (mainWindow->openFile(file))
        mainWindow->openFileAtPosition(file, node->getDefinition().startPos);
}

void CallGraphViewer::showCallGraph()
{
    if (const CallGraphFunction *node = selectedFunction())
        drawGraph(node->getDefinition(), node->getFile(), false);
}

void CallGraphViewer::showCallerGraph()
{
    if (const CallGraphFunction *node = selectedFunction())
        drawGraph(node->getDefinition(), node->getFile(), true);
}

} // namespace ov
