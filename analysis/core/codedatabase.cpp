#include "analysis/core/codedatabase.h"

#include <QFileInfo>
#include <QXmlStreamReader>

#include "editor/core/textfile.h"

#include <cstdio>

namespace ov {

namespace {

const QString kName = QStringLiteral("Name");

// The document as QXmlStreamWriter with auto-formatting (indent 1) writes
// it, built in one buffer: that writer costs more than the rest of a run.
class Writer
{
public:
    explicit Writer(qsizetype sizeHint) { out.reserve(sizeHint); }

    QByteArray take() { return std::move(out); }

    void indent(int depth)
    {
        out.append('\n');
        out.append(depth, ' ');
    }
    void raw(const char *text) { out.append(text); }
    void raw(QByteArrayView text) { out.append(text); }

    // ` name="value"`, escaped as that writer escapes attribute values.
    void attribute(const char *name, QStringView value)
    {
        out.append(' ');
        out.append(name);
        out.append("=\"");
        escape(value);
        out.append('"');
    }
    void attribute(const char *name, int value)
    {
        char digits[16];
        const int n = std::snprintf(digits, sizeof digits, "%d", value);
        out.append(' ');
        out.append(name);
        out.append("=\"");
        out.append(digits, n);
        out.append('"');
    }

private:
    void escape(QStringView value)
    {
        const char16_t *d = value.utf16();
        const qsizetype n = value.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = d[i];
            if (c < 0x80) {
                switch (c) {
                case '<': out.append("&lt;"); break;
                case '>': out.append("&gt;"); break;
                case '&': out.append("&amp;"); break;
                case '"': out.append("&quot;"); break;
                case '\t': out.append("&#9;"); break;
                case '\n': out.append("&#10;"); break;
                case '\r': out.append("&#13;"); break;
                default:
                    // Other control characters cannot stand in XML 1.0.
                    if (c >= 0x20)
                        out.append(char(c));
                }
            } else if (c < 0x800) {
                out.append(char(0xC0 | (c >> 6)));
                out.append(char(0x80 | (c & 0x3F)));
            } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(d[i + 1])) {
                const char32_t u = QChar::surrogateToUcs4(c, d[++i]);
                out.append(char(0xF0 | (u >> 18)));
                out.append(char(0x80 | ((u >> 12) & 0x3F)));
                out.append(char(0x80 | ((u >> 6) & 0x3F)));
                out.append(char(0x80 | (u & 0x3F)));
            } else if (QChar::isSurrogate(c) || c >= 0xFFFE) {
                // Not a character: dropped like the control characters
                // (QXmlStreamWriter would stop writing names from here on).
            } else {
                out.append(char(0xE0 | (c >> 12)));
                out.append(char(0x80 | ((c >> 6) & 0x3F)));
                out.append(char(0x80 | (c & 0x3F)));
            }
        }
    }

    QByteArray out;
};

void writeList(Writer &w, int depth, const char *listTag, const char *entryTag, const QStringList &list)
{
    if (list.isEmpty())
        return;
    w.indent(depth);
    w.raw("<");
    w.raw(listTag);
    w.raw(">");
    for (const QString &entry : list) {
        w.indent(depth + 1);
        w.raw("<");
        w.raw(entryTag);
        w.attribute("Name", entry);
        w.raw("/>");
    }
    w.indent(depth);
    w.raw("</");
    w.raw(listTag);
    w.raw(">");
}

void writePositions(Writer &w, const QString &name, const QString &declaration, int start, int end)
{
    w.attribute("Name", name);
    w.attribute("Declaration", declaration);
    w.attribute("StartPos", start);
    w.attribute("EndPos", end);
}

