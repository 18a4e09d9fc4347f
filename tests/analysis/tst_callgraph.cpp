#include <QAction>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "analysis/callgraphcall.h"
#include "analysis/callgraphfunction.h"
#include "analysis/callgraphlayout.h"
#include "analysis/callgraphviewer.h"
#include "app/dodivez.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "testutil.h"

using namespace ov;

namespace {

// A code model in a few lines: files of functions plus built-in names.
class FakeModel : public CallGraphSource
{
public:
    FakeModel &add(const QString &file, const QString &name, const QStringList &calls,
                   const QStringList &arguments = {}, int startPos = 0)
    {
        PHPFunctionDefinition d;
        d.name = name;
        d.arguments = arguments;
        d.functionCalls = calls;
        d.startPos = startPos;
        d.declaration = QStringLiteral("function %1(%2)").arg(name, arguments.join(QLatin1Char(',')));
        files.append({file, d});
        return *this;
    }
    PHPFunctionDefinition def(const QString &name) const { return findFunctionDefinitions(name).value(0); }

    bool isBuiltinFunction(const QString &name) const override { return builtins.contains(name); }
    QList<PHPFunctionDefinition> findFunctionDefinitions(const QString &name) const override
    {
        QList<PHPFunctionDefinition> r;
        for (const Located &l : files)
            if (l.definition.name == name)
                r.append(l.definition);
        return r;
    }
    QStringList findFunctionFiles(const QString &name) const override
    {
        QStringList r;
        for (const Located &l : files)
            if (l.definition.name == name)
                r.append(l.file);
        return r;
    }
    QList<Located> allFunctions() const override { return files; }

    QList<Located> files;
    QSet<QString> builtins;
};

QStringList menuTexts(CallGraphFunction *node)
{
    QStringList texts;
    for (QAction *a : node->menu()->actions())
        texts << a->text();
    return texts;
}

QStringList names(const QList<CallGraphFunction *> &nodes)
{
    QStringList r;
    for (CallGraphFunction *n : nodes)
        r << n->getDefinition().name;
    return r;
}

int countNodes(QGraphicsScene &scene)
{
    int n = 0;
    for (QGraphicsItem *item : scene.items())
        n += item->type() == CallGraphFunction::Type;
    return n;
}

void select(CallGraphViewer &viewer, CallGraphFunction *node)
{
    viewer.clearSelection();
    node->setSelected(true);
}

} // namespace

