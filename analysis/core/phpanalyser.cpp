#include "analysis/core/phpanalyser.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <vector>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "analysis/core/analysislog.h"
#include "analysis/core/bulkheap.h"
#include "analysis/core/phpscanner.h"
#include "editor/core/textfile.h"
#include "editor/core/vectorscan.h"
#include "editor/core/workers.h"

namespace ov {

// The distinct words (variables, callees) of one file, each held once: the
// functions of a file share their strings, and telling whether a function
// has met a word already costs a cheap hash instead of a set of its own.
class WordTable
{
public:
    // The next function starts: no word has been met in it yet.
    void startFunction() { ++function; }

    // The shared string of `word`; null when this function met it before.
    const QString *meet(QStringView word)
    {
        if (2 * (used + 1) > table.size())
            grow();
        Slot &slot = find(word, hashOf(word));
        if (slot.word.isNull()) {
            slot.word = word.toString();
            ++used;
        } else if (slot.metIn == function) {
            return nullptr;
        }
        slot.metIn = function;
        return &slot.word;
    }

private:
    struct Slot {
        QString word;
        size_t hash = 0;
        quint32 metIn = 0;
    };

    static size_t hashOf(QStringView word)
    {
        size_t h = size_t(word.size()) * 0x9E3779B97F4A7C15ull;
        for (const QChar c : word)
            h = (h ^ c.unicode()) * 0x100000001B3ull;
        return h ^ (h >> 29);
    }

    Slot &find(QStringView word, size_t hash)
    {
        const size_t mask = table.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot &slot = table[i];
            if (slot.word.isNull()) {
                slot.hash = hash;
                return slot;
            }
            if (slot.hash == hash && QStringView(slot.word) == word)
                return slot;
        }
    }

    void grow()
    {
        std::vector<Slot> old(std::max<size_t>(64, 2 * table.size()));
        old.swap(table);
        for (Slot &slot : old) {
            if (!slot.word.isNull())
                find(slot.word, slot.hash) = std::move(slot);
        }
    }

    std::vector<Slot> table;
    size_t used = 0;
    quint32 function = 1;
};

PhpAnalyser::PhpAnalyser(const QString &projectFolder, const QSet<QString> &builtins,
                         FileDescriptions *descriptions)
    : projectFolder(projectFolder), builtins(builtins), descriptions(descriptions)
{
}

void PhpAnalyser::setProjectFunctionNames(const QStringList &names)
{
    projectNames = names;
    projectNameSet = QSet<QString>(names.cbegin(), names.cend());
}

void PhpAnalyser::startRun()
{
    projectNames.clear();
    projectNameSet.clear();
    visited.clear();
    visitedSet.clear();
    checkedCurrent.clear();
}

void PhpAnalyser::addProjectName(const QString &name)
{
    // One hash look-up per name: every function of the project comes here.
    const qsizetype before = projectNameSet.size();
    projectNameSet.insert(name);
    if (projectNameSet.size() != before)
        projectNames.append(name);
}

bool PhpAnalyser::isKnownFunction(const QString &name) const
{
    return builtins.contains(name) || projectNameSet.contains(name);
}

bool PhpAnalyser::compareTimes(const QString &fileName, const FileState &state) const
{
    auto it = descriptions->constFind(fileName);
    return it != descriptions->cend() && state.modified <= it->time;
}

bool PhpAnalyser::isCurrent(const QString &fileName, const FileState &state) const
{
    // What this analyser stored carries the time of the state it read.
    if (state.current >= 0 && !stored.contains(fileName))
        return state.current;
    return compareTimes(fileName, state);
}

