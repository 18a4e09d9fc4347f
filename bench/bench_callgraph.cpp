// The worst call graph and caller graph of the WordPress sources: how large
// the four-level trees are, how many boxes are drawn and how long it takes.
#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGraphicsView>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <cstdio>

#include "analysis/callgraphfunction.h"
#include "analysis/callgraphsource.h"
#include "analysis/callgraphviewer.h"
#include "editor/core/textfile.h"

using namespace ov;

namespace {

// Functions run from their keyword to the next one, calls are names followed
// by "(": close enough to the analyser for sizing graphs, and independent of it.
class RoughModel : public CallGraphSource
{
public:
    void scan(const QString &root)
    {
        static const QRegularExpression def(QStringLiteral("function\\s+&?([A-Za-z_]\\w*)\\s*\\("));
        static const QRegularExpression call(QStringLiteral("\\b([A-Za-z_]\\w*)\\s*\\("));
        QList<QPair<QString, QString>> bodies; // file, body
        QDirIterator it(root, {QStringLiteral("*.php")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QString text = editorText(f.readAll());
            QList<qsizetype> starts;
            auto m = def.globalMatch(text);
            while (m.hasNext()) {
                const auto d = m.next();
                Located l;
                l.file = file;
                l.definition.name = d.captured(1);
                l.definition.startPos = int(d.capturedStart());
                functions.append(l);
                starts.append(d.capturedStart());
            }
            for (int i = 0; i < starts.size(); ++i) {
                const qsizetype end = i + 1 < starts.size() ? starts[i + 1] : text.size();
                bodies.append({file, text.mid(starts[i], end - starts[i])});
            }
        }
        for (const Located &l : functions)
            names.insert(l.definition.name);
        for (int i = 0; i < functions.size(); ++i) {
            QStringList calls;
            auto m = call.globalMatch(bodies[i].second);
            m.next(); // the function's own name
            while (m.hasNext()) {
                const QString c = m.next().captured(1);
                if (names.contains(c) && !calls.contains(c))
                    calls.append(c);
            }
            functions[i].definition.functionCalls = calls;
            byName.insert(functions[i].definition.name, i);
        }
    }

    bool isBuiltinFunction(const QString &) const override { return false; }
    QList<PHPFunctionDefinition> findFunctionDefinitions(const QString &name) const override
    {
        const int i = byName.value(name, -1);
        return i < 0 ? QList<PHPFunctionDefinition>() : QList<PHPFunctionDefinition>{functions[i].definition};
    }
    QStringList findFunctionFiles(const QString &name) const override
    {
        const int i = byName.value(name, -1);
        return i < 0 ? QStringList() : QStringList{functions[i].file};
    }
    QList<Located> allFunctions() const override { return functions; }

    QList<Located> functions;
    QSet<QString> names;
    QHash<QString, int> byName;
};

// Boxes of the full four-level tree, counted without drawing (capped).
double treeSize(const RoughModel &m, const QHash<QString, QStringList> &children, const QString &name, int level)
{
    double n = 1;
    if (level == 0)
        return n;
    for (const QString &c : children.value(name)) {
        n += treeSize(m, children, c, level - 1);
        if (n > 1e9)
            break;
    }
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RoughModel model;
    model.scan(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/share/wordpress"));
    if (model.functions.isEmpty())
        return 1;

    QHash<QString, QStringList> callees, callers;
    for (const auto &l : model.functions) {
        callees[l.definition.name] = l.definition.functionCalls;
        for (const QString &c : l.definition.functionCalls)
            callers[c].append(l.definition.name);
    }
    auto worst = [&](const QHash<QString, QStringList> &children, double *size) {
        QString best;
        *size = 0;
        for (auto it = children.cbegin(); it != children.cend(); ++it) {
            const double s = treeSize(model, children, it.key(), 4);
            if (s > *size) {
                *size = s;
                best = it.key();
            }
        }
        return best;
    };

    CallGraphViewer viewer(nullptr, nullptr);
    viewer.setSource(&model);
    QGraphicsView view(&viewer);
    view.resize(1200, 800);
    view.show();

    for (bool callerGraph : {false, true}) {
        double full = 0;
        const QString name = worst(callerGraph ? callers : callees, &full);
        const PHPFunctionDefinition fn = model.findFunctionDefinitions(name).value(0);
        QElapsedTimer t;
        t.start();
        if (callerGraph)
            viewer.drawCallerGraph(fn);
        else
            viewer.drawCallGraph(fn);
        const qint64 drawMs = t.elapsed();
        t.restart();
        view.viewport()->repaint();
        const qint64 paintMs = t.elapsed();
        qlonglong boxes = 0;
        for (QGraphicsItem *item : viewer.items())
            boxes += item->type() == CallGraphFunction::Type;
        std::printf("%s_graph root=%s full_tree_boxes=%.0f drawn_boxes=%lld not_drawn=%d draw_ms=%lld paint_ms=%lld\n",
                    callerGraph ? "caller" : "call", qPrintable(name), full,
                    boxes, viewer.callsNotDrawn(), drawMs, paintMs);
    }
    return 0;
}
