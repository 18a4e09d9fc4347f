#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QWidget>

#include "editor/sourceedit.h"

class QTextDocument;

namespace ov {

// A file's bytes as read, with the time stamp seen then: an editor built
// from them later protects the same version on disk.
struct LoadedFile {
    QByteArray bytes;
    qint64 size = -1;
    QDateTime modified;

    static LoadedFile stamped(const QString &fileName, QByteArray bytes);
};

// Text as a document holds it once inserted (QTextCursor::insertText):
// every line end, CR LF included, becomes one paragraph separator.
QString documentText(QStringView text);

// Replaces the hits (starts in the document's text, in order) of a text of
// `length` characters by `replacement` as one undo step, back to front so
// that the earlier positions stay valid. The editors' visible cursors are
// left to the document.
void replaceInDocument(QTextDocument *doc, const QList<qsizetype> &hits, qsizetype length, const QString &replacement);

// The page of a tab that a Replace All opened behind the others: the file's
// text with the replacements, without an editor. The document area builds
// the real editor in its place when the tab is shown or an editor is asked
// for; the editor then holds the file as read, with each Replace All as one
// undo step. Until then it stands for that editor: searched in its text,
// named, watched on disk, asked about on closing.
class PendingSource : public QWidget
{
    Q_OBJECT

public:
    static const QLatin1String Tag; // the page kind tag

    // `text` is textOf(file.bytes).
    PendingSource(const QString &fileName, LoadedFile file, QString text, QWidget *parent);

    // text() for a file's bytes.
    static QString textOf(const QByteArray &bytes);

    QString getFileName() const;
    QString getFilePath() const { return fileName; }
    // It exists only for replaced text: always modified.
    bool isDirty() const { return true; }

    // The text the editor would hold: its document's raw text, except that
    // a line may end in any isLineSeparator() character. Positions into it
    // are the editor's.
    const QString &text() const { return current; }
    // Where the editor's cursor would be.
    int cursorPosition() const { return cursor; }
    const LoadedFile &loadedFile() const { return file; }

    // One more Replace All: hits are starts in text().
    void replace(const QList<qsizetype> &hits, qsizetype length, const QString &replacement);
    // Makes the replacements in a document built from the file as read.
    void replayInto(QTextDocument *doc) const;

    // As SourceEdit::checkDisk, for the version read.
    SourceEdit::DiskState checkDisk();
    // A look made elsewhere found the same bytes under a new stamp: the
    // editor made later protects that one.
    void diskTouched(qint64 size, const QDateTime &modified);
    bool diskMissingReported = false;

Q_SIGNALS:
    void shown();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Replacement {
        QList<qsizetype> hits;
        qsizetype length;
        QString text;
    };

    QString fileName;
    LoadedFile file;
    QString current;
    int cursor = 0;
    QList<Replacement> replacements;
};

} // namespace ov