namespace {

#ifdef Q_OS_LINUX
// A regular file whose size a stat just gave, in as few system calls as
// there can be (open, one read, close, most of the time): a run reads
// thousands of files. It may have grown since, or shrunk: a short read of
// a regular file is its end.
bool readRegularFile(const QString &fileName, qint64 size, QByteArray *bytes)
{
    const QByteArray native = QFile::encodeName(fileName);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // One byte over: a read that fills it all says the file grew.
    QByteArray buffer(size + 1, Qt::Uninitialized);
    qint64 used = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data() + used, size_t(buffer.size() - used));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        used += n;
        if (n == 0 || used < buffer.size())
            break;
        if (used > PhpAnalyser::MaxFileSize)
            break;
        buffer.resize(buffer.size() * 2);
    }
    ::close(fd);
    buffer.truncate(used);
    *bytes = std::move(buffer);
    return true;
}
#endif

} // namespace

bool PhpAnalyser::readText(const QString &fileName, const FileState &state, QString *text)
{
    // Devices and pipes never end; huge files are not source code.
    if (!state.isFile || state.size > MaxFileSize) {
        qCDebug(lcAnalysis, "skipped %s: %s", qUtf8Printable(fileName),
                state.isFile ? "too large" : "not a regular file");
        return false;
    }
    QByteArray bytes;
    QString error;
#ifdef Q_OS_LINUX
    // The state came from statFile(): the name is one stat() could take.
    const bool read = readRegularFile(fileName, state.size, &bytes);
    if (!read)
        error = qt_error_string(errno);
#else
    const bool read = readFileBytes(fileName, &bytes, &error);
#endif
    if (!read)
        qCWarning(lcAnalysis, "cannot read %s for the analysis: %s", qUtf8Printable(fileName),
                  qUtf8Printable(error));
    if (!read || bytes.size() > MaxFileSize)
        return false;
    *text = editorText(bytes);
    return true;
}

QString PhpAnalyser::resolveInclude(const QString &path, const QString &fileName) const
{
    if (!projectFolder.isEmpty()) {
        const QString inProject = QFileInfo(projectFolder + QLatin1Char('/') + path).canonicalFilePath();
        if (!inProject.isEmpty())
            return inProject;
    }
    return QFileInfo(QFileInfo(fileName).absolutePath() + QLatin1Char('/') + path).canonicalFilePath();
}

QStringList PhpAnalyser::includeTargets(const PhpScanner &scanner, const QString &fileName) const
{
    QStringList targets;
    for (auto m = scanner.findInclude(0); m.found(); m = scanner.findInclude(m.pos + 1)) {
        if (m.openQuote != m.closeQuote || m.pathLength == 0)
            continue;
        const QString resolved = resolveInclude(scanner.text().mid(m.pathStart, m.pathLength).toString(), fileName);
        if (!resolved.isEmpty())
            targets.append(resolved);
    }
    return targets;
}

PhpAnalyser::FileState PhpAnalyser::stateOf(const QString &fileName)
{
    FileState state;
    statFile(fileName, &state);
    takeTime(fileName, &state);
    return state;
}

void PhpAnalyser::statFile(const QString &fileName, FileState *state)
{
#ifdef Q_OS_LINUX
    // A run looks at every file of the project: one stat, without the
    // allocations and path work of a QFileInfo; the same answers.
    // stat() would read a name only up to a NUL; such a name names no file,
    // as QFileInfo says too (an include may hold one).
    const QByteArray native = QFile::encodeName(fileName);
    struct stat st;
    if (!native.contains('\0') && ::stat(native.constData(), &st) == 0) {
        state->exists = true;
        state->isFile = S_ISREG(st.st_mode);
        state->size = st.st_size;
        state->modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    }
#else
    Q_UNUSED(fileName);
    Q_UNUSED(state);
#endif
}

