#include "analysis/core/phpanalyser.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <vector>

#include "analysis/core/phpscanner.h"
#include "editor/core/textfile.h"

namespace ov {

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
    if (!projectNameSet.contains(name)) {
        projectNameSet.insert(name);
        projectNames.append(name);
    }
}

bool PhpAnalyser::isKnownFunction(const QString &name) const
{
    return builtins.contains(name) || projectNameSet.contains(name);
}

bool PhpAnalyser::isCurrent(const QString &fileName, const QFileInfo &info) const
{
    auto it = descriptions->constFind(fileName);
    return it != descriptions->cend() && info.lastModified() <= it->time;
}

bool PhpAnalyser::readText(const QString &fileName, const QFileInfo &info, QString *text)
{
    // Devices and pipes never end; huge files are not source code.
    if (!info.isFile() || info.size() > MaxFileSize)
        return false;
    QByteArray bytes;
    if (!readFileBytes(fileName, &bytes, nullptr) || bytes.size() > MaxFileSize)
        return false;
    readFiles.insert(fileName);
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
        if (stopped() || visitedSet.contains(file))
            return;
        const QFileInfo info(file);
        if (!info.exists())
            return;
        visitedSet.insert(file);
        visited.append(file);
        Frame frame;
        if (isCurrent(file, info)) {
            const PHPFileDescription &desc = *descriptions->constFind(file);
            for (auto it = desc.functions.cbegin(); it != desc.functions.cend(); ++it)
                addProjectName(it.key());
            frame.includes = desc.includes;
        } else {
            QString text;
            if (!readText(file, info, &text))
                return;
            const PhpScanner scanner(text);
            frame.includes = includeTargets(scanner, file);
            for (auto m = scanner.findFunction(0); m.found(); m = scanner.findFunction(m.pos + 1))
                frame.names.append(scanner.captured(m).toString());
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

void PhpAnalyser::analysePHPFile(const QString &fileName)
{
    struct Frame {
        QString text;
        QStringList includes;
        int next = 0;
        PHPFileDescription desc;
        bool current = false;   // only its includes are looked at
    };
    std::vector<Frame> stack;
    QSet<QString> chain;   // files being analysed further up: the cycle guard

    auto enter = [&](const QString &file) {
        if (stopped() || chain.contains(file))
            return;
        const QFileInfo info(file);
        if (!info.exists())
            return;
        if (isCurrent(file, info)) {
            // A current file's includes may have changed on their own.
            if (checkedCurrent.contains(file))
                return;
            checkedCurrent.insert(file);
            Frame frame;
            frame.current = true;
            frame.desc.name = file;
            frame.includes = descriptions->constFind(file)->includes;
            chain.insert(file);
            stack.push_back(std::move(frame));
            return;
        }
        // Taken before reading: a change made while we read is seen next time.
        const QDateTime time = info.lastModified();
        Frame frame;
        if (!readText(file, info, &frame.text))
            return;
        frame.desc.name = file;
        frame.desc.time = time;
        frame.includes = includeTargets(PhpScanner(frame.text), file);
        chain.insert(file);
        stack.push_back(std::move(frame));
    };

    enter(fileName);
    while (!stack.empty() && !stopped()) {
        const size_t top = stack.size() - 1;
        if (stack[top].next < stack[top].includes.size()) {
            const QString include = stack[top].includes.at(stack[top].next++);
            enter(include);
            if (!stack[top].current && !stack[top].desc.includes.contains(include))
                stack[top].desc.includes.append(include);
            continue;
        }
        Frame &frame = stack[top];
        if (!frame.current) {
            analyseFunctions(frame.text, &frame.desc);
            descriptions->insert(frame.desc.name, frame.desc);
            stored.insert(frame.desc.name);
        }
        chain.remove(frame.desc.name);
        stack.pop_back();
    }
}

void PhpAnalyser::analyseFunctions(const QString &text, PHPFileDescription *desc) const
{
    const PhpScanner scanner(text);
    auto m = scanner.findFunction(0);
    while (m.found()) {
        const auto next = scanner.findFunction(m.pos + 1);
        const int bodyOpen = int(text.indexOf(QLatin1Char('{'), m.pos));
        int p;
        if (bodyOpen < next.pos || !next.found()) {
            const PHPFunctionDefinition def = analyseFunction(scanner, m.pos);
            desc->functions.insert(def.name, def);
            if (def.endPos < 0)
                break;
            p = def.endPos;
        } else {
            // No body before the next definition (an abstract method).
            p = m.pos + 1;
        }
        m = p <= next.pos ? next : scanner.findFunction(p);
    }
}

PHPFunctionDefinition PhpAnalyser::analyseFunction(const QString &text, int start) const
{
    return analyseFunction(PhpScanner(text), start);
}

PHPFunctionDefinition PhpAnalyser::analyseFunction(const PhpScanner &scanner, int start) const
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
    QSet<QStringView> seen;
    for (auto m = scanner.findVariable(start, bodyClose); m.found(); m = scanner.findVariable(m.pos + 1, bodyClose)) {
        const QStringView token = scanner.captured(m);
        if (!seen.contains(token)) {
            seen.insert(token);
            def.localVariables.append(token.toString());
        }
    }
    seen.clear();
    for (auto m = scanner.findCall(bodyOpen, bodyClose); m.found(); m = scanner.findCall(m.pos + 1, bodyClose)) {
        const QStringView name = scanner.captured(m);
        if (seen.contains(name))
            continue;
        seen.insert(name);
        const QString called = name.toString();
        if (isKnownFunction(called))
            def.functionCalls.append(called);
    }
    return def;
}

void PhpAnalyser::findBracketPair(QStringView text, int from, bool parentheses, int &open, int &close)
{
    const QChar opening = parentheses ? QLatin1Char('(') : QLatin1Char('{');
    const QChar closing = parentheses ? QLatin1Char(')') : QLatin1Char('}');
    open = close = -1;
    if (from < 0)
        from = 0;
    const qsizetype first = text.indexOf(opening, from);
    if (first < 0)
        return;
    open = int(first);
    int depth = 1;
    const QChar *d = text.data();
    const qsizetype n = text.size();
    for (qsizetype i = first + 1; i < n; ++i) {
        if (d[i] == opening) {
            ++depth;
        } else if (d[i] == closing && --depth == 0) {
            close = int(i);
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
        QStringLiteral(VIZIRO_DATA_DIR "/builtin.list"),
    };
    for (const QString &path : candidates) {
        QByteArray bytes;
        if (readFileBytes(path, &bytes, nullptr))
            return parseBuiltinList(bytes);
    }
    return {};
}

} // namespace ov
