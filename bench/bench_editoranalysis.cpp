// Times the editor's own analysis: the main window opens a project of each
// source tree's PHP files, from the open call until the run has finished and
// the model holds its result, cold (no code database) and warm (database
// current), against universal-ctags indexing the same tree in the same run.
// Closing the project writes the database: timed apart. One more cold open
// has keys typed into an open document while it runs, to show whether
// typing stays responsive. Prints each tree's figures and ends with one line
// of the worst ratios.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "analysis/core/codedatabase.h"
#include "app/dodivez.h"
#include "benchchild.h"
#include "editor/core/workers.h"
#include "editor/mainview.h"
#include "host/dialogs.h"
#include "project/project.h"

using namespace bench;

namespace {

struct Open {
    double ms = 0;        // open call to the model updated
    double callMs = 0;    // the open call itself (the GUI thread blocked)
    double closeMs = 0;   // saving and closing the project afterwards
    int filesRead = -1;
    bool ok = false;
};

void keepBest(const Open &o, bool first, Open *best)
{
    if (first || !o.ok || o.ms < best->ms)
        *best = o;
}

// Opens `projectFile` in the window and waits for the end of its run;
// then closes it, which writes the database when the run changed it.
Open openProject(ov::DODIvez *window, const QString &projectFile)
{
    Open o;
    ov::Project *project = window->project();
    bool updated = false;
    const auto connection = QObject::connect(project, &ov::Project::projectUpdated, [&] { updated = true; });
    QElapsedTimer timer;
    timer.start();
    window->openProject(projectFile);
    o.callMs = timer.nsecsElapsed() / 1e6;
    while (!updated && project->getRootItem())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    o.ms = timer.nsecsElapsed() / 1e6;
    QObject::disconnect(connection);
    o.ok = updated && project->getRootItem();
    o.filesRead = project->lastRunFilesRead();
    timer.restart();
    o.ok = project->saveAndCloseProject() && o.ok;
    o.closeMs = timer.nsecsElapsed() / 1e6;
    return o;
}

// Keys typed into `editor` every few milliseconds while a cold open runs:
// how long each took to reach the document, and the longest time the
// event loop did not turn.
struct Typing {
    std::vector<double> latencies;
    double stallMs = 0;
    Open open;
};

Typing typeDuringOpen(ov::DODIvez *window, const QString &projectFile, QPlainTextEdit *editor)
{
    Typing t;
    QElapsedTimer clock;
    clock.start();
    double posted = -1, lastTick = -1;
    const auto changed = QObject::connect(editor->document(), &QTextDocument::contentsChanged, [&] {
        if (posted >= 0)
            t.latencies.push_back(clock.nsecsElapsed() / 1e6 - posted);
        posted = -1;
    });
    bool add = true;
    QTimer ticker;
    ticker.setInterval(20);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        if (lastTick >= 0)
            t.stallMs = std::max(t.stallMs, now - lastTick);
        lastTick = now;
        if (posted >= 0)
            return;   // the last key is still on its way
        posted = now;
        // A letter and its removal in turn, so that the document stays small.
        const int key = add ? Qt::Key_A : Qt::Key_Backspace;
        const QString text = add ? QStringLiteral("a") : QStringLiteral("\b");
        add = !add;
        QCoreApplication::postEvent(editor, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
        QCoreApplication::postEvent(editor, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
    });
    ticker.start();
    // The tick lost in the open call counts as a stall.
    lastTick = clock.nsecsElapsed() / 1e6;
    t.open = openProject(window, projectFile);
    ticker.stop();
    QObject::disconnect(changed);
    return t;
}

struct Corpus {
    QString name;
    Measure tags;
    Open cold, warm;
    Typing typing;
    qsizetype files = 0;
    qint64 databaseBytes = 0;
};

bool measure(ov::DODIvez *window, QPlainTextEdit *editor, const QString &ctags, const QString &tree,
             const QString &work, Corpus *corpus)
{
    const QString projectFile = writeCorpusProject(tree, corpus->name, work, &corpus->files);
    if (projectFile.isEmpty())
        return false;
    const QString database = ov::CodeDatabase::fileNameFor(projectFile);
    const QString out = work + QStringLiteral("/out.txt");
    // Rounds take turns, so that a slow spell of the machine falls on all
    // three alike.
    const int rounds = qEnvironmentVariableIsSet("ROUNDS") ? qEnvironmentVariableIntValue("ROUNDS") : 5;
    for (int i = 0; i < rounds; ++i) {
        keepBest(runChild(ctagsCommand(ctags, work + QStringLiteral("/tags"), tree), out), i == 0, &corpus->tags);
        QFile::remove(database);
        keepBest(openProject(window, projectFile), i == 0, &corpus->cold);
        keepBest(openProject(window, projectFile), i == 0, &corpus->warm);
        if (!corpus->tags.ok || !corpus->cold.ok || !corpus->warm.ok)
            break;
    }
    corpus->databaseBytes = QFileInfo(database).size();
    QFile::remove(database);
    corpus->typing = typeDuringOpen(window, projectFile, editor);
    if (!corpus->tags.ok || !corpus->cold.ok || !corpus->warm.ok || !corpus->typing.open.ok) {
        std::fprintf(stderr, "%s: a run failed: ctags %d, cold %d, warm %d, typing %d\n", qPrintable(corpus->name),
                     corpus->tags.ok, corpus->cold.ok, corpus->warm.ok, corpus->typing.open.ok);
        return false;
    }
    if (corpus->warm.filesRead != 0) {
        std::fprintf(stderr, "%s: the warm run read %d files\n", qPrintable(corpus->name), corpus->warm.filesRead);
        return false;
    }
    return true;
}

void printOpen(const char *label, const Open &o)
{
    std::printf("  %s %8.1f ms  (open call %.1f ms, read=%d; closing %.1f ms)\n", label, o.ms, o.callMs, o.filesRead,
                o.closeMs);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Verovo"));
    QCoreApplication::setApplicationName(QStringLiteral("Viziro"));
    QStandardPaths::setTestModeEnabled(true);
    ov::Dialogs::setScripted(true);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: bench_editoranalysis CTAGS WORK_DIR SOURCE_TREE...\n");
        return 2;
    }
    const QString ctags = args.at(1), work = args.at(2);
    // The recent lists and window state go to the temporary folder too.
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, work + QStringLiteral("/settings"));

    // As the editor's main() has them: the workers, then the window.
    ov::Workers workers;
    ov::DODIvez window{QStringList()};
    window.resize(1000, 700);
    window.show();
    const QString typed = work + QStringLiteral("/typed.php");
    {
        QFile f(typed);
        if (!f.open(QIODevice::WriteOnly) || f.write("<?php\nfunction typed() {\n}\n") < 0)
            return 1;
    }
    if (!window.mainView()->addSource(typed))
        return 1;
    auto *editor = qobject_cast<QPlainTextEdit *>(window.mainView()->currentWidget());
    if (!editor)
        return 1;
    QCoreApplication::processEvents();

    bool ok = true;
    double coldRatio = 0, warmRatio = 0;
    for (const QString &tree : args.mid(3)) {
        Corpus c;
        c.name = QFileInfo(tree).fileName().toLower();
        if (!measure(&window, editor, ctags, tree, work + QLatin1Char('/') + c.name, &c)) {
            ok = false;
            continue;
        }
        std::vector<double> keys = c.typing.latencies;
        std::sort(keys.begin(), keys.end());
        const double keyMedian = keys.empty() ? 0 : keys[keys.size() / 2];
        const double keyMax = keys.empty() ? 0 : keys.back();
        std::printf("%s: %lld PHP files under %s\n", qPrintable(c.name), qlonglong(c.files), qPrintable(tree));
        std::printf("  ctags:       %8.1f ms\n", c.tags.ms);
        printOpen("editor cold:", c.cold);
        printOpen("editor warm:", c.warm);
        std::printf("  database:    %lld bytes\n", qlonglong(c.databaseBytes));
        std::printf("  typing in a cold open (%.1f ms): %zu keys, median %.1f ms, max %.1f ms; longest stall %.1f ms\n",
                    c.typing.open.ms, keys.size(), keyMedian, keyMax, c.typing.stallMs);
        std::printf("%s: editor_cold_ratio=%.2f editor_warm_ratio=%.2f\n", qPrintable(c.name), c.cold.ms / c.tags.ms,
                    c.warm.ms / c.tags.ms);
        coldRatio = std::max(coldRatio, c.cold.ms / c.tags.ms);
        warmRatio = std::max(warmRatio, c.warm.ms / c.tags.ms);
    }
    editor->document()->setModified(false);
    // The worst of the corpora.
    std::printf("editor_cold_ratio=%.2f editor_warm_ratio=%.2f\n", coldRatio, warmRatio);
    return ok ? 0 : 1;
}
