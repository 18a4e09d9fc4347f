#pragma once

#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>

#include "analysis/core/codemodel.h"

namespace ov {

// Everything a run needs, copied on the GUI thread when it starts: the run
// never looks at the live tree or model.
struct AnalysisJob {
    QStringList files;              // absolute paths of the tree's files, in tree order
    QString projectFolder;          // folder of the project file
    FileDescriptions descriptions;  // the model as the run starts
    QSet<QString> builtins;
    int threads = QThread::idealThreadCount();   // files read and scanned side by side
};

struct AnalysisResult {
    FileDescriptions analysed;         // descriptions the run made, by file
    QStringList projectFunctionNames;  // every function the project defines
    int filesRead = 0;
};

// The body of a run: names of all files first, then each file that changed.
// Returns false when `stop` was raised before the run was complete.
bool runAnalysis(const AnalysisJob &job, const std::atomic<bool> *stop, AnalysisResult *result);

// Stores the run's descriptions in `model` unless a newer one stands there
// already (one analysed on the GUI thread meanwhile), and replaces the
// project's function names.
void applyAnalysisResult(const AnalysisResult &result, CodeModel *model);

// The worker thread of the analysis runs, reused for each run. started()
// and finished() mark a run; the owner collects the result with
// takeResult() when finished() reaches it.
class ProjectLoadingThread : public QThread
{
    Q_OBJECT

public:
    explicit ProjectLoadingThread(QObject *parent = nullptr);
    // Stops a run in progress and waits for it.
    ~ProjectLoadingThread() override;

    // Starts a run on a copy of `job`; false (and nothing done) while a run
    // is in progress.
    bool startRun(const AnalysisJob &job, Priority priority = InheritPriority);
    bool isBusy() const { return busy.load(); }

    // Asks the run in progress to stop at the next file, waits for it and
    // drops whatever it or an earlier run left uncollected.
    void stopRun();

    // The result of the last completed run, once.
    bool takeResult(AnalysisResult *result);

protected:
    void run() override;

private:
    QMutex mutex;             // guards job, result, hasResult
    AnalysisJob job;
    AnalysisResult result;
    bool hasResult = false;
    std::atomic<bool> stop{false};
    std::atomic<bool> busy{false};
};

} // namespace ov