class TestCallGraph : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ovtest::isolate(); }

    void layoutWorkedExample()
    {
        // A root with two children of 120x60 and 130x80.
        QVector<CallGraphLayoutNode> nodes(3);
        nodes[0].size = QSize(100, 50);
        nodes[0].children = {1, 2};
        nodes[1].size = QSize(120, 60);
        nodes[2].size = QSize(130, 80);

        const CallGraphLayout hor = arrangeCallGraph(nodes, QPointF(0, 0), Qt::Horizontal, 5);
        QCOMPARE(hor.positions[0], QPointF(0, 0));
        QCOMPARE(hor.positions[1], QPointF(520, -90));
        QCOMPARE(hor.positions[2], QPointF(520, -10));
        QCOMPARE(hor.levelOffsets[3], 520);
        QCOMPARE(hor.spreadOffsets[3], 90); // -90 + 80 + 100

        // Vertically the axes swap; a moved root carries its children along.
        const CallGraphLayout ver = arrangeCallGraph(nodes, QPointF(10, 20), Qt::Vertical, 5);
        QCOMPARE(ver.levelOffsets[3], 60 + 400);
        QCOMPARE(ver.positions[1], QPointF(10 - 145, 20 + 460));
        QCOMPARE(ver.positions[2], QPointF(10 - 145 + 140, 20 + 460));

        // Callers grow to the left.
        const CallGraphLayout mirrored = arrangeCallGraph(nodes, QPointF(0, 0), Qt::Horizontal, 5, true);
        QCOMPARE(mirrored.positions[1], QPointF(-520, -90));
    }

    void layoutSharesRunningOffsetPerLevel()
    {
        // Two parents with one child each: the grandchildren share level 2's
        // offset, so the second is placed after the first although it has
        // another parent.
        QVector<CallGraphLayoutNode> nodes(5);
        for (auto &n : nodes)
            n.size = QSize(100, 40);
        nodes[0].children = {1, 2};
        nodes[1].children = {3};
        nodes[2].children = {4};
        const CallGraphLayout l = arrangeCallGraph(nodes, QPointF(0, 0), Qt::Horizontal, 5);
        QCOMPARE(l.positions[1], QPointF(500, -60));
        QCOMPARE(l.positions[2], QPointF(500, 0));
        QCOMPARE(l.positions[3], QPointF(1000, -120));
        QCOMPARE(l.positions[4], QPointF(1000, 0));
    }

    void singleBoxAndBoxRules()
    {
        FakeModel model;
        model.add("/a.php", "lonely", {});
        model.add("/a.php", "two", {}, {"$a", "$longer=array()"});
        CallGraphViewer viewer(nullptr, nullptr);
        viewer.setSource(&model);

        viewer.drawCallGraph(model.def("lonely"));
        CallGraphFunction *root = viewer.rootFunction();
        QVERIFY(root);
        QCOMPARE(countNodes(viewer), 1);
        QCOMPARE(root->pos(), QPointF(0, 0));
        QCOMPARE(root->type(), 65537);
        QCOMPARE(root->getLabel()->toPlainText(), QString("lonely\n\nNO PARAMS"));
        const QFontMetrics fm(root->getLabel()->font());
        const int w = qMax(fm.horizontalAdvance("lonely"), fm.horizontalAdvance("NO PARAMS")) + 10;
        const int h = 4 * fm.height();
        const qreal x0 = -(w / 2), x1 = w / 2, y0 = -(h / 2), y1 = h / 2, d = y0 + 1.5 * fm.height();
        QCOMPARE(root->polygon(), QPolygonF({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0},
                                             {x0, d}, {x1, d}, {x0, d}, {x0, y0}}));
        QCOMPARE(root->getHeader()->polygon(), QPolygonF({{x0, y0}, {x1, y0}, {x1, d}, {x0, d}, {x0, y0}}));
        QCOMPARE(root->getHeader()->brush().color(), QColor(85, 255, 127, 150));
        QCOMPARE(root->getHeader()->zValue(), -501.0);
        QCOMPARE(root->getLabel()->zValue(), -500.0);
        QCOMPARE(root->getLabel()->pos(), QPointF(x0, y0));
        QVERIFY(root->flags() & QGraphicsItem::ItemIsMovable);
        QVERIFY(root->flags() & QGraphicsItem::ItemIsSelectable);
        QCOMPARE(menuTexts(root), QStringList({"Go To Declaration", "Show Call Graph", "Show Caller Graph"}));

        viewer.drawCallGraph(model.def("two"));
        QCOMPARE(viewer.rootFunction()->getLabel()->toPlainText(), QString("two\n\n$a\n$longer=array()"));
        QCOMPARE(int(viewer.rootFunction()->boundingRect().height()), 5 * fm.height() + 1);
    }

    void builtinsRecursionAndMissingDefinitions()
    {
        FakeModel model;
        model.builtins = {"strlen"};
        model.add("/a.php", "walk", {"strlen", "walk", "nested_only"});
        CallGraphViewer viewer(nullptr, nullptr);
        viewer.setSource(&model);
        viewer.drawCallGraph(model.def("walk"));

        // walk repeats on each level down to level 0; nested_only has no
        // definition in the model and gets no box.
        CallGraphFunction *node = viewer.rootFunction();
        int depth = 0;
        while (true) {
            const QList<CallGraphFunction *> children = viewer.childrenOf(node);
            if (children.isEmpty())
                break;
            QCOMPARE(names(children), QStringList({"strlen", "walk"}));
            CallGraphFunction *builtin = children[0];
            QCOMPARE(builtin->getLabel()->toPlainText(), QString("strlen\n\nStandard Library Function"));
            QCOMPARE(builtin->getHeader()->brush().color(), QColor(255, 0, 0, 150));
            QCOMPARE(menuTexts(builtin), QStringList({"Show Caller Graph"}));
            QVERIFY(viewer.childrenOf(builtin).isEmpty());
            node = children[1];
            ++depth;
        }
        QCOMPARE(depth, 4);
        QCOMPARE(countNodes(viewer), 1 + 4 * 2);
    }

    void viewerPositionsFollowTheLayout()
    {
        FakeModel model;
        model.add("/a.php", "root", {"first", "second"});
        model.add("/a.php", "first", {}, {"$x"});
        model.add("/a.php", "second", {}, {"$a", "$b", "$somewhat_longer"});
        CallGraphViewer viewer(nullptr, nullptr);
        viewer.setSource(&model);
        viewer.drawCallGraph(model.def("root"));
        const QList<CallGraphFunction *> c = viewer.childrenOf(viewer.rootFunction());
        QCOMPARE(c.size(), 2);
        const QRectF r1 = c[0]->boundingRect(), r2 = c[1]->boundingRect();
        const int spread = int(r1.height()) + 20 + int(r2.height()) + 20;
        const int level = qMax(int(r1.width()), int(r2.width())) + 400;
        // The wider of the two sets the offset only if the first is 300 or
        // more narrower; these two are close.
        QCOMPARE(c[0]->pos(), QPointF(int(r1.width()) + 400, -(spread / 2)));
        QVERIFY(level - (int(r1.width()) + 400) < 300);
        QCOMPARE(c[1]->pos(), QPointF(int(r1.width()) + 400, -(spread / 2) + int(r1.height()) + 20));

        // Arranging is stable, and vertical puts levels below.
        const QPointF before = c[1]->pos();
        viewer.arrangeCallGraphHor();
        QCOMPARE(c[1]->pos(), before);
        viewer.arrangeCallGraphVer();
        QVERIFY(c[0]->pos().y() > 0);
        QVERIFY(c[0]->pos().x() < c[1]->pos().x());
        viewer.arrangeCallGraphHor();
        QCOMPARE(c[1]->pos(), before);

        // "Show Call Graph" on a callee centres the graph on it.
        select(viewer, c[1]);
        viewer.showCallGraph();
        QCOMPARE(viewer.rootFunction()->getDefinition().name, QString("second"));
        QCOMPARE(viewer.rootFunction()->pos(), QPointF(0, 0));
    }

    void arrowsMeetTheBoxesAndFollowDrags()
    {
        FakeModel model;
        model.add("/a.php", "caller", {"callee"});
        model.add("/a.php", "callee", {});
        CallGraphViewer viewer(nullptr, nullptr);
        viewer.setSource(&model);
        viewer.drawCallGraph(model.def("caller"));
        CallGraphFunction *root = viewer.rootFunction();
        CallGraphFunction *child = viewer.childrenOf(root).first();
        CallGraphCall *call = root->getOutgoingCalls().first();
        QCOMPARE(call->type(), 65538);
        QCOMPARE(call->getStartItem(), root);
        QCOMPARE(call->getEndItem(), child);
        QCOMPARE(child->getIncomingCalls(), QList<CallGraphCall *>{call});

        // Same height, so the line is horizontal: the tip sits on the callee's
        // left side, the tail on the caller's right side.
        child->setPos(500, 0);
        const qreal childLeft = 500 + child->polygon().boundingRect().left();
        const qreal rootRight = root->polygon().boundingRect().right();
        QCOMPARE(call->line().p1(), QPointF(childLeft, 0));
        QCOMPARE(call->line().p2(), QPointF(rootRight, 0));
        const QPolygonF head = call->getArrowHead();
        QCOMPARE(head.size(), 3);
        QCOMPARE(head[0], QPointF(childLeft, 0));
        QVERIFY(head[1].x() < childLeft && head[2].x() < childLeft);
        QVERIFY(head[1].y() * head[2].y() < 0);

        // Dragging the callee below moves the tip to its top side.
        child->setPos(0, 400);
        QCOMPARE(call->line().p1().y(), 400 + child->polygon().boundingRect().top());
        QVERIFY(call->boundingRect().contains(call->line().p1()));
    }

    void boxExitFallsBackToTheLastUnboundedCrossing()
    {
        const QPolygonF box({{-10, -10}, {10, -10}, {10, 10}, {-10, 10}, {-10, -10}});
        // A line that ends inside the box crosses no side within both.
        const QPointF p = CallGraphCall::boxExit(box, QLineF(QPointF(0, 0), QPointF(5, 1)));
        // Last side tried that is not parallel: x = -10, on the extended line.
        QCOMPARE(p, QPointF(-10, -2));
        QVERIFY(CallGraphCall::arrowHeadFor(QLineF(1, 1, 1, 1)).isEmpty());
    }

    void selectedEdgeTurnsBlue()
    {
        FakeModel model;
        model.add("/a.php", "caller", {"callee"});
        model.add("/a.php", "callee", {});
        CallGraphViewer viewer(nullptr, nullptr);
        viewer.setSource(&model);
        viewer.drawCallGraph(model.def("caller"));
        CallGraphCall *call = viewer.rootFunction()->getOutgoingCalls().first();

        auto tipColour = [&] {
            const QRectF area = call->boundingRect();
            QImage image(area.size().toSize(), QImage::Format_ARGB32);
            image.fill(Qt::white);
            QPainter p(&image);
            viewer.render(&p, QRectF(image.rect()), area);
            p.end();
            // Just behind the tip, inside the arrow head.
            const QPointF inside = call->line().p1() + QPointF(-4, 0) - area.topLeft();
            return image.pixelColor(inside.toPoint());
        };
        QCOMPARE(tipColour(), QColor(Qt::black));
        QCOMPARE(call->getColor(), QColor(Qt::black));
        call->setSelected(true);
        QCOMPARE(tipColour(), QColor(Qt::blue));
        QCOMPARE(call->getColor(), QColor(Qt::blue));
    }

    void callerGraphIsMirrored()
    {
        FakeModel model;
        model.builtins = {"count"};
        model.add("/a.php", "target", {"count"});
        model.add("/b.php", "b_calls", {"target", "count"});
        model.add("/a.php", "a_calls", {"target"});
        model.add("/c.php", "top", {"a_calls"});
        CallGraphViewer viewer(nullptr, nullptr);
        viewer.setSource(&model);

        viewer.drawCallerGraph(model.def("target"));
        QVERIFY(viewer.isCallerGraph());
        CallGraphFunction *root = viewer.rootFunction();
        const QList<CallGraphFunction *> callers = viewer.childrenOf(root);
        QCOMPARE(names(callers), QStringList({"a_calls", "b_calls"}));
        QCOMPARE(names(viewer.childrenOf(callers[0])), QStringList({"top"}));
        for (CallGraphFunction *c : callers) {
            QVERIFY(c->pos().x() < 0);
            // The arrow goes from the caller to the chosen function.
            CallGraphCall *call = c->getOutgoingCalls().first();
            QCOMPARE(call->getEndItem(), root);
            QVERIFY(call->line().p1().x() < 0 && call->line().p1().x() > c->pos().x());
        }
        QCOMPARE(callers[1]->getFile(), QString("/b.php"));

        // A built-in's callers, picked from a node's menu; the redraw waits
        // until the menu has returned.
        viewer.drawCallGraph(model.def("target"));
        CallGraphFunction *count = viewer.childrenOf(viewer.rootFunction()).first();
        select(viewer, count);
        QPointer<QMenu> menu = count->menu();
        menu->actions().last()->trigger();
        QVERIFY(!viewer.isCallerGraph());
        QTRY_VERIFY(viewer.isCallerGraph());
        QVERIFY(menu.isNull());
        QCOMPARE(viewer.rootFunction()->getDefinition().name, QString("count"));
        QCOMPARE(names(viewer.childrenOf(viewer.rootFunction())), QStringList({"b_calls", "target"}));

        viewer.arrangeCallGraphVer();
        QVERIFY(viewer.childrenOf(viewer.rootFunction()).first()->pos().y() < 0);
    }

    void graphsFreeTheirMenusAndActions()
    {
        FakeModel model;
        model.builtins = {"strlen"};
        model.add("/a.php", "f", {"g", "strlen"});
        model.add("/a.php", "g", {"f"});
        CallGraphViewer viewer(nullptr, nullptr);
        viewer.setSource(&model);
        viewer.drawCallGraph(model.def("f"));
        const int children = int(viewer.children().size());
        const int items = int(viewer.items().size());
        for (int i = 0; i < 1000; ++i) {
            viewer.drawCallGraph(model.def(i % 2 ? "f" : "g"));
            for (QGraphicsItem *item : viewer.items())
                if (item->type() == CallGraphFunction::Type)
                    static_cast<CallGraphFunction *>(item)->menu();
        }
        QPointer<QMenu> menu = viewer.rootFunction()->menu();
        viewer.drawCallGraph(model.def("f"));
        QVERIFY(menu.isNull());
        QCOMPARE(int(viewer.children().size()), children);
        QCOMPARE(int(viewer.items().size()), items);
    }

    void wideGraphsAreCut()
    {
        FakeModel model;
        QStringList calls;
        for (int i = 0; i < 300; ++i)
            calls << QStringLiteral("f%1").arg(i);
        model.add("/a.php", "root", calls);
        for (const QString &c : calls)
            model.add("/a.php", c, calls);
        CallGraphViewer viewer(nullptr, nullptr);
        viewer.setSource(&model);
        viewer.setNodeLimit(1000);
        viewer.drawCallGraph(model.def("root"));
        QCOMPARE(countNodes(viewer), 1000);
        // The first level is whole; the cut is reported on the boxes.
        QCOMPARE(viewer.childrenOf(viewer.rootFunction()).size(), 300);
        QVERIFY(viewer.callsNotDrawn() > 0);
        QVERIFY(!viewer.childrenOf(viewer.rootFunction()).last()->toolTip().isEmpty());
    }

    void goToDeclarationOpensTheFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("lib.php");
        QVERIFY(ovtest::writeFile(file, "<?php\n\nfunction callee()\n{\n}\n"));
        FakeModel model;
        model.add("/other.php", "root", {"callee"});
        model.add(file, "callee", {}, {}, 7);
        // The viewer opens files through its host, the main window.
        DODIvez window{QString()};
        MainView &view = *window.mainView();
        CallGraphViewer viewer(&window, &window);
        viewer.setSource(&model);
        viewer.drawCallGraph(model.def("root"));
        select(viewer, viewer.childrenOf(viewer.rootFunction()).first());
        viewer.goToDeclaration();
        SourceEdit *editor = view.getSource(file);
        QVERIFY(editor);
        QCOMPARE(editor->textCursor().position(), 7);

        // Nothing selected: nothing happens.
        viewer.clearSelection();
        viewer.goToDeclaration();
        QCOMPARE(view.count(), 1);
    }
};

QTEST_MAIN(TestCallGraph)
#include "tst_callgraph.moc"
