#include "project/core/projectfile.h"

#include "editor/core/textfile.h"
#include "project/core/projectlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>
#include <vector>

namespace ov {

namespace {

const char DocType[] = "<!DOCTYPE RODadazozOZO>\n";

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// Attribute text escaped the way the DOM writer escapes it, so files written
// here and files written by the DOM classes are byte for byte alike.
void appendAttribute(QString &out, const char *name, const QString &value)
{
    out += QLatin1Char(' ');
    out += QLatin1String(name);
    out += QLatin1String("=\"");
    const qsizetype len = value.size();
    for (qsizetype i = 0; i < len; ++i) {
        const QChar c = value.at(i);
        switch (c.unicode()) {
        case u'<': out += QLatin1String("&lt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case u'&': out += QLatin1String("&amp;"); break;
        case u'>':
            if (i >= 2 && value.at(i - 1) == u']' && value.at(i - 2) == u']')
                out += QLatin1String("&gt;");
            else
                out += c;
            break;
        case u'\r': out += QLatin1String("&#xd;"); break;
        case u'\n': out += QLatin1String("&#xa;"); break;
        case u'\t': out += QLatin1String("&#x9;"); break;
        default:
            if (c.isHighSurrogate() && i + 1 < len && value.at(i + 1).isLowSurrogate()) {
                out += c;
                out += value.at(++i);
            } else if (c.isSurrogate() || !isXmlChar(c.unicode())) {
                // Characters XML cannot carry would make the whole file unreadable.
                out += QChar(QChar::ReplacementCharacter);
            } else {
                out += c;
            }
        }
    }
    out += QLatin1Char('"');
}

void writeNode(QString &out, const ProjectNode &node, const QDir &base, int depth)
{
    out += QString(depth, QLatin1Char(' '));
    out += QLatin1Char('<');
    out += ProjectNode::typeName(node.type);
    appendAttribute(out, "Name", node.type == ProjectNode::File ? base.relativeFilePath(node.path) : node.name);
    if (node.children.isEmpty()) {
        out += QLatin1String("/>\n");
        return;
    }
    out += QLatin1String(">\n");
    for (const ProjectNode &child : node.children)
        writeNode(out, child, base, depth + 1);
    out += QString(depth, QLatin1Char(' '));
    out += QLatin1String("</");
    out += ProjectNode::typeName(node.type);
    out += QLatin1String(">\n");
}

} // namespace

QString absoluteFilePath(const QString &path)
{
    // No "//", "/./" or "/../" and no "/." or "/.." at the end.
    bool clean = path.startsWith(QLatin1Char('/'));
    int dots = 0;
    bool atStart = true;   // of a name: only dots so far
    for (qsizetype i = 1; clean && i < path.size(); ++i) {
        const QChar c = path.at(i);
        if (c == QLatin1Char('/')) {
            clean = !(atStart && dots <= 2);
            dots = 0;
            atStart = true;
        } else if (atStart && c == QLatin1Char('.')) {
            ++dots;
        } else {
            atStart = false;
        }
    }
    if (clean && atStart && (dots == 1 || dots == 2))
        clean = false;
    if (clean)
        return path;
    // A project file keeps its files relative to itself: read, they are its
    // folder, "../" steps and the rest. Steps that stay below the root are
    // taken here, by name, as QFileInfo takes them.
    if (path.startsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('/'))) {
        const QChar *const d = path.constData();
        const qsizetype n = path.size();
        QString out(n, Qt::Uninitialized);
        QChar *const o = out.data();
        qsizetype used = 0;
        bool belowRoot = true;
        for (qsizetype i = 0; i < n && belowRoot;) {
            while (i < n && d[i] == QLatin1Char('/'))
                ++i;
            const qsizetype start = i;
            while (i < n && d[i] != QLatin1Char('/'))
                ++i;
            const qsizetype length = i - start;
            if (length == 0 || (length == 1 && d[start] == QLatin1Char('.')))
                continue;
            if (length == 2 && d[start] == QLatin1Char('.') && d[start + 1] == QLatin1Char('.')) {
                belowRoot = used > 0;
                // Back over the last name and its slash: `out` starts with one.
                while (used > 0 && o[used - 1] != QLatin1Char('/'))
                    --used;
                used = std::max<qsizetype>(used - 1, 0);
                continue;
            }
            o[used++] = QLatin1Char('/');
            std::copy(d + start, d + i, o + used);
            used += length;
        }
        if (belowRoot && used > 0) {
            out.truncate(used);
            return out;
        }
    }
    return QFileInfo(path).absoluteFilePath();
}

namespace {

// What QDir(folder).absoluteFilePath() gives, with the folder resolved once.
class Resolver
{
public:
    explicit Resolver(const QString &folder) : prefix(QDir(folder).absolutePath())
    {
        if (!prefix.endsWith(QLatin1Char('/')))
            prefix += QLatin1Char('/');
    }
    QString operator()(const QString &name) const
    {
        if (name.isEmpty())
            return prefix.size() > 1 ? prefix.chopped(1) : prefix;
        return QDir::isRelativePath(name) ? prefix + name : name;
    }

private:
    QString prefix;
};

// The project file reader: a walk of the elements with an explicit stack, so
// nesting costs no recursion and is bounded.
class Reader
{
public:
    Reader(const QByteArray &xml, const QString &folder) : xml(xml), resolve(folder) {}