void PhpAnalyser::takeTime(const QString &fileName, FileState *state, QHash<qint64, QDateTime> *known)
{
    // Each local time costs a look at the system's zone: taken once per file.
#ifdef Q_OS_LINUX
    Q_UNUSED(fileName);
    if (!state->exists)
        return;
    auto it = known ? known->constFind(state->modifiedMs) : QHash<qint64, QDateTime>::const_iterator();
    if (known && it != known->cend()) {
        state->modified = *it;
        return;
    }
    state->modified = QDateTime::fromMSecsSinceEpoch(state->modifiedMs, Qt::UTC).toLocalTime();
    if (known)
        known->insert(state->modifiedMs, state->modified);
#else
    Q_UNUSED(known);
    const QFileInfo info(fileName);
    state->exists = info.exists();
    state->isFile = info.isFile();
    state->size = info.size();
    state->modified = info.lastModified();
#endif
}

PhpAnalyser::FileState PhpAnalyser::fileState(const QString &fileName)
{
    if (!caching)
        return stateOf(fileName);
    auto it = states.constFind(fileName);
    if (it == states.cend()) {
        FileState state = stateOf(fileName);
        if (state.exists)
            state.current = compareTimes(fileName, state);
        it = states.insert(fileName, state);
    }
    return *it;
}

bool PhpAnalyser::scanFile(const QString &fileName, const FileState &state, Scan *scan) const
{
    adviseThreadHeap();
    // Taken before reading: a change made while we read is seen next time.
    scan->time = state.modified;
    QString text;
    if (!readText(fileName, state, &text))
        return false;
    const PhpScanner scanner(text);
    scan->includes = includeTargets(scanner, fileName);
    for (auto m = scanner.findFunction(0); m.found(); m = scanner.findFunction(m.pos + 1))
        scan->names.append(scanner.captured(m).toString());
    analyseFunctions(scanner, &scan->functions);
    return true;
}

// The first pass's scan of a file (kept for the second when `keep`), or a
// fresh one.
bool PhpAnalyser::takeScan(const QString &fileName, const FileState &state, Scan *scan, bool keep)
{
    if (caching) {
        auto it = scans.find(fileName);
        if (it != scans.end()) {
            *scan = keep ? *it : std::move(*it);
            if (!keep)
                scans.erase(it);
            return true;
        }
    }
    if (!scanFile(fileName, state, scan))
        return false;
    readFiles.insert(fileName);
    if (caching && keep)
        scans.insert(fileName, *scan);
    return true;
}

void PhpAnalyser::prefetch(const QStringList &files, QThreadPool *pool, int helpers)
{
    struct Slot {
        QString file;
        FileState state;
        const QDateTime *described = nullptr;   // the description's time, if there is one
        bool scanned = false;
        Scan scan;
    };
    std::vector<Slot> work(size_t(files.size()));
    for (qsizetype i = 0; i < files.size(); ++i)
        work[size_t(i)].file = files.at(i);
    // The descriptions are looked up beside the stats: nothing changes
    // them before the second pass.
    const FileDescriptions &described = *descriptions;
    Workers::forEach(pool, files.size(), helpers, [&](qsizetype i) {
        Slot &slot = work[size_t(i)];
        if (stopped())
            return;
        statFile(slot.file, &slot.state);
        const auto it = described.constFind(slot.file);
        if (!slot.state.exists || it == described.cend())
            return;
        slot.described = &it->time;
        slot.state.described = true;
        slot.state.names.reserve(it->functions.size());
        for (auto f = it->functions.cbegin(); f != it->functions.cend(); ++f)
            slot.state.names.append(f.key());
        slot.state.includes = it->includes;
    });
    // Times are taken here, on one thread: local times go through the C
    // library's zone state, which is not safe to use from several threads.
    // Files share their times (a package's files all have one): each
    // distinct time is converted once.
    bool anyChanged = false;
    QHash<qint64, QDateTime> localTimes;
    for (Slot &slot : work) {
        if (stopped())
            return;
        takeTime(slot.file, &slot.state, &localTimes);
        if (slot.state.exists) {
            // As compareTimes() has it.
            slot.state.current = slot.described && slot.state.modified <= *slot.described;
            anyChanged = anyChanged || !slot.state.current;
        }
    }
    if (anyChanged) {
        Workers::forEach(pool, files.size(), helpers, [&](qsizetype i) {
            Slot &slot = work[size_t(i)];
            if (!stopped() && slot.state.exists && !slot.state.current)
                slot.scanned = scanFile(slot.file, slot.state, &slot.scan);
        });
    }
    for (Slot &slot : work) {
        if (states.contains(slot.file) || stopped())
            continue;
        states.insert(slot.file, slot.state);
        if (slot.scanned) {
            readFiles.insert(slot.file);
            scans.insert(slot.file, std::move(slot.scan));
        }
    }
}

