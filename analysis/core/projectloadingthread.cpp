#include "analysis/core/projectloadingthread.h"

#include "analysis/core/phpanalyser.h"

namespace ov {

bool runAnalysis(const AnalysisJob &job, const std::atomic<bool> *stop, AnalysisResult *result)
{
    FileDescriptions descriptions = job.descriptions;
    PhpAnalyser analyser(job.projectFolder, job.builtins, &descriptions);
    analyser.setStopFlag(stop);
    analyser.analyseProject(job.files, job.threads);
    if (stop && stop->load())
        return false;

    result->analysed.clear();
    for (const QString &file : analyser.storedFiles())
        result->analysed.insert(file, descriptions.value(file));
    result->projectFunctionNames = analyser.projectFunctionNames();
    result->filesRead = analyser.filesRead();
    return true;
}

void applyAnalysisResult(const AnalysisResult &result, CodeModel *model)
{
    for (auto it = result.analysed.cbegin(); it != result.analysed.cend(); ++it) {
        const FileDescriptions &current = model->fileDescriptions();
        auto old = current.constFind(it.key());
        if (old == current.cend() || !(old->time > it->time))
            model->setPHPFileDescription(it.key(), *it);
    }
    model->setProjectFunctionNames(result.projectFunctionNames);
}

ProjectLoadingThread::ProjectLoadingThread(QObject *parent)
    : QThread(parent)
{
}

ProjectLoadingThread::~ProjectLoadingThread()
{
    stopRun();
}

bool ProjectLoadingThread::startRun(const AnalysisJob &newJob, Priority priority)
{
    if (busy.load())
        return false;
    wait();   // the last run has returned; let its thread end
    {
        QMutexLocker lock(&mutex);
        job = newJob;
        hasResult = false;
        result = AnalysisResult();
    }
    stop.store(false);
    busy.store(true);
    start(priority);
    return true;
}

void ProjectLoadingThread::stopRun()
{
    stop.store(true);
    wait();
    QMutexLocker lock(&mutex);
    hasResult = false;
    result = AnalysisResult();
}

bool ProjectLoadingThread::takeResult(AnalysisResult *out)
{
    QMutexLocker lock(&mutex);
    if (!hasResult)
        return false;
    *out = std::move(result);
    result = AnalysisResult();
    hasResult = false;
    return true;
}

void ProjectLoadingThread::run()
{
    AnalysisJob mine;
    {
        QMutexLocker lock(&mutex);
        mine = std::move(job);
        job = AnalysisJob();
    }
    AnalysisResult out;
    const bool complete = runAnalysis(mine, &stop, &out);
    mine = AnalysisJob();   // drop our share of the model before handing back
    if (complete) {
        QMutexLocker lock(&mutex);
        result = std::move(out);
        hasResult = true;
    }
    busy.store(false);
}

} // namespace ov
