#pragma once

#include <QGraphicsPolygonItem>
#include <QList>
#include <QString>

#include "analysis/core/phprecords.h"

class QAction;
class QMenu;
class QGraphicsTextItem;

namespace ov {

class CallGraphCall;
class CallGraphViewer;

// One box of a call graph: the function's name in a coloured band (red for
// built-in functions, green for the project's), an empty line, then one line
// per parameter. Boxes can be dragged and selected; the arrows follow.
class CallGraphFunction : public QGraphicsPolygonItem
{
public:
    enum { Type = UserType + 1 };

    // `file` is the file that defines the function when it is known; empty
    // means the first file the model names for it.
    CallGraphFunction(const PHPFunctionDefinition &definition, bool builtin, CallGraphViewer *scene,
                      const QString &file = QString());
    ~CallGraphFunction() override;

    int type() const override { return Type; }

    PHPFunctionDefinition getDefinition() const { return definition; }
    QString getFile() const { return file; }
    bool isBuiltin() const { return builtin; }
    QList<CallGraphCall *> getOutgoingCalls() const { return outgoingCalls; }
    QList<CallGraphCall *> getIncomingCalls() const { return incomingCalls; }
    void addOutgoingCall(CallGraphCall *call) { outgoingCalls.append(call); }
    void addIncomingCall(CallGraphCall *call) { incomingCalls.append(call); }
    QGraphicsTextItem *getLabel() const { return label; }
    QGraphicsPolygonItem *getHeader() const { return header; }

    // The node's menu, made on first use (a graph may hold thousands of
    // boxes, few of which are ever right-clicked) and freed with the node.
    QMenu *menu();

    // Marks a box whose calls were not all drawn because the graph grew too
    // large.
    void setCallsNotDrawn(int count);

protected:
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    QMenu *contextMenu = nullptr;
    QAction *goToDeclarationAction = nullptr;
    QAction *showCallGraphAction = nullptr;
    QAction *showCallerGraphAction = nullptr;
    PHPFunctionDefinition definition;
    QGraphicsTextItem *label = nullptr;
    QGraphicsPolygonItem *header = nullptr;
    QList<CallGraphCall *> incomingCalls;
    QList<CallGraphCall *> outgoingCalls;

    CallGraphViewer *viewer;
    QString file;
    bool builtin;
};

} // namespace ov