    ProjectFile::Error run(ProjectNode *root, BookmarkMap *marks, QString *message)
    {
        xml.setNamespaceProcessing(false);
        bool seenRoot = false;
        while (!xml.atEnd()) {
            switch (xml.readNext()) {
            case QXmlStreamReader::StartElement:
                if (stack.size() >= ProjectFile::MaxDepth) {
                    *message = QStringLiteral("Folders nested deeper than %1 levels at line %2")
                                   .arg(ProjectFile::MaxDepth)
                                   .arg(xml.lineNumber());
                    return ProjectFile::TooDeep;
                }
                if (!seenRoot) {
                    seenRoot = true;
                    root->name = xml.attributes().value(QLatin1String("Name")).toString();
                    stack.append({Tree, root});
                } else {
                    startElement(marks);
                }
                break;
            case QXmlStreamReader::EndElement:
                stack.removeLast();
                break;
            default:
                break;
            }
        }
        if (xml.hasError()) {
            *message = QStringLiteral("%1 at line %2, column %3")
                           .arg(xml.errorString())
                           .arg(xml.lineNumber())
                           .arg(xml.columnNumber());
            return ProjectFile::NotWellFormed;
        }
        return ProjectFile::NoError;
    }

private:
    enum Context { Tree, Bookmarks, Ignored };
    struct Level {
        Context context;
        ProjectNode *node; // Tree only: the node that children go into
    };

    void startElement(BookmarkMap *marks)
    {
        const Level top = stack.last();
        const QStringView tag = xml.name();
        const QXmlStreamAttributes attrs = xml.attributes();
        if (top.context == Tree) {
            if (tag == u"Folder") {
                ProjectNode folder;
                folder.type = ProjectNode::Folder;
                folder.name = attrs.value(QLatin1String("Name")).toString();
                top.node->children.append(std::move(folder));
                // Stays valid: this list grows again only after the folder ends.
                stack.append({Tree, &top.node->children.last()});
                return;
            }
            if (tag == u"File") {
                ProjectNode file;
                file.type = ProjectNode::File;
                file.path = resolve(attrs.value(QLatin1String("Name")).toString());
                top.node->children.append(std::move(file));
            } else if (tag == u"Bookmarks" && stack.size() == 1) {
                stack.append({Bookmarks, nullptr});
                return;
            }
        } else if (top.context == Bookmarks && tag == u"Bookmark") {
            const QString file = resolve(attrs.value(QLatin1String("FileName")).toString());
            const int line = attrs.value(QLatin1String("LineNumber")).toInt(nullptr, 10);
            (*marks)[file].append(line);
            stack.append({Bookmarks, nullptr});
            return;
        }
        stack.append({top.context == Bookmarks ? Bookmarks : Ignored, nullptr});
    }

    QXmlStreamReader xml;
    Resolver resolve;
    QList<Level> stack;
};

// Reads files in exactly the form serialize() writes, many times quicker
// than QXmlStreamReader: a project may list thousands of files. Values of
// printable ASCII without references only; on anything else it gives up,
// and the general reader reads the document.
class WrittenFormReader
{
public:
    WrittenFormReader(const QByteArray &xml, const QString &folder)
        : p(xml.constData()), end(xml.constData() + xml.size()), resolve(folder)
    {
    }