void PhpAnalyser::analyseProject(const QStringList &files, int threads, QThreadPool *pool)
{
    // The helpers take only threads that are free: the run may itself be
    // running on `pool`.
    const int helpers = threads - 1;
    QThreadPool own;
    if (!pool) {
        own.setMaxThreadCount(qMax(1, helpers));
        pool = &own;
    }
    startRun();
    // As many names as last time, give or take a few.
    qsizetype functions = 0;
    for (const PHPFileDescription &d : std::as_const(*descriptions))
        functions += d.functions.size();
    projectNames.reserve(functions);
    projectNameSet.reserve(functions);
    // Every file passes through these once; growing them step by step
    // would hash every name again at each step.
    visitedSet.reserve(files.size());
    checkedCurrent.reserve(files.size());
    states.reserve(files.size());
    caching = true;
    if (threads > 1)
        prefetch(files, pool, helpers);
    for (const QString &file : files)
        collectFunctionNames(file);
    if (threads > 1 && !scans.isEmpty() && !stopped()) {
        // The names are complete: the changed files' functions are sorted
        // out side by side, the rest of the pass stays in order.
        std::vector<Scan *> pending;
        pending.reserve(size_t(scans.size()));
        for (auto it = scans.begin(); it != scans.end(); ++it)
            pending.push_back(&it.value());
        Workers::forEach(pool, qsizetype(pending.size()), helpers, [&](qsizetype i) {
            if (!stopped())
                tabulate(pending[size_t(i)]);
        });
    }
    for (const QString &file : files)
        analysePHPFile(file);
    caching = false;
    states.clear();
    scans.clear();
}

void PhpAnalyser::collectFunctionNames(const QString &fileName)
{
    // Depth first without recursion: include chains may be very long.
    struct Frame {
        QStringList includes;
        int next = 0;
        QStringList names;   // added after the included files' names
    };
    std::vector<Frame> stack;

    auto enter = [&](const QString &file) {
        if (stopped())
            return;
        // One look-up for the test and the mark: every file comes here.
        const qsizetype before = visitedSet.size();
        visitedSet.insert(file);
        if (visitedSet.size() == before)
            return;
        const FileState state = fileState(file);
        if (!state.exists) {
            visitedSet.remove(file);
            return;
        }
        visited.append(file);
        Frame frame;
        if (isCurrent(file, state)) {
            if (state.described) {
                for (const QString &name : state.names)
                    addProjectName(name);
                frame.includes = state.includes;
            } else {
                const PHPFileDescription &desc = *descriptions->constFind(file);
                for (auto it = desc.functions.cbegin(); it != desc.functions.cend(); ++it)
                    addProjectName(it.key());
                frame.includes = desc.includes;
            }
            // Nothing left to do after its includes: most files have none.
            if (frame.includes.isEmpty())
                return;
        } else {
            Scan scan;
            if (!takeScan(file, state, &scan, true))
                return;
            frame.includes = scan.includes;
            frame.names = scan.names;
        }
        stack.push_back(std::move(frame));
    };

    enter(fileName);
    while (!stack.empty() && !stopped()) {
        Frame &top = stack.back();
        if (top.next < top.includes.size()) {
            const QString include = top.includes.at(top.next++);
            enter(include);
            continue;
        }
        for (const QString &name : std::as_const(top.names))
            addProjectName(name);
        stack.pop_back();
    }
}

