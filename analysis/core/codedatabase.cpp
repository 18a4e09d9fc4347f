#include "analysis/core/codedatabase.h"

#include <QBuffer>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "editor/core/textfile.h"

namespace ov {

namespace {

const QString kName = QStringLiteral("Name");

void writeList(QXmlStreamWriter &w, const QString &listTag, const QString &entryTag, const QStringList &list)
{
    if (list.isEmpty())
        return;
    w.writeStartElement(listTag);
    for (const QString &entry : list) {
        w.writeEmptyElement(entryTag);
        w.writeAttribute(kName, entry);
    }
    w.writeEndElement();
}

void writePositions(QXmlStreamWriter &w, const QString &name, const QString &declaration, int start, int end)
{
    w.writeAttribute(kName, name);
    w.writeAttribute(QStringLiteral("Declaration"), declaration);
    w.writeAttribute(QStringLiteral("StartPos"), QString::number(start));
    w.writeAttribute(QStringLiteral("EndPos"), QString::number(end));
}

void writeFunction(QXmlStreamWriter &w, const PHPFunctionDefinition &f)
{
    w.writeStartElement(QStringLiteral("Function"));
    writePositions(w, f.name, f.declaration, f.startPos, f.endPos);
    writeList(w, QStringLiteral("Arguments"), QStringLiteral("Argument"), f.arguments);
    writeList(w, QStringLiteral("FunctionCalls"), QStringLiteral("FunctionCall"), f.functionCalls);
    writeList(w, QStringLiteral("LocalVariables"), QStringLiteral("LocalVariable"), f.localVariables);
    w.writeEndElement();
}

void writeClass(QXmlStreamWriter &w, const PHPClassDefinition &c)
{
    w.writeStartElement(QStringLiteral("Class"));
    writePositions(w, c.name, c.declaration, c.startPos, c.endPos);
    writeList(w, QStringLiteral("Parents"), QStringLiteral("Parent"), c.parents);
    writeList(w, QStringLiteral("Members"), QStringLiteral("Member"), c.members);
    if (!c.methods.isEmpty()) {
        w.writeStartElement(QStringLiteral("Methods"));
        for (const PHPFunctionDefinition &m : c.methods)
            writeFunction(w, m);
        w.writeEndElement();
    }
    w.writeEndElement();
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
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter w(&buffer);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(1);
    w.writeDTD(QStringLiteral("<!DOCTYPE ZERivuRO>"));
    w.writeStartElement(QStringLiteral("Files"));
    for (const PHPFileDescription &d : files) {
        w.writeStartElement(QStringLiteral("File"));
        w.writeAttribute(kName, d.name);
        w.writeAttribute(QStringLiteral("Time"), timeToString(d.time));
        writeList(w, QStringLiteral("Includes"), QStringLiteral("Include"), d.includes);
        writeList(w, QStringLiteral("FunctionCalls"), QStringLiteral("FunctionCall"), d.functionCalls);
        if (!d.classes.isEmpty()) {
            w.writeStartElement(QStringLiteral("Classes"));
            for (const PHPClassDefinition &c : d.classes)
                writeClass(w, c);
            w.writeEndElement();
        }
        if (!d.functions.isEmpty()) {
            w.writeStartElement(QStringLiteral("Functions"));
            for (const PHPFunctionDefinition &f : d.functions)
                writeFunction(w, f);
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    buffer.close();
    // The writer's formatting puts a line break before the doctype.
    if (out.startsWith('\n'))
        out.remove(0, 1);
    while (out.endsWith("\n\n"))
        out.chop(1);
    return out;
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