    bool run(ProjectNode *root, BookmarkMap *marks)
    {
        if (!literal("<!DOCTYPE RODadazozOZO>\n<Project Name=\"") || !value(&root->name) || !literal(">"))
            return false;
        enum Open { Folder, Bookmarks };
        std::vector<Open> open;
        std::vector<ProjectNode *> nodes{root};
        for (;;) {
            skipSpace();
            if (literal("</Project>")) {
                skipSpace();
                return open.empty() && p == end;
            }
            const bool inBookmarks = !open.empty() && open.back() == Bookmarks;
            if (literal("</")) {
                if (open.empty() || !literal(open.back() == Folder ? "Folder>" : "Bookmarks>"))
                    return false;
                if (open.back() == Folder)
                    nodes.pop_back();
                open.pop_back();
            } else if (inBookmarks) {
                QString file, line;
                if (!literal("<Bookmark FileName=\"") || !value(&file) || !literal(" LineNumber=\"")
                    || !value(&line) || !literal("/>"))
                    return false;
                bool ok = false;
                const int number = line.toInt(&ok, 10);
                if (!ok || !std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.isDigit(); }))
                    return false;
                (*marks)[resolve(file)].append(number);
            } else if (literal("<File Name=\"")) {
                ProjectNode file;
                file.type = ProjectNode::File;
                QString name;
                if (!value(&name) || !literal("/>"))
                    return false;
                file.path = resolve(name);
                nodes.back()->children.append(std::move(file));
            } else if (literal("<Folder Name=\"")) {
                ProjectNode folder;
                folder.type = ProjectNode::Folder;
                if (!value(&folder.name))
                    return false;
                nodes.back()->children.append(std::move(folder));
                if (literal("/>"))
                    continue;
                if (!literal(">") || int(open.size()) + 2 >= ProjectFile::MaxDepth)
                    return false;
                // Stays valid: this list grows again only after the folder ends.
                nodes.push_back(&nodes.back()->children.last());
                open.push_back(Folder);
            } else if (open.empty() && literal("<Bookmarks")) {
                if (literal("/>"))
                    continue;
                if (!literal(">"))
                    return false;
                open.push_back(Bookmarks);
            } else {
                return false;
            }
        }
    }

private:
    bool literal(const char *text)
    {
        const size_t n = strlen(text);
        if (size_t(end - p) < n || memcmp(p, text, n) != 0)
            return false;
        p += n;
        return true;
    }
    void skipSpace()
    {
        while (p < end && (*p == ' ' || *p == '\n'))
            ++p;
    }
    // Up to the closing quote, which it passes.
    bool value(QString *out)
    {
        const char *start = p;
        while (p < end && *p >= 0x20 && *p < 0x7F && *p != '"' && *p != '&' && *p != '<')
            ++p;
        if (p == end || *p != '"')
            return false;
        *out = QString::fromLatin1(start, p - start);
        ++p;
        return true;
    }

    const char *p;
    const char *end;
    Resolver resolve;
};

// Every subfolder whatever its name, the files matching the filters;
// folders first, each group by name.
QFileInfoList listFolder(const QString &dirPath, const QStringList &nameFilters)
{
    QDir dir(dirPath);
    dir.setNameFilters(nameFilters);
    dir.setFilter(QDir::Dirs | QDir::Files | QDir::Drives | QDir::AllDirs | QDir::NoDotAndDotDot);
    dir.setSorting(QDir::Name | QDir::DirsFirst);
    return dir.entryInfoList();
}

bool scanInto(const QString &dirPath, const QStringList &nameFilters, ProjectNode *parent, QStringList *chain)
{
    const QString canonical = QFileInfo(dirPath).canonicalFilePath();
    if (canonical.isEmpty() || chain->contains(canonical)) {
        qCDebug(lcProject, "not scanned: %s (%s)", qUtf8Printable(dirPath),
                canonical.isEmpty() ? "gone" : "a link to a folder it is in");
        return false;
    }
    if (!QFileInfo(canonical).isReadable())
        qCWarning(lcProject, "cannot list the folder %s: permission denied", qUtf8Printable(dirPath));
    chain->append(canonical);
    const QFileInfoList entries = listFolder(dirPath, nameFilters);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir()) {
            ProjectNode folder;
            folder.type = ProjectNode::Folder;
            folder.name = entry.baseName();
            scanInto(entry.filePath(), nameFilters, &folder, chain);
            if (!folder.children.isEmpty())
                parent->children.append(std::move(folder));
        } else {
            ProjectNode file;
            file.type = ProjectNode::File;
            file.path = entry.filePath();
            parent->children.append(std::move(file));
        }
    }
    chain->removeLast();
    return true;
}

bool hasFiles(const QString &dirPath, const QStringList &nameFilters, QStringList *chain)
{
    const QString canonical = QFileInfo(dirPath).canonicalFilePath();
    if (canonical.isEmpty() || chain->contains(canonical))
        return false;
    chain->append(canonical);
    bool found = false;
    const QFileInfoList entries = listFolder(dirPath, nameFilters);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() ? hasFiles(entry.filePath(), nameFilters, chain) : true) {
            found = true;
            break;
        }
    }
    chain->removeLast();
    return found;
}

} // namespace

