// The code database as QXmlStreamWriter writes it: the form the database
// writer must keep byte for byte.
#include <QBuffer>
#include <QXmlStreamWriter>

#include "analysis/core/codedatabase.h"

namespace {

using namespace ov;

void writeList(QXmlStreamWriter &w, const QString &listTag, const QString &entryTag, const QStringList &list)
{
    if (list.isEmpty())
        return;
    w.writeStartElement(listTag);
    for (const QString &entry : list) {
        w.writeEmptyElement(entryTag);
        w.writeAttribute(QStringLiteral("Name"), entry);
    }
    w.writeEndElement();
}

void writePositions(QXmlStreamWriter &w, const QString &name, const QString &declaration, int start, int end)
{
    w.writeAttribute(QStringLiteral("Name"), name);
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

} // namespace

QByteArray referenceSerialize(const ov::FileDescriptions &files)
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
        w.writeAttribute(QStringLiteral("Name"), d.name);
        const QDateTime local = d.time.toLocalTime();
        w.writeAttribute(QStringLiteral("Time"), local.toString(local.time().msec() ? Qt::ISODateWithMs : Qt::ISODate));
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
    if (out.startsWith('\n'))
        out.remove(0, 1);
    while (out.endsWith("\n\n"))
        out.chop(1);
    return out;
}