void PhpAnalyser::tabulate(Scan *scan) const
{
    adviseThreadHeap();
    // A file's callees share their strings (WordTable): each distinct one
    // is looked up once.
    QHash<const QChar *, bool> known;
    for (PHPFunctionDefinition &def : scan->functions) {
        QStringList kept;
        for (const QString &call : std::as_const(def.functionCalls)) {
            auto it = known.constFind(call.constData());
            if (it == known.cend())
                it = known.insert(call.constData(), isKnownFunction(call));
            if (*it)
                kept.append(call);
        }
        def.functionCalls = std::move(kept);
        scan->table.insert(def.name, def);
    }
    scan->tabulated = true;
}

void PhpAnalyser::analysePHPFile(const QString &fileName)
{
    struct Frame {
        Scan scan;
        int next = 0;
        PHPFileDescription desc;
        bool current = false;   // only its includes are looked at
    };
    std::vector<Frame> stack;
    // `chain`: the files being analysed further up, the cycle guard. Empty
    // between calls; a member, so that its table is not made and freed
    // for every file of a run.

    auto enter = [&](const QString &file) {
        if (stopped() || chain.contains(file))
            return;
        const FileState state = fileState(file);
        if (!state.exists)
            return;
        if (isCurrent(file, state)) {
            // A current file's includes may have changed on their own.
            const qsizetype before = checkedCurrent.size();
            checkedCurrent.insert(file);
            if (checkedCurrent.size() == before)
                return;
            const QStringList &includes = descriptions->constFind(file)->includes;
            if (includes.isEmpty())
                return;
            Frame frame;
            frame.current = true;
            frame.desc.name = file;
            frame.scan.includes = includes;
            chain.insert(file);
            stack.push_back(std::move(frame));
            return;
        }
        Frame frame;
        if (!takeScan(file, state, &frame.scan, false))
            return;
        frame.desc.name = file;
        frame.desc.time = frame.scan.time;
        chain.insert(file);
        stack.push_back(std::move(frame));
    };

    enter(fileName);
    while (!stack.empty() && !stopped()) {
        const size_t top = stack.size() - 1;
        if (stack[top].next < stack[top].scan.includes.size()) {
            const QString include = stack[top].scan.includes.at(stack[top].next++);
            enter(include);
            if (!stack[top].current && !stack[top].desc.includes.contains(include))
                stack[top].desc.includes.append(include);
            continue;
        }
        Frame &frame = stack[top];
        if (!frame.current) {
            if (!frame.scan.tabulated)
                tabulate(&frame.scan);
            frame.desc.functions = std::move(frame.scan.table);
            descriptions->insert(frame.desc.name, frame.desc);
            stored.insert(frame.desc.name);
        }
        chain.remove(frame.desc.name);
        stack.pop_back();
    }
    if (!stack.empty())
        chain.clear();   // stopped part way
}

void PhpAnalyser::analyseFunctions(const PhpScanner &scanner, QList<PHPFunctionDefinition> *functions) const
{
    const QStringView text = scanner.text();
    WordTable words;
    auto m = scanner.findFunction(0);
    while (m.found()) {
        const auto next = scanner.findFunction(m.pos + 1);
        const int bodyOpen = int(text.indexOf(QLatin1Char('{'), m.pos));
        int p;
        if (bodyOpen < next.pos || !next.found()) {
            functions->append(analyseFunction(scanner, m.pos, true, &words));
            const int endPos = functions->constLast().endPos;
            if (endPos < 0)
                break;
            p = endPos;
        } else {
            // No body before the next definition (an abstract method).
            p = m.pos + 1;
        }
        m = p <= next.pos ? next : scanner.findFunction(p);
    }
}

PHPFunctionDefinition PhpAnalyser::analyseFunction(const QString &text, int start) const
{
    WordTable words;
    return analyseFunction(PhpScanner(text), start, false, &words);
}

