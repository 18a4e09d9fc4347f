#include "analysis/callgraphfunction.h"

#include <QAction>
#include <QBrush>
#include <QFontMetrics>
#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsTextItem>
#include <QMenu>
#include <QPointer>

#include "analysis/callgraphcall.h"
#include "analysis/callgraphviewer.h"

namespace ov {

CallGraphFunction::CallGraphFunction(const PHPFunctionDefinition &definition, bool builtin,
                                     CallGraphViewer *scene, const QString &file)
    : definition(definition), viewer(scene), file(file), builtin(builtin)
{
    header = new QGraphicsPolygonItem(this);
    label = new QGraphicsTextItem(this);

    const QFontMetrics metrics(label->font());
    QString text = definition.name + QLatin1Char('\n');
    int width = metrics.horizontalAdvance(definition.name);
    int lines;
    if (definition.arguments.isEmpty()) {
        const QString none = QStringLiteral("NO PARAMS");
        text += QLatin1Char('\n') + none;
        lines = 4;
        width = qMax(width, metrics.horizontalAdvance(none));
    } else {
        for (const QString &argument : definition.arguments) {
            text += QLatin1Char('\n') + argument;
            width = qMax(width, metrics.horizontalAdvance(argument));
        }
        lines = 3 + int(definition.arguments.size());
    }
    label->setPlainText(text);

    // The box is a line taller than the text: the empty second line holds
    // the rule under the name band.
    const int boxWidth = width + 10;
    const int lineHeight = metrics.height();
    const int boxHeight = lines * lineHeight;
    const qreal x0 = -(boxWidth / 2), x1 = boxWidth / 2;
    const qreal y0 = -(boxHeight / 2), y1 = boxHeight / 2;
    const qreal rule = y0 + 1.5 * lineHeight;

    setPolygon(QPolygonF({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0},
                          {x0, rule}, {x1, rule}, {x0, rule}, {x0, y0}}));
    header->setPolygon(QPolygonF({{x0, y0}, {x1, y0}, {x1, rule}, {x0, rule}, {x0, y0}}));
    header->setOpacity(0.7);
    header->setBrush(builtin ? QColor(255, 0, 0, 150) : QColor(85, 255, 127, 150));

    label->setPos(x0, y0);
    label->setFlag(ItemStacksBehindParent, true);
    header->setFlag(ItemStacksBehindParent, true);
    label->setZValue(-500);
    header->setZValue(-501);
    setFlag(ItemIsMovable, true);
    setFlag(ItemIsSelectable, true);
    setFlag(ItemSendsGeometryChanges, true);
}

CallGraphFunction::~CallGraphFunction()
{
    // The actions are the menu's children.
    delete contextMenu;
}

QMenu *CallGraphFunction::menu()
{
    if (contextMenu)
        return contextMenu;
    contextMenu = new QMenu;
    goToDeclarationAction = new QAction(QStringLiteral("Go To Declaration"), contextMenu);
    showCallGraphAction = new QAction(QStringLiteral("Show Call Graph"), contextMenu);
    showCallerGraphAction = new QAction(QStringLiteral("Show Caller Graph"), contextMenu);
    // Queued: the graph these actions redraw owns this menu, which must not
    // be deleted while it is still running.
    if (viewer) {
        QObject::connect(goToDeclarationAction, &QAction::triggered, viewer, &CallGraphViewer::goToDeclaration,
                         Qt::QueuedConnection);
        QObject::connect(showCallGraphAction, &QAction::triggered, viewer, &CallGraphViewer::showCallGraph,
                         Qt::QueuedConnection);
        QObject::connect(showCallerGraphAction, &QAction::triggered, viewer, &CallGraphViewer::showCallerGraph,
                         Qt::QueuedConnection);
    }
    if (!builtin) {
        contextMenu->addAction(goToDeclarationAction);
        contextMenu->addAction(showCallGraphAction);
    }
    contextMenu->addAction(showCallerGraphAction);
    return contextMenu;
}

void CallGraphFunction::setCallsNotDrawn(int count)
{
    setToolTip(count > 0 ? QStringLiteral("%1 more calls are not drawn: the graph is too large.").arg(count)
                         : QString());
}

void CallGraphFunction::contextMenuEvent(QGraphicsSceneContextMenuEvent *event)
{
    if (scene())
        scene()->clearSelection();
    setSelected(true);
    menu()->exec(event->screenPos());
}

QVariant CallGraphFunction::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionHasChanged) {
        for (CallGraphCall *call : std::as_const(outgoingCalls))
            call->updatePosition();
        for (CallGraphCall *call : std::as_const(incomingCalls))
            call->updatePosition();
        if (viewer)
            viewer->includeInSceneRect(sceneBoundingRect());
    }
    return value;
}

} // namespace ov
