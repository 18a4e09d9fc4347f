// "Check Syntax of Project" over the PHP files of a source tree, against
// `xargs -P<cores> -n1 php -l` over the same files in the same run. The
// two take turns; each side's best wall time makes the ratio, with the
// processor time of the interpreters beside it.
#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <sys/resource.h>

#include "bench/benchclock.h"
#include "search/core/syntaxchecker.h"

using namespace ov;

namespace {

struct Run {
    double ms = 0;
    double cpuMs = 0;
    int filesWithErrors = 0;
};

Run ours(const QStringList &files)
{
    Run run;
    SyntaxChecker checker;
    QObject::connect(&checker, &SyntaxChecker::checked, [&run](const SyntaxCheckResult &r) {
        if (r.status != SyntaxCheckResult::Clean)
            ++run.filesWithErrors;
    });
    QEventLoop loop;
    QObject::connect(&checker, &SyntaxChecker::finished, &loop, &QEventLoop::quit);
    const double cpu = bench::childrenCpuMs();
    QElapsedTimer clock;
    clock.start();
    checker.check(files);
    if (checker.isBusy())
        loop.exec();
    run.ms = clock.elapsed();
    run.cpuMs = bench::childrenCpuMs() - cpu;
    return run;
}

Run xargs(const QStringList &files)
{
    Run run;
    QByteArray list;
    for (const QString &file : files)
        list += QFile::encodeName(file) + '\0';
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const double cpu = bench::childrenCpuMs();
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("xargs"), {QStringLiteral("-0"), QStringLiteral("-P%1").arg(QThread::idealThreadCount()),
                                            QStringLiteral("-n1"), QStringLiteral("php"), QStringLiteral("-l")});
    process.write(list);
    process.closeWriteChannel();
    QByteArray output;
    while (!process.waitForFinished(100))
        output += process.readAll();
    output += process.readAll();
    run.ms = clock.elapsed();
    run.cpuMs = bench::childrenCpuMs() - cpu;
    run.filesWithErrors = int(output.count("Errors parsing "));
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/share/wordpress");
    const int rounds = argc > 2 ? qMax(1, atoi(argv[2])) : 1;
    QStringList files;
    QDirIterator it(root, {QStringLiteral("*.php")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    if (files.isEmpty() || SyntaxChecker::findInterpreter(QString()).isEmpty()) {
        fprintf(stderr, "need PHP files under %s and php on the PATH\n", qPrintable(root));
        return 1;
    }
    printf("files=%lld processes=%d rounds=%d\n", qlonglong(files.size()), QThread::idealThreadCount(), rounds);

    Run bestOurs, bestPeer;
    for (int round = 0; round < rounds; ++round) {
        const Run a = ours(files);
        const Run b = xargs(files);
        printf("round %d: ours %.0f ms (php cpu %.0f ms, %d with errors), xargs %.0f ms (php cpu %.0f ms, %d with "
               "errors)\n",
               round + 1, a.ms, a.cpuMs, a.filesWithErrors, b.ms, b.cpuMs, b.filesWithErrors);
        fflush(stdout);
        if (round == 0 || a.ms < bestOurs.ms)
            bestOurs = a;
        if (round == 0 || b.ms < bestPeer.ms)
            bestPeer = b;
    }
    printf("project_ratio=%.2f\n", bestOurs.ms / bestPeer.ms);
    return 0;
}