PHPFunctionDefinition PhpAnalyser::analyseFunction(const PhpScanner &scanner, int start, bool allCalls,
                                                   WordTable *words) const
{
    const QStringView text = scanner.text();
    PHPFunctionDefinition def;
    int bodyOpen, bodyClose;
    findBracketPair(text, start, false, bodyOpen, bodyClose);
    def.startPos = start;
    def.endPos = bodyClose;

    const auto match = scanner.findFunction(start);
    if (match.found())
        def.name = scanner.captured(match).toString();

    int parOpen, parClose;
    findBracketPair(text, start, true, parOpen, parClose);
    if (parClose >= 0) {
        def.declaration = text.mid(start, parClose - start + 1).toString();
        const QStringView params = text.mid(parOpen + 1, parClose - parOpen - 1);
        for (QStringView piece : params.split(QLatin1Char(','))) {
            QString arg;
            arg.reserve(piece.size());
            for (QChar c : piece) {
                if (!PhpScanner::isSpace(c))
                    arg.append(c);
            }
            if (!arg.isEmpty())
                def.arguments.append(arg);
        }
    }

    if (bodyClose < 0)
        return def;
    // Variables start with "$", callees never: one table tells both apart.
    words->startFunction();
    for (auto m = scanner.findVariable(start, bodyClose); m.found(); m = scanner.findVariable(m.pos + 1, bodyClose)) {
        if (const QString *token = words->meet(scanner.captured(m)))
            def.localVariables.append(*token);
    }
    for (auto m = scanner.findCall(bodyOpen, bodyClose); m.found(); m = scanner.findCall(m.pos + 1, bodyClose)) {
        const QString *called = words->meet(scanner.captured(m));
        if (called && (allCalls || isKnownFunction(*called)))
            def.functionCalls.append(*called);
    }
    return def;
}

void PhpAnalyser::findBracketPair(QStringView text, int from, bool parentheses, int &open, int &close)
{
    const char16_t opening = parentheses ? u'(' : u'{';
    const char16_t closing = parentheses ? u')' : u'}';
    open = close = -1;
    if (from < 0)
        from = 0;
    const qsizetype first = text.indexOf(QChar(opening), from);
    if (first < 0)
        return;
    open = int(first);
    int depth = 1;
    const char16_t *const begin = text.utf16();
    const char16_t *const end = begin + text.size();
    for (const char16_t *p = begin + first + 1;; ++p) {
        p = scan::findEither(p, end, opening, closing);
        if (p == end)
            return;
        if (*p == opening) {
            ++depth;
        } else if (--depth == 0) {
            close = int(p - begin);
            return;
        }
    }
}

QSet<QString> PhpAnalyser::parseBuiltinList(const QByteArray &bytes)
{
    QSet<QString> names;
    const QString text = QString::fromLatin1(bytes);
    for (QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        for (QStringView piece : line.split(u'\r', Qt::SkipEmptyParts)) {
            const PhpScanner scanner(piece);
            const auto m = scanner.findCall(0);
            if (m.found())
                names.insert(scanner.captured(m).toString());
        }
    }
    return names;
}

QSet<QString> PhpAnalyser::loadBuiltinFunctions()
{
    const QStringList candidates = {
        QCoreApplication::applicationDirPath() + QLatin1String("/builtin.list"),
        // Installed: found from the executable wherever the tree was put,
        // then where it was configured to go.
        QCoreApplication::applicationDirPath() + QLatin1String("/" VIZIRO_DATA_DIR_FROM_BIN "/builtin.list"),
        QStringLiteral(VIZIRO_DATA_DIR "/builtin.list"),
    };
    for (const QString &path : candidates) {
        QByteArray bytes;
        if (readFileBytes(path, &bytes, nullptr))
            return parseBuiltinList(bytes);
    }
    qCWarning(lcAnalysis, "no builtin.list found in %s", qUtf8Printable(candidates.join(QLatin1String(", "))));
    return {};
}

} // namespace ov
