#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "search/core/syntaxmessage.h"

class QProcess;
class QTimer;

namespace ov {

// Runs the PHP interpreter's linter (`php -l`) over files, one process per
// file and several at once, on the event loop: nothing here ever blocks.
// Each file's result comes back through checked(), in the order the
// processes end; finished() follows when nothing is left to do.
class SyntaxChecker : public QObject
{
    Q_OBJECT

public:
    explicit SyntaxChecker(QObject *parent = nullptr);
    // Kills what still runs; no signal follows.
    ~SyntaxChecker() override;

    // The interpreter as the user configured it: a path, or a name looked
    // up on the PATH; empty for "php" on the PATH.
    void setInterpreter(const QString &configured);
    // The interpreter to run, or empty when there is none.
    static QString findInterpreter(const QString &configured);
    // What the interpreter is given for one file. No shell sees them. The
    // path is made absolute, so it never reads as an option; `-f` names
    // the file (after `--` the interpreter would lint its standard input).
    static QStringList arguments(const QString &fileName);

    // At most this many processes at once; the machine's cores by default.
    void setMaxProcesses(int count);
    // A check taking longer is killed and reported.
    void setTimeout(int ms);

    // Queues files. A file already waiting is not queued twice; a file
    // being checked is checked again once that check ends, and only the
    // later result is reported.
    void check(const QStringList &fileNames);
    // Drops the queue and kills the running checks; no result, then
    // finished() if anything was under way.
    void cancel();
    bool isBusy() const;
    // Files queued since the checker was last idle, reported or not.
    int totalCount() const { return total; }

Q_SIGNALS:
    void checked(const ov::SyntaxCheckResult &result);
    void progress(int done, int total);
    void finished();
    // No interpreter could be found or started; the queue was dropped.
    void interpreterMissing();

private:
    struct Job {
        QString fileName;
        QProcess *process = nullptr;
        QTimer *timer = nullptr;
        QByteArray output;
        bool timedOut = false;
        bool stale = false; // the file was queued again meanwhile
    };
    void startMore();
    bool startJob(const QString &fileName);
    void jobEnded(Job *job, bool failedToStart);
    void report(const SyntaxCheckResult &result);
    void dropAll();
    void finishIfIdle();

    QString configured;
    QString program;
    int maxProcesses = 1;
    int timeoutMs = 10000;
    QStringList queue;
    qsizetype queueHead = 0;
    QSet<QString> queued;
    QList<Job *> running;
    int done = 0;
    int total = 0;
};

} // namespace ov
