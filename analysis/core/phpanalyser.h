#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <atomic>

#include "analysis/core/codemodel.h"

class QThreadPool;

namespace ov {

class PhpScanner;
class WordTable;

// Finds the functions, includes, variables and calls of PHP files with the
// four patterns of PhpScanner and a bracket counter. It reads and updates
// the descriptions it is given; a file whose description is not older than
// the file on disk is not read again.
//
// Files are decoded exactly as the editor decodes them (editorText), so
// positions are editor cursor positions.
class PhpAnalyser
{
public:
    // Bigger files are data, not code: they are skipped.
    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

    // `projectFolder` is the folder of the project file: include paths are
    // tried against it first.
    PhpAnalyser(const QString &projectFolder, const QSet<QString> &builtins, FileDescriptions *descriptions);

    // Polled between files; when set, the operations return early.
    void setStopFlag(const std::atomic<bool> *flag) { stopFlag = flag; }

    // The names that make a call "known" besides the built-ins. The first
    // pass of a run rebuilds them.
    void setProjectFunctionNames(const QStringList &names);
    const QStringList &projectFunctionNames() const { return projectNames; }
    const QStringList &visitedFiles() const { return visited; }
    // Empties the names and the visited files: the start of a run.
    void startRun();

    // A whole run over the tree's files: startRun(), the names of all
    // files, then the analysis of each file that changed. Each file's
    // status is taken once and each file read once per run. With `threads`
    // over 1, files are read and scanned side by side on up to `threads`
    // threads, the caller's included; the results are those of the passes
    // run one file after the other. The helpers come from `pool` when given
    // (those of its threads that are free), else from a pool of the run's
    // own.
    void analyseProject(const QStringList &files, int threads = 1, QThreadPool *pool = nullptr);

    // First pass: the names of the functions defined in `fileName` and in
    // the files it includes, each file once per run.
    void collectFunctionNames(const QString &fileName);
    // Second pass: (re)analyses `fileName` unless its description is
    // current, analysing what it includes first. The includes of a current
    // file are followed too (once per run), so that a changed file reached
    // only through includes is brought up to date.
    void analysePHPFile(const QString &fileName);

    PHPFunctionDefinition analyseFunction(const QString &text, int start) const;
    bool isKnownFunction(const QString &name) const;

    // The bracket at or after `from` and its partner; -1 for what is not
    // found. Brackets in strings and comments count like any other.
    static void findBracketPair(QStringView text, int from, bool parentheses, int &open, int &close);

    // One prototype per line; the name before the first "(" is taken.
    static QSet<QString> parseBuiltinList(const QByteArray &bytes);
    // "builtin.list" beside the executable, else in the installed data
    // folder (found from the executable, else the configured one); empty
    // when none can be read.
    static QSet<QString> loadBuiltinFunctions();

    // Files read from disk so far and the descriptions this analyser stored.
    int filesRead() const { return int(readFiles.size()); }
    const QSet<QString> &storedFiles() const { return stored; }

private:
    // A file's status, taken once per run.
    struct FileState {
        bool exists = false;
        bool isFile = false;   // a regular file, not a device or a pipe
        qint64 size = 0;
        qint64 modifiedMs = 0;   // since the epoch, as the file system gave it
        QDateTime modified;
        // Whether the description was current when the run took the state
        // (-1: not known); comparing local times is slow.
        signed char current = -1;
        // The description's function names, in its order, and includes, as
        // the run found them beside the state: the first pass of a run then
        // need not walk the description's table itself, one file after the
        // other. Nothing changes the descriptions before the second pass.
        bool described = false;
        QStringList names;
        QStringList includes;
    };
    static FileState stateOf(const QString &fileName);
    // stateOf() in two steps: the file system's part, safe on any thread,
    // then the local time, on one thread only.
    static void statFile(const QString &fileName, FileState *state);
    // `known`: the local times already taken in this run, by file time.
    static void takeTime(const QString &fileName, FileState *state, QHash<qint64, QDateTime> *known = nullptr);
    FileState fileState(const QString &fileName);

    // What a run needs of a file that changed, taken from one reading.
    struct Scan {
        QDateTime time;                        // taken before reading
        QStringList includes;                  // resolved, in text order
        QStringList names;                     // every definition's name
        QList<PHPFunctionDefinition> functions;  // calls not yet filtered
        // The functions by name, calls filtered: made once the run knows
        // all the project's names.
        QHash<QString, PHPFunctionDefinition> table;
        bool tabulated = false;
    };
    void tabulate(Scan *scan) const;
    // Thread-safe: reads nothing but its arguments and fixed members.
    bool scanFile(const QString &fileName, const FileState &state, Scan *scan) const;
    bool takeScan(const QString &fileName, const FileState &state, Scan *scan, bool keep);
    void prefetch(const QStringList &files, QThreadPool *pool, int helpers);

    bool stopped() const { return stopFlag && stopFlag->load(std::memory_order_relaxed); }
    bool isCurrent(const QString &fileName, const FileState &state) const;
    bool compareTimes(const QString &fileName, const FileState &state) const;
    static bool readText(const QString &fileName, const FileState &state, QString *text);
    QString resolveInclude(const QString &path, const QString &fileName) const;
    QStringList includeTargets(const PhpScanner &scanner, const QString &fileName) const;
    // Calls are kept when known or, with `allCalls`, all of them.
    // `words` shares the strings of a file's variables and callees.
    PHPFunctionDefinition analyseFunction(const PhpScanner &scanner, int start, bool allCalls, WordTable *words) const;
    void analyseFunctions(const PhpScanner &scanner, QList<PHPFunctionDefinition> *functions) const;
    void addProjectName(const QString &name);

    QString projectFolder;
    QSet<QString> builtins;
    FileDescriptions *descriptions;
    const std::atomic<bool> *stopFlag = nullptr;

    QStringList projectNames;
    QSet<QString> projectNameSet;
    QStringList visited;
    QSet<QString> visitedSet;
    QSet<QString> checkedCurrent;
    QSet<QString> chain;   // within analysePHPFile only
    QSet<QString> readFiles;
    QSet<QString> stored;

    // Within analyseProject only: file status and scans of the first pass
    // for the second.
    bool caching = false;
    QHash<QString, FileState> states;
    QHash<QString, Scan> scans;
};

} // namespace ov
