// How an editor's document relates to its file on disk.
#include "editor/sourceedit.h"

#include <QFileInfo>
#include <QScrollBar>
#include <QTextBlock>

#include "editor/addinfopanel.h"
#include "host/dialogs.h"

namespace ov {

QString SourceEdit::textForDisk() const
{
    // The raw text keeps non-breaking spaces, which toPlainText() would
    // turn into plain ones; only the block separators need mapping.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return file.textForDisk(text);
}

void SourceEdit::noteDiskState()
{
    diskMissingReported = false;
    Q_EMIT diskStateChanged();
}

SourceEdit::DiskState SourceEdit::checkDisk(QByteArray *digest)
{
    return file.check(fileName, digest);
}

bool SourceEdit::mayOverwriteDisk()
{
    if (checkDisk() != DiskChanged)
        return true;
    const auto answer = Dialogs::question(
        this, QStringLiteral("Save document"),
        QStringLiteral("The file %1 was changed by another program.\n"
                       "Do you want to overwrite those changes?").arg(fileName),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

bool SourceEdit::mayEncodeAs(TextFormat *written)
{
    // Only the one-byte encodings lack characters: the rest spare the copy.
    if (written->encoding != TextFormat::Latin1 && written->encoding != TextFormat::Windows1252)
        return true;
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const qsizetype at = firstUnencodable(text, written->encoding);
    if (at < 0)
        return true;
    const int line = int(QStringView(text).first(at).count(QLatin1Char('\n'))) + 1;
    const int length = at + 1 < text.size() && text.at(at).isHighSurrogate() ? 2 : 1;
    const auto answer = Dialogs::question(
        this, QStringLiteral("Save document"),
        QStringLiteral("The file %1 is encoded in %2, which cannot hold the character \"%3\" on line %4.\n"
                       "Do you want to save it as UTF-8?")
            .arg(fileName, encodingName(written->encoding), text.mid(at, length))
            .arg(line),
        QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer != QMessageBox::Yes)
        return false;
    written->encoding = TextFormat::Utf8;
    return true;
}

bool SourceEdit::reloadFromDisk()
{
    QByteArray bytes;
    QString error;
    if (!readFileBytes(fileName, &bytes, &error)) {
        Dialogs::warning(this, QStringLiteral("Application"),
                         QStringLiteral("Cannot read file %1:\n%2.").arg(fileName, error));
        return false;
    }
    const int line = textCursor().blockNumber();
    const int scroll = verticalScrollBar()->value();
    const QList<int> bookmarks = BookmarkData::lines(document());

    const QString text = file.read(fileName, bytes);
    noteDiskState();
    Q_EMIT textFormatChanged();
    setPlainText(expandTabs(text));

    BookmarkData::mark(document(), bookmarks);
    syncBookmarks();
    QTextCursor c(document()->findBlockByNumber(qMin(line, document()->blockCount() - 1)));
    setTextCursor(c);
    verticalScrollBar()->setValue(scroll);
    document()->setModified(false);
    return true;
}

} // namespace ov