void writeFunction(Writer &w, int depth, const PHPFunctionDefinition &f)
{
    w.indent(depth);
    w.raw("<Function");
    writePositions(w, f.name, f.declaration, f.startPos, f.endPos);
    if (f.arguments.isEmpty() && f.functionCalls.isEmpty() && f.localVariables.isEmpty()) {
        w.raw("/>");
        return;
    }
    w.raw(">");
    writeList(w, depth + 1, "Arguments", "Argument", f.arguments);
    writeList(w, depth + 1, "FunctionCalls", "FunctionCall", f.functionCalls);
    writeList(w, depth + 1, "LocalVariables", "LocalVariable", f.localVariables);
    w.indent(depth);
    w.raw("</Function>");
}

void writeClass(Writer &w, int depth, const PHPClassDefinition &c)
{
    w.indent(depth);
    w.raw("<Class");
    writePositions(w, c.name, c.declaration, c.startPos, c.endPos);
    if (c.parents.isEmpty() && c.members.isEmpty() && c.methods.isEmpty()) {
        w.raw("/>");
        return;
    }
    w.raw(">");
    writeList(w, depth + 1, "Parents", "Parent", c.parents);
    writeList(w, depth + 1, "Members", "Member", c.members);
    if (!c.methods.isEmpty()) {
        w.indent(depth + 1);
        w.raw("<Methods>");
        for (const PHPFunctionDefinition &m : c.methods)
            writeFunction(w, depth + 2, m);
        w.indent(depth + 1);
        w.raw("</Methods>");
    }
    w.indent(depth);
    w.raw("</Class>");
}

void writeFile(Writer &w, const PHPFileDescription &d)
{
    w.indent(1);
    w.raw("<File");
    w.attribute("Name", d.name);
    w.attribute("Time", CodeDatabase::timeToString(d.time));
    if (d.includes.isEmpty() && d.functionCalls.isEmpty() && d.classes.isEmpty() && d.functions.isEmpty()) {
        w.raw("/>");
        return;
    }
    w.raw(">");
    writeList(w, 2, "Includes", "Include", d.includes);
    writeList(w, 2, "FunctionCalls", "FunctionCall", d.functionCalls);
    if (!d.classes.isEmpty()) {
        w.indent(2);
        w.raw("<Classes>");
        for (const PHPClassDefinition &c : d.classes)
            writeClass(w, 3, c);
        w.indent(2);
        w.raw("</Classes>");
    }
    if (!d.functions.isEmpty()) {
        w.indent(2);
        w.raw("<Functions>");
        for (const PHPFunctionDefinition &f : d.functions)
            writeFunction(w, 3, f);
        w.indent(2);
        w.raw("</Functions>");
    }
    w.indent(1);
    w.raw("</File>");
}

// Reading: every reader leaves `r` after the end of the element it was
// called on, and returns false once the document turned bad.

QStringList readList(QXmlStreamReader &r)
{
    QStringList list;
    while (r.readNextStartElement()) {
        const QString name = r.attributes().value(kName).toString();
        if (!name.isEmpty())
            list.append(name);
        r.skipCurrentElement();
    }
    return list;
}

int readInt(const QXmlStreamReader &r, const QString &attribute)
{
    bool ok = false;
    const int value = r.attributes().value(attribute).toInt(&ok);
    return ok ? value : 0;
}

void readPositions(QXmlStreamReader &r, QString *name, QString *declaration, int *start, int *end)
{
    const QXmlStreamAttributes attributes = r.attributes();
    *name = attributes.value(kName).toString();
    *declaration = attributes.value(QStringLiteral("Declaration")).toString();
    *start = readInt(r, QStringLiteral("StartPos"));
    *end = readInt(r, QStringLiteral("EndPos"));
}

PHPFunctionDefinition readFunction(QXmlStreamReader &r)
{
    PHPFunctionDefinition f;
    readPositions(r, &f.name, &f.declaration, &f.startPos, &f.endPos);
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("Arguments"))
            f.arguments = readList(r);
        else if (r.name() == QLatin1String("FunctionCalls"))
            f.functionCalls = readList(r);
        else if (r.name() == QLatin1String("LocalVariables"))
            f.localVariables = readList(r);
        else
            r.skipCurrentElement();
    }
    return f;
}