QString ProjectNode::typeName(Type type)
{
    switch (type) {
    case Project: return QStringLiteral("Project");
    case Folder: return QStringLiteral("Folder");
    case File: return QStringLiteral("File");
    }
    return QString();
}

bool ProjectFile::read(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        err = OpenError;
        errString = file.errorString();
        return false;
    }
    // The read is bounded too: some files (under /proc, pipes) report no size.
    // It grows by chunks, as read(MaxSize + 1) would allocate the whole limit.
    QByteArray bytes;
    while (file.size() <= MaxSize && bytes.size() <= MaxSize) {
        const QByteArray chunk = file.read(qMin<qint64>(MaxSize + 1 - bytes.size(), 1 << 20));
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    if (file.size() > MaxSize || bytes.size() > MaxSize) {
        err = TooLarge;
        errString = QStringLiteral("The file is larger than %1 MB").arg(MaxSize / (1024 * 1024));
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        err = OpenError;
        errString = file.errorString();
        return false;
    }
    return parse(bytes, fileName);
}

bool ProjectFile::parse(const QByteArray &xml, const QString &fileName)
{
    ProjectNode newRoot;
    newRoot.type = ProjectNode::Project;
    BookmarkMap newMarks;
    if (WrittenFormReader(xml, QFileInfo(fileName).path()).run(&newRoot, &newMarks)) {
        err = NoError;
        errString.clear();
        root = std::move(newRoot);
        bookmarks = std::move(newMarks);
        return true;
    }
    return parseCarefully(xml, fileName);
}

bool ProjectFile::parseCarefully(const QByteArray &xml, const QString &fileName)
{
    ProjectNode newRoot;
    newRoot.type = ProjectNode::Project;
    BookmarkMap newMarks;
    QString message;
    Reader reader(xml, QFileInfo(fileName).path());
    err = reader.run(&newRoot, &newMarks, &message);
    errString = message;
    if (err != NoError)
        return false;
    root = std::move(newRoot);
    bookmarks = std::move(newMarks);
    return true;
}

QByteArray ProjectFile::serialize(const QString &fileName) const
{
    const QDir base(QFileInfo(fileName).path());
    const QString rootTag = ProjectNode::typeName(root.type);
    QString out = QLatin1Char('<') + rootTag;
    appendAttribute(out, "Name", root.name);
    out += QLatin1String(">\n");
    for (const ProjectNode &child : root.children)
        writeNode(out, child, base, 1);
    // Bookmarks always come last, empty or not.
    if (bookmarks.isEmpty()) {
        out += QLatin1String(" <Bookmarks/>\n");
    } else {
        out += QLatin1String(" <Bookmarks>\n");
        for (auto it = bookmarks.cbegin(); it != bookmarks.cend(); ++it) {
            const QString relative = base.relativeFilePath(it.key());
            for (int line : it.value()) {
                out += QLatin1String("  <Bookmark");
                appendAttribute(out, "FileName", relative);
                appendAttribute(out, "LineNumber", QString::number(line));
                out += QLatin1String("/>\n");
            }
        }
        out += QLatin1String(" </Bookmarks>\n");
    }
    out += QLatin1String("</") + rootTag + QLatin1String(">\n");
    return QByteArray(DocType) + out.toUtf8();
}

bool ProjectFile::write(const QString &fileName)
{
    QString message;
    if (!writeFileAtomically(fileName, serialize(fileName), &message)) {
        err = WriteError;
        errString = message;
        return false;
    }
    err = NoError;
    errString.clear();
    return true;
}

void scanFolder(const QString &dirPath, const QStringList &nameFilters, ProjectNode *parent)
{
    QStringList chain;
    scanInto(dirPath, nameFilters, parent, &chain);
}

bool scanFolderNode(const QString &name, const QString &dirPath, const QStringList &nameFilters,
                    ProjectNode *node)
{
    ProjectNode folder;
    folder.type = ProjectNode::Folder;
    folder.name = name;
    scanFolder(dirPath, nameFilters, &folder);
    if (folder.children.isEmpty())
        return false;
    *node = std::move(folder);
    return true;
}

bool dirHasFiles(const QString &dirPath, const QStringList &nameFilters)
{
    QStringList chain;
    return hasFiles(dirPath, nameFilters, &chain);
}

bool makeDirPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    QDir dir(path);
    return dir.exists() || QDir().mkpath(path);
}

} // namespace ov
