#include "editor/pendingsource.h"

#include <QFileInfo>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/core/textfile.h"

namespace ov {

const QLatin1String PendingSource::Tag("PendingSource");

LoadedFile LoadedFile::stamped(const QString &fileName, QByteArray bytes)
{
    const QFileInfo info(fileName);
    return LoadedFile{std::move(bytes), info.size(), info.lastModified()};
}

QString documentText(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *o = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // What QTextCursor::insertText takes for a paragraph break.
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue;
        const bool lineEnd = c == u'\n' || c == u'\r' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1;
        *o++ = lineEnd ? QChar(QChar::ParagraphSeparator) : QChar(c);
    }
    out.truncate(o - out.constData());
    return out;
}

void replaceInDocument(QTextDocument *doc, const QList<qsizetype> &hits, qsizetype length, const QString &replacement)
{
    if (hits.isEmpty())
        return;
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    for (qsizetype i = hits.size() - 1; i >= 0; --i) {
        cursor.setPosition(int(hits[i]));
        cursor.setPosition(int(hits[i] + length), QTextCursor::KeepAnchor);
        cursor.insertText(replacement);
    }
    cursor.endEditBlock();
}

PendingSource::PendingSource(const QString &fileName, LoadedFile loaded, QString text, QWidget *parent)
    : QWidget(parent), fileName(fileName), file(std::move(loaded)), current(std::move(text))
{
    setWhatsThis(Tag);
    setWindowTitle(getFileName() + QLatin1Char('*'));
}

QString PendingSource::textOf(const QByteArray &bytes)
{
    return editorText(bytes);
}

QString PendingSource::getFileName() const
{
    return QFileInfo(fileName).fileName();
}

void PendingSource::replace(const QList<qsizetype> &hits, qsizetype length, const QString &replacement)
{
    if (hits.isEmpty())
        return;
    const QString inserted = documentText(replacement);
    QString out;
    out.reserve(current.size() + hits.size() * (inserted.size() - length));
    const QStringView was(current);
    qsizetype from = 0;
    for (qsizetype hit : hits) {
        out.append(was.mid(from, hit - from));
        out.append(inserted);
        from = hit + length;
    }
    out.append(was.mid(from));
    current = std::move(out);

    // The editor's cursor follows each edit as a document moves its cursors:
    // one inside the removed text goes to its start, and one at the point of
    // insertion ends after the inserted text.
    qsizetype c = cursor;
    for (qsizetype i = hits.size() - 1; i >= 0; --i) {
        const qsizetype hit = hits[i];
        if (c > hit + length)
            c -= length;
        else if (c > hit)
            c = hit;
        if (c >= hit)
            c += inserted.size();
    }
    cursor = int(c);
    replacements.append(Replacement{hits, length, replacement});
}

void PendingSource::replayInto(QTextDocument *doc) const
{
    for (const Replacement &r : replacements)
        replaceInDocument(doc, r.hits, r.length, r.text);
}

SourceEdit::DiskState PendingSource::checkDisk()
{
    const QFileInfo info(fileName);
    if (!info.exists())
        return SourceEdit::DiskMissing;
    if (info.size() == file.size && info.lastModified() == file.modified)
        return SourceEdit::DiskUnchanged;
    QByteArray now;
    if (!readFileBytes(fileName, &now, nullptr) || now != file.bytes)
        return SourceEdit::DiskChanged;
    diskTouched(info.size(), info.lastModified());
    return SourceEdit::DiskUnchanged;
}

void PendingSource::diskTouched(qint64 size, const QDateTime &modified)
{
    file.size = size;
    file.modified = modified;
}

void PendingSource::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Q_EMIT shown();
}

} // namespace ov