PHPClassDefinition readClass(QXmlStreamReader &r)
{
    PHPClassDefinition c;
    readPositions(r, &c.name, &c.declaration, &c.startPos, &c.endPos);
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("Parents")) {
            c.parents = readList(r);
        } else if (r.name() == QLatin1String("Members")) {
            c.members = readList(r);
        } else if (r.name() == QLatin1String("Methods")) {
            while (r.readNextStartElement()) {
                const PHPFunctionDefinition m = readFunction(r);
                c.methods.insert(m.name, m);
            }
        } else {
            r.skipCurrentElement();
        }
    }
    return c;
}

PHPFileDescription readFile(QXmlStreamReader &r)
{
    PHPFileDescription d;
    d.name = r.attributes().value(kName).toString();
    d.time = QDateTime::fromString(r.attributes().value(QStringLiteral("Time")).toString(), Qt::ISODate);
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("Includes")) {
            d.includes = readList(r);
        } else if (r.name() == QLatin1String("FunctionCalls")) {
            d.functionCalls = readList(r);
        } else if (r.name() == QLatin1String("Classes")) {
            while (r.readNextStartElement()) {
                const PHPClassDefinition c = readClass(r);
                d.classes.insert(c.name, c);
            }
        } else if (r.name() == QLatin1String("Functions")) {
            while (r.readNextStartElement()) {
                const PHPFunctionDefinition f = readFunction(r);
                d.functions.insert(f.name, f);
            }
        } else {
            r.skipCurrentElement();
        }
    }
    return d;
}

} // namespace

QString CodeDatabase::fileNameFor(const QString &projectFileName)
{
    const QFileInfo info(projectFileName);
    return info.absolutePath() + QLatin1Char('/') + info.baseName() + QLatin1String(".cdb");
}

QString CodeDatabase::timeToString(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    return local.toString(local.time().msec() ? Qt::ISODateWithMs : Qt::ISODate);
}

QByteArray CodeDatabase::serialize(const FileDescriptions &files)
{
    // About 7 KB a file for typical PHP: one allocation in most cases.
    Writer w(qsizetype(files.size()) * 8192 + 64);
    w.raw("<!DOCTYPE ZERivuRO>");
    if (files.isEmpty()) {
        w.raw("\n<Files/>\n");
        return w.take();
    }
    w.raw("\n<Files>");
    for (const PHPFileDescription &d : files)
        writeFile(w, d);
    w.raw("\n</Files>\n");
    return w.take();
}

bool CodeDatabase::write(const QString &fileName, const FileDescriptions &files, QString *error)
{
    return writeFileAtomically(fileName, serialize(files), error);
}

int CodeDatabase::read(const QString &fileName, CodeModel *model)
{
    QByteArray bytes;
    if (!readFileBytes(fileName, &bytes, nullptr))
        return 0;
    return parse(bytes, model);
}

int CodeDatabase::parse(const QByteArray &xml, CodeModel *model)
{
    QXmlStreamReader r(xml);
    // The root's own tag is not examined.
    if (!r.readNextStartElement())
        return 0;
    int added = 0;
    while (r.readNextStartElement()) {
        if (r.name() != QLatin1String("File")) {
            r.skipCurrentElement();
            continue;
        }
        const PHPFileDescription d = readFile(r);
        if (r.hasError())
            break;   // this entry may be cut short; the ones before are whole
        // Files deleted since drop out of the model.
        if (d.name.isEmpty() || !QFileInfo::exists(d.name))
            continue;
        model->setPHPFileDescription(d.name, d);
        for (auto it = d.functions.cbegin(); it != d.functions.cend(); ++it)
            model->appendProjectFunctionName(it.key());
        ++added;
    }
    return added;
}

} // namespace ov
