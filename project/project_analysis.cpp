// The code-analysis side of the project tree: the code model, its
// database and the background runs that keep it current.
#include "project/project.h"

#include <QFileInfo>
#include <QMainWindow>

#include "analysis/core/analysislog.h"
#include "analysis/core/codedatabase.h"
#include "analysis/core/phpanalyser.h"
#include "analysis/fileparsingdialog.h"
#include "editor/core/workers.h"
#include "host/host.h"
#include "project/core/projectfile.h"

namespace ov {

void Project::initAnalysis()
{
    // Owned by the tree so that destroying it stops a run.
    loadingThread = new ProjectLoadingThread(this);
    // Without a main window the tree owns the dialog, or nothing would delete it.
    fileParsingDialog = new FileParsingDialog(dialogParent());
    model.setBuiltinFunctions(PhpAnalyser::loadBuiltinFunctions());
    if (Host *host = mainWindow) {
        connect(loadingThread, &ProjectLoadingThread::started, host->hostWindow(), [host] { host->setStatusProgressShow(); });
        connect(loadingThread, &ProjectLoadingThread::finished, host->hostWindow(), [host] { host->setStatusProgressHide(); });
    }
    connect(loadingThread, &ProjectLoadingThread::finished, this, &Project::parsingFinished);
}

void Project::clearCodeModel()
{
    loadingThread->stopRun();
    rerunRequested = false;
    // A large model takes a while to free: a worker does it, holding the
    // only reference once the model has let go.
    FileDescriptions dropped = model.fileDescriptions();
    model.clear();
    Workers::instance()->run([dropped = std::move(dropped)] {});
}

PHPFileDescription Project::getPHPFileDescription(QString fileName) const
{
    return model.getPHPFileDescription(fileName);
}

QList<PHPFunctionDefinition> Project::findFunctionDefinitions(QString name) const
{
    return model.findFunctionDefinitions(name);
}

QStringList Project::findFunctionFiles(QString name) const
{
    return model.findFunctionFiles(name);
}

bool Project::isBuiltinFunction(QString name) const
{
    return model.isBuiltinFunction(name);
}

bool Project::isKnownFunction(QString name) const
{
    return model.isKnownFunction(name);
}

QStringList Project::getAllFunctionNames() const
{
    return model.getAllFunctionNames();
}

void Project::setPHPFileDescription(QString fileName, PHPFileDescription desc)
{
    model.setPHPFileDescription(fileName, desc);
}

void Project::saveCodeDB()
{
    codeDBError.clear();
    const QString fileName = CodeDatabase::fileNameFor(projectFileName);
    if (rootItem && !CodeDatabase::save(fileName, &model, &codeDBError))
        qCWarning(lcAnalysis, "cannot write the code database %s: %s", qUtf8Printable(fileName),
                  qUtf8Printable(codeDBError));
}

std::thread Project::readCodeDB()
{
    // A thread of its own, not a worker: its join is a hand-over the thread
    // checker can see, and it cannot queue behind a stopping run.
    CodeModel *into = &model;
    return std::thread(
        [into, fileName = CodeDatabase::fileNameFor(projectFileName)] { CodeDatabase::read(fileName, into); });
}

AnalysisJob Project::analysisJob() const
{
    AnalysisJob job;
    const QStringList files = getProjectFiles();
    job.files.reserve(files.size());
    for (const QString &file : files)
        job.files.append(absoluteFilePath(file));
    job.projectFolder = QFileInfo(projectFileName).absolutePath();
    job.descriptions = model.fileDescriptions();
    job.builtins = model.builtinFunctions();
    return job;
}

void Project::startUpdating()
{
    if (!rootItem)
        return;
    if (loadingThread->isBusy()) {
        rerunRequested = true;
        return;
    }
    // A result nobody collected yet goes in first, so the run builds on it.
    AnalysisResult pending;
    if (loadingThread->takeResult(&pending))
        applyAnalysisResult(pending, &model);
    fileParsingDialog->setMessage(tr("Scanning..."));
    loadingThread->startRun(analysisJob());
}

void Project::parsingStarted()
{
}

void Project::parsingFinished()
{
    AnalysisResult result;
    if (loadingThread->takeResult(&result)) {
        applyAnalysisResult(result, &model);
        lastFilesRead = result.filesRead;
    }
    if (mainWindow)
        mainWindow->setFunctionNames(getAllFunctionNames());
    emit projectUpdated();
    if (rerunRequested && !loadingThread->isBusy()) {
        rerunRequested = false;
        startUpdating();
    }
}

void Project::forceUpdatePHPFile(QString fileName)
{
    if (model.hasPHPFileDescription(fileName)) {
        PHPFileDescription desc = model.getPHPFileDescription(fileName);
        desc.time = QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::LocalTime);
        model.setPHPFileDescription(fileName, desc);
    }
    FileDescriptions descriptions = model.fileDescriptions();
    const QString folder = projectFileName.isEmpty() ? QString() : QFileInfo(projectFileName).absolutePath();
    PhpAnalyser analyser(folder, model.builtinFunctions(), &descriptions);
    analyser.setProjectFunctionNames(model.projectFunctionNames());
    analyser.analysePHPFile(fileName);
    for (const QString &file : analyser.storedFiles())
        model.setPHPFileDescription(file, descriptions.value(file));
}

} // namespace ov
