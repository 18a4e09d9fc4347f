// Times viziro-index on a project of each source tree's PHP files, cold (no
// code database) and warm (database current), against universal-ctags
// indexing the same tree, each measured as a child process: wall time and
// peak memory. Prints each tree's figures and ends with one line of the
// worst ratios.
#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

#include "analysis/core/codedatabase.h"
#include "benchchild.h"

using namespace bench;

namespace {

struct Corpus {
    QString name;
    Measure tags, cold, warm;
    qint64 databaseBytes = 0;
    qsizetype files = 0;
};

// Indexes one tree: a project of its PHP files, timed cold and warm against
// ctags on the same tree. False when a run failed.
bool measure(const QString &index, const QString &ctags, const QString &tree, const QString &work, Corpus *corpus)
{
    const QString projectFile = writeCorpusProject(tree, corpus->name, work, &corpus->files);
    if (projectFile.isEmpty())
        return false;
    const QString database = ov::CodeDatabase::fileNameFor(projectFile);
    const QString out = work + QStringLiteral("/out.txt");
    // Rounds take turns, so that a slow spell of the machine falls on all
    // three alike.
    const int rounds = 7;
    Measure &tags = corpus->tags, &cold = corpus->cold, &warm = corpus->warm;
    for (int i = 0; i < rounds; ++i) {
        keepBest(runChild(ctagsCommand(ctags, work + QStringLiteral("/tags"), tree), out), i == 0, &tags);
        QFile::remove(database);
        keepBest(runChild({index, projectFile}, out), i == 0, &cold);
        keepBest(runChild({index, projectFile}, out), i == 0, &warm);
        if (!tags.ok || !cold.ok || !warm.ok)
            break;
    }
    if (!tags.ok || !cold.ok || !warm.ok) {
        std::fprintf(stderr, "%s: a run failed: ctags %d, cold %d, warm %d\n", qPrintable(corpus->name), tags.ok,
                     cold.ok, warm.ok);
        return false;
    }
    corpus->databaseBytes = QFileInfo(database).size();
    return warm.out.contains(" read=0 ");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: bench_analysis VIZIRO_INDEX CTAGS WORK_DIR SOURCE_TREE...\n");
        return 2;
    }
    const QString index = args.at(1), ctags = args.at(2), work = args.at(3);
    bool ok = true;
    double coldRatio = 0, warmRatio = 0, coldRss = 0, warmRss = 0;
    for (const QString &tree : args.mid(4)) {
        Corpus c;
        c.name = QFileInfo(tree).fileName().toLower();
        if (!measure(index, ctags, tree, work + QLatin1Char('/') + c.name, &c)) {
            ok = false;
            continue;
        }
        std::printf("%s: %lld PHP files under %s\n", qPrintable(c.name), qlonglong(c.files), qPrintable(tree));
        std::printf("  ctags:      %8.1f ms %7.1f MB\n", c.tags.ms, c.tags.rssMb);
        std::printf("  cold index: %8.1f ms %7.1f MB  %s\n", c.cold.ms, c.cold.rssMb, c.cold.out.constData());
        std::printf("  warm index: %8.1f ms %7.1f MB  %s\n", c.warm.ms, c.warm.rssMb, c.warm.out.constData());
        std::printf("  database:   %lld bytes\n", qlonglong(c.databaseBytes));
        std::printf("%s: cold_ratio=%.2f warm_ratio=%.2f cold_rss_mb=%.1f warm_rss_mb=%.1f\n", qPrintable(c.name),
                    c.cold.ms / c.tags.ms, c.warm.ms / c.tags.ms, c.cold.rssMb, c.warm.rssMb);
        coldRatio = std::max(coldRatio, c.cold.ms / c.tags.ms);
        warmRatio = std::max(warmRatio, c.warm.ms / c.tags.ms);
        coldRss = std::max(coldRss, c.cold.rssMb);
        warmRss = std::max(warmRss, c.warm.rssMb);
    }
    // The worst of the corpora.
    std::printf("cold_ratio=%.2f warm_ratio=%.2f cold_rss_mb=%.1f warm_rss_mb=%.1f\n", coldRatio, warmRatio, coldRss,
                warmRss);
    return ok ? 0 : 1;
}
