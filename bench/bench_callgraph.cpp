// The worst call graph and caller graph of the WordPress sources: how large
// the four-level trees are, how many boxes are drawn and how long it takes.
#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QPixmap>
#include <QHash>
#include <QHashSeed>
#include <cstdio>

#include "analysis/callgraphfunction.h"
#include "analysis/callgraphsource.h"
#include "analysis/callgraphviewer.h"
#include "analysis/core/codemodel.h"
#include "analysis/core/phpanalyser.h"
#include "analysis/core/projectloadingthread.h"

using namespace ov;

namespace {

// The model the editor builds: one analysis run over the tree's PHP files.
class AnalysedModel : public CallGraphSource
{
public:
    bool load(const QString &root)
    {
        AnalysisJob job;
        QDirIterator it(root, {QStringLiteral("*.php")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            job.files.append(it.next());
        job.files.sort();
        job.projectFolder = root;
        job.builtins = PhpAnalyser::loadBuiltinFunctions();
        model.setBuiltinFunctions(job.builtins);
        AnalysisResult result;
        if (!runAnalysis(job, nullptr, &result))
            return false;
        applyAnalysisResult(result, &model);
        return true;
    }

    bool isBuiltinFunction(const QString &name) const override { return model.isBuiltinFunction(name); }
    QList<PHPFunctionDefinition> findFunctionDefinitions(const QString &name) const override
    {
        return model.findFunctionDefinitions(name);
    }
    QStringList findFunctionFiles(const QString &name) const override { return model.findFunctionFiles(name); }
    QList<Located> allFunctions() const override
    {
        QList<Located> result;
        const FileDescriptions &files = model.fileDescriptions();
        for (auto file = files.cbegin(); file != files.cend(); ++file)
            for (const PHPFunctionDefinition &f : file->functions)
                result.append({file.key(), f});
        return result;
    }

    CodeModel model;
};

// Boxes of the full four-level tree, counted without drawing (capped).
double treeSize(const QHash<QString, QStringList> &children, const QString &name, int level)
{
    double n = 1;
    if (level == 0)
        return n;
    for (const QString &c : children.value(name)) {
        n += treeSize(children, c, level - 1);
        if (n > 1e9)
            break;
    }
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Functions defined twice: the same one must win in every run.
    QHashSeed::setDeterministicGlobalSeed();
    QApplication app(argc, argv);
    AnalysedModel model;
    if (!model.load(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/share/wordpress")))
        return 1;

    QHash<QString, QStringList> callees, callers;
    for (const auto &l : model.allFunctions()) {
        callees[l.definition.name] = l.definition.functionCalls;
        for (const QString &c : l.definition.functionCalls)
            callers[c].append(l.definition.name);
    }
    auto worst = [&](const QHash<QString, QStringList> &children, double *size) {
        QString best;
        *size = 0;
        for (auto it = children.cbegin(); it != children.cend(); ++it) {
            const double s = treeSize(children, it.key(), 4);
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
        PHPFunctionDefinition fn = model.findFunctionDefinitions(name).value(0);
        fn.name = name; // a built-in has no definition of its own
        QElapsedTimer t;
        t.start();
        if (callerGraph)
            viewer.drawCallerGraph(fn);
        else
            viewer.drawCallGraph(fn);
        const qint64 drawMs = t.elapsed();
        t.restart();
        const QPixmap shot = view.grab(); // paints the visible part as the screen would
        Q_UNUSED(shot);
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
