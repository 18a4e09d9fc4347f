#pragma once

// What bench_analysis and bench_editoranalysis share: a peer (ctags, the
// indexer) timed as a child process, and a project of a tree's PHP files.

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdio>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

#include "project/core/projectfile.h"

extern char **environ;

namespace bench {

struct Measure {
    double ms = 0;
    double rssMb = 0;
    QByteArray out;
    bool ok = false;
};

// Runs `command` with its standard output in `outFile`: wall time, peak
// memory, what it printed, whether it ended well.
inline Measure runChild(const QStringList &command, const QString &outFile)
{
    Measure m;
    std::vector<QByteArray> args;
    for (const QString &a : command)
        args.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = outFile.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return m;
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    m.ms = timer.nsecsElapsed() / 1e6;
    posix_spawn_file_actions_destroy(&actions);
    m.rssMb = usage.ru_maxrss / 1024.0;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    QFile f(outFile);
    if (f.open(QIODevice::ReadOnly))
        m.out = f.readAll().trimmed();
    return m;
}

// Keeps the best of several runs: the machine is shared, the minimum is
// the figure least disturbed by others.
inline void keepBest(const Measure &m, bool first, Measure *best)
{
    if (first || !m.ok || m.ms < best->ms)
        *best = m;
}

// The baseline: universal-ctags indexing the PHP files of `tree`.
inline QStringList ctagsCommand(const QString &ctags, const QString &tagsFile, const QString &tree)
{
    return {ctags, QStringLiteral("-R"), QStringLiteral("--languages=PHP"), QStringLiteral("-f"), tagsFile, tree};
}

// Writes `projectFile`: a project named `name` of every PHP file under
// `tree`, sorted. The number of files, or -1 when it cannot be written.
inline qsizetype writeTreeProject(const QString &tree, const QString &name, const QString &projectFile)
{
    QStringList files;
    QDirIterator it(tree, {QStringLiteral("*.php")}, QDir::Files,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    ov::ProjectFile project;
    project.root.name = name;
    for (const QString &f : files)
        project.root.children.append({ov::ProjectNode::File, QString(), f, {}});
    return project.write(projectFile) ? files.size() : -1;
}

// The project of `tree` in the folder `work`, named `name`.vuzar; empty,
// having said why, when it cannot be written.
inline QString writeCorpusProject(const QString &tree, const QString &name, const QString &work, qsizetype *files)
{
    QDir().mkpath(work);
    const QString projectFile = work + QLatin1Char('/') + name + QStringLiteral(".vuzar");
    *files = writeTreeProject(tree, name, projectFile);
    if (*files >= 0)
        return projectFile;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(projectFile));
    return QString();
}

} // namespace bench
