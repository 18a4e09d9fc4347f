#include "search/core/syntaxchecker.h"

#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include "search/core/searchlog.h"

namespace ov {

namespace {

// A linter says a line or two; anything past this is not worth keeping.
constexpr qsizetype MaxOutput = 64 * 1024;

} // namespace

SyntaxChecker::SyntaxChecker(QObject *parent)
    : QObject(parent), maxProcesses(qMax(1, QThread::idealThreadCount()))
{
    qRegisterMetaType<ov::SyntaxCheckResult>("ov::SyntaxCheckResult");
}

SyntaxChecker::~SyntaxChecker()
{
    dropAll();
}

void SyntaxChecker::setInterpreter(const QString &interpreter)
{
    configured = interpreter;
}

QString SyntaxChecker::findInterpreter(const QString &configured)
{
    const QString name = configured.trimmed();
    if (name.isEmpty())
        return QStandardPaths::findExecutable(QStringLiteral("php"));
    if (!name.contains(QLatin1Char('/')))
        return QStandardPaths::findExecutable(name);
    const QFileInfo info(name);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

QStringList SyntaxChecker::arguments(const QString &fileName)
{
    // Where the errors go and which are shown depends on the user's ini
    // files: a log file or error_reporting=0 would hide the line number.
    return {QStringLiteral("-d"), QStringLiteral("display_errors=stderr"),
            QStringLiteral("-d"), QStringLiteral("log_errors=0"),
            QStringLiteral("-d"), QStringLiteral("html_errors=0"),
            QStringLiteral("-d"), QStringLiteral("error_reporting=-1"),
            QStringLiteral("-l"), QStringLiteral("-f"), QFileInfo(fileName).absoluteFilePath()};
}

void SyntaxChecker::setMaxProcesses(int count)
{
    maxProcesses = qMax(1, count);
}

void SyntaxChecker::setTimeout(int ms)
{
    timeoutMs = qMax(1, ms);
}

bool SyntaxChecker::isBusy() const
{
    return !running.isEmpty() || queueHead < queue.size();
}

void SyntaxChecker::check(const QStringList &fileNames)
{
    if (fileNames.isEmpty())
        return;
    if (!isBusy() || program.isEmpty())
        program = findInterpreter(configured);
    if (program.isEmpty()) {
        Q_EMIT interpreterMissing();
        return;
    }
    for (const QString &fileName : fileNames) {
        if (queued.contains(fileName))
            continue;
        bool beingChecked = false;
        for (Job *job : std::as_const(running)) {
            if (job->fileName == fileName) {
                // Its result would be out of date: it is checked again when it ends.
                job->stale = true;
                beingChecked = true;
                break;
            }
        }
        if (beingChecked)
            continue;
        queue.append(fileName);
        queued.insert(fileName);
        ++total;
    }
    startMore();
}

void SyntaxChecker::startMore()
{
    while (running.size() < maxProcesses && queueHead < queue.size()) {
        const QString fileName = queue.at(queueHead++);
        queued.remove(fileName);
        if (!startJob(fileName))
            return;
    }
}

bool SyntaxChecker::startJob(const QString &fileName)
{
    auto *job = new Job;
    job->fileName = fileName;
    job->process = new QProcess(this);
    job->process->setProgram(program);
    job->process->setArguments(arguments(fileName));
    job->process->setProcessChannelMode(QProcess::MergedChannels);
    job->process->setStandardInputFile(QProcess::nullDevice());
    connect(job->process, &QProcess::readyRead, this, [job] {
        const QByteArray more = job->process->readAll();
        if (job->output.size() < MaxOutput)
            job->output += more.left(MaxOutput - job->output.size());
    });
    connect(job->process, &QProcess::finished, this, [this, job] { jobEnded(job, false); });
    connect(job->process, &QProcess::errorOccurred, this, [this, job](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            qCWarning(lcSearch, "cannot start %s: %s", qUtf8Printable(program),
                      qUtf8Printable(job->process->errorString()));
            jobEnded(job, true);
        }
    });
    job->timer = new QTimer(this);
    job->timer->setSingleShot(true);
    connect(job->timer, &QTimer::timeout, this, [job] {
        job->timedOut = true;
        job->process->kill();
    });
    running.append(job);
    job->timer->start(timeoutMs);
    job->process->start();
    // A start that fails has already been handled, the queue dropped.
    return running.contains(job);
}

void SyntaxChecker::jobEnded(Job *job, bool failedToStart)
{
    if (!running.removeOne(job))
        return;
    job->timer->stop();
    job->timer->deleteLater();
    job->process->disconnect(this);
    job->process->deleteLater();
    const QByteArray output = job->output + job->process->readAll();
    const QPointer<SyntaxChecker> alive(this);

    if (failedToStart) {
        delete job;
        program.clear();
        dropAll();
        Q_EMIT interpreterMissing();
        if (alive)
            Q_EMIT finished();
        return;
    }

    SyntaxCheckResult result;
    if (job->stale) {
        queue.append(job->fileName);
        queued.insert(job->fileName);
    } else if (job->timedOut) {
        result.fileName = job->fileName;
        result.status = SyntaxCheckResult::TimedOut;
        result.errors.append({job->fileName, 0,
                              QStringLiteral("The syntax check took longer than %1 s and was stopped")
                                  .arg(timeoutMs / 1000.0)});
    } else {
        const bool normal = job->process->exitStatus() == QProcess::NormalExit;
        result = parseLintOutput(job->fileName, output, normal ? job->process->exitCode() : -1);
    }
    const bool stale = job->stale;
    delete job;
    if (!stale) {
        ++done;
        Q_EMIT checked(result);
        if (!alive)
            return;
        Q_EMIT progress(done, total);
        if (!alive)
            return;
    }
    startMore();
    finishIfIdle();
}

void SyntaxChecker::finishIfIdle()
{
    if (isBusy())
        return;
    queue.clear();
    queueHead = 0;
    queued.clear();
    done = 0;
    total = 0;
    Q_EMIT finished();
}

void SyntaxChecker::dropAll()
{
    queue.clear();
    queueHead = 0;
    queued.clear();
    done = 0;
    total = 0;
    const QList<Job *> jobs = running;
    running.clear();
    for (Job *job : jobs) {
        job->process->disconnect(this);
        job->timer->disconnect(this);
        job->process->kill();
        // After SIGKILL this is quick; it reaps the process.
        job->process->waitForFinished(1000);
        delete job->process;
        delete job->timer;
        delete job;
    }
}

void SyntaxChecker::cancel()
{
    const bool wasBusy = isBusy();
    dropAll();
    if (wasBusy)
        Q_EMIT finished();
}

} // namespace ov
