// viziro-index PROJECT.vuzar
// Brings a project's code database up to date without opening the editor:
// loads the project file and its database, runs one analysis run as the
// editor does and saves the database as saving the project does (never
// the project file).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "analysis/core/bulkheap.h"
#include "analysis/core/codedatabase.h"
#include "analysis/core/phpanalyser.h"
#include "analysis/core/projectloadingthread.h"
#include "project/core/projectfile.h"

using namespace ov;

namespace {

// The tree's files in tree order, as the editor's runs walk them.
void collectFiles(const ProjectNode &node, QStringList *files)
{
    for (const ProjectNode &child : node.children) {
        if (child.type == ProjectNode::File)
            files->append(absoluteFilePath(child.path));
        collectFiles(child, files);
    }
}

int fail(const QString &message)
{
    std::fprintf(stderr, "viziro-index: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    prepareHeapForBulkWork();
    // Unset, every local time taken (two per file) looks at /etc/localtime
    // again; the run is too short to see the zone change.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 1 || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: viziro-index PROJECT.vuzar\n"
                             "Analyses the project's PHP files and writes its code database.\n");
        return 2;
    }
    QElapsedTimer timer;
    timer.start();

    const QString projectFileName = QFileInfo(args.first()).absoluteFilePath();
    // The database is named after the project file, not read from it: it
    // is read while the project file and the built-in names are.
    const QString database = CodeDatabase::fileNameFor(projectFileName);
    CodeModel model;
    std::thread databaseReader([&] { CodeDatabase::read(database, &model); });
    ProjectFile project;
    const bool projectRead = project.read(projectFileName);
    const QSet<QString> builtins = projectRead ? PhpAnalyser::loadBuiltinFunctions() : QSet<QString>();
    databaseReader.join();
    if (!projectRead)
        return fail(QStringLiteral("cannot load project file %1: %2").arg(projectFileName, project.errorString()));
    model.setBuiltinFunctions(builtins);

    AnalysisJob job;
    collectFiles(project.root, &job.files);
    job.projectFolder = QFileInfo(projectFileName).absolutePath();
    job.descriptions = model.fileDescriptions();
    job.builtins = model.builtinFunctions();

    const qsizetype fileCount = job.files.size();
    ProjectLoadingThread thread;
    thread.startRun(job);
    job = AnalysisJob();   // the run holds the only copy of the model now
    AnalysisResult result;
    if (!thread.waitForRun() || !thread.takeResult(&result))
        return fail(QStringLiteral("the analysis did not complete"));
    applyAnalysisResult(result, &model);

    QString error;
    if (!CodeDatabase::save(database, &model, &error))
        return fail(QStringLiteral("cannot write code database %1: %2").arg(database, error));

    qsizetype functions = 0;
    for (const PHPFileDescription &d : model.fileDescriptions())
        functions += d.functions.size();
    std::printf("files=%lld read=%d functions=%lld ms=%lld\n", qlonglong(fileCount), result.filesRead,
                qlonglong(functions), qlonglong(timer.elapsed()));
    std::fflush(stdout);
    // Everything is on disk: freeing the model piece by piece would only
    // delay the exit.
    std::_Exit(0);
}
