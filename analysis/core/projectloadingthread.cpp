#include "analysis/core/projectloadingthread.h"

#include <QFutureWatcher>

#include <mutex>

#include "analysis/core/bulkheap.h"
#include "analysis/core/phpanalyser.h"
#include "editor/core/workers.h"

namespace ov {

bool runAnalysis(const AnalysisJob &job, const std::atomic<bool> *stop, AnalysisResult *result)
{
    adviseThreadHeap();
    FileDescriptions descriptions = job.descriptions;
    PhpAnalyser analyser(job.projectFolder, job.builtins, &descriptions);
    analyser.setStopFlag(stop);
    analyser.analyseProject(job.files, job.threads, job.pool);
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

// What a run and its owner share. The mutex hands the job and the result
// over where the thread checker sees it (Qt's own hand-overs it cannot).
struct ProjectLoadingThread::Run {
    std::mutex mutex;
    AnalysisJob job;         // taken by the run as it begins
    AnalysisResult result;   // set when the run completes
    bool complete = false;
    bool ended = false;      // the run has returned, complete or stopped
    std::atomic<bool> stop{false};
};

ProjectLoadingThread::ProjectLoadingThread(QObject *parent, Workers *workers)
    : QObject(parent), workers(workers ? workers : Workers::instance())
{
}

ProjectLoadingThread::~ProjectLoadingThread()
{
    stopRun();
}

bool ProjectLoadingThread::isBusy() const
{
    if (!current)
        return false;
    std::lock_guard<std::mutex> lock(current->mutex);
    return !current->ended;
}

bool ProjectLoadingThread::startRun(const AnalysisJob &job)
{
    if (isBusy())
        return false;
    auto run = std::make_shared<Run>();
    {
        std::lock_guard<std::mutex> lock(run->mutex);
        run->job = job;
        run->job.pool = workers->pool();
    }
    current = run;
    announced = true;
    // Queued, as finished() is: a stopped run's finished() comes first, and
    // posted before the work starts, so that a run ending at once cannot
    // report its end (posted by the watcher) before its start.
    QMetaObject::invokeMethod(this, &ProjectLoadingThread::started, Qt::QueuedConnection);
    // The work holds its run only: this object may be gone when it ends.
    future = workers->run([run] {
        AnalysisJob mine;
        {
            std::lock_guard<std::mutex> lock(run->mutex);
            mine = std::move(run->job);
            run->job = AnalysisJob();
        }
        AnalysisResult out;
        const bool complete = runAnalysis(mine, &run->stop, &out);
        mine = AnalysisJob();   // drop our share of the model before handing back
        std::lock_guard<std::mutex> lock(run->mutex);
        if (complete) {
            run->result = std::move(out);
            run->complete = true;
        }
        run->ended = true;
    });
    auto *watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, run] {
        watcher->deleteLater();
        runEnded(run);
    });
    watcher->setFuture(future);
    return true;
}

void ProjectLoadingThread::runEnded(const std::shared_ptr<Run> &ended)
{
    // A stopped run was announced finished when it was stopped.
    if (ended != current)
        return;
    announced = false;
    Q_EMIT finished();
}

void ProjectLoadingThread::stopRun()
{
    if (current) {
        current->stop.store(true);
        current.reset();
    }
    future = QFuture<void>();
    if (announced) {
        announced = false;
        QMetaObject::invokeMethod(this, &ProjectLoadingThread::finished, Qt::QueuedConnection);
    }
}

bool ProjectLoadingThread::takeResult(AnalysisResult *out)
{
    if (!current)
        return false;
    std::lock_guard<std::mutex> lock(current->mutex);
    if (!current->complete)
        return false;
    *out = std::move(current->result);
    current->result = AnalysisResult();
    current->complete = false;
    return true;
}

bool ProjectLoadingThread::waitForRun()
{
    if (!current)
        return false;
    future.waitForFinished();
    std::lock_guard<std::mutex> lock(current->mutex);
    return current->complete;
}

} // namespace ov
