#pragma once

#include <QFuture>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <memory>

#include "analysis/core/codemodel.h"

class QThreadPool;

namespace ov {

class Workers;

// Everything a run needs, copied on the GUI thread when it starts: the run
// never looks at the live tree or model.
struct AnalysisJob {
    QStringList files;              // absolute paths of the tree's files, in tree order
    QString projectFolder;          // folder of the project file
    FileDescriptions descriptions;  // the model as the run starts
    QSet<QString> builtins;
    // Files read and scanned side by side: on every core. The window's
    // thread mostly waits meanwhile, and typing stays prompt.
    int threads = QThread::idealThreadCount();
    QThreadPool *pool = nullptr;    // the helpers' threads; null: the run's own
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

// The analysis runs, on the application's workers (Workers). started()
// and finished() mark a run on the owner's thread; the owner collects the
// result with takeResult() when finished() reaches it. A stopped run is
// forgotten, not waited for: it ends at its next file on its own, and
// what it finds is dropped.
class ProjectLoadingThread : public QObject
{
    Q_OBJECT

public:
    // `workers` null: the application's.
    explicit ProjectLoadingThread(QObject *parent = nullptr, Workers *workers = nullptr);
    // Stops a run in progress without waiting for it.
    ~ProjectLoadingThread() override;

    // Starts a run on a copy of `job`; false (and nothing done) while a run
    // is in progress. A stopped run still finishing does not count.
    bool startRun(const AnalysisJob &job);
    // The run started last has not ended its work.
    bool isBusy() const;
    // started() was emitted and finished() not yet.
    bool isRunning() const { return announced; }

    // Tells the run in progress to stop at the next file and returns at
    // once; drops whatever it or an earlier run left uncollected.
    // finished() follows, as for any run.
    void stopRun();

    // The result of the last completed run, once.
    bool takeResult(AnalysisResult *result);

    // Blocks until the run in progress has ended (for tools without an
    // event loop); true when a result waits in takeResult().
    bool waitForRun();

Q_SIGNALS:
    void started();
    void finished();

private:
    struct Run;
    void runEnded(const std::shared_ptr<Run> &ended);

    Workers *workers;
    std::shared_ptr<Run> current;   // the run started last, until stopped
    QFuture<void> future;           // its work
    bool announced = false;
};

} // namespace ov
