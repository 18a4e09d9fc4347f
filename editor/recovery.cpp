#include "editor/recovery.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "app/dialogs.h"
#include "app/dodivez.h"
#include "editor/addinfopanel.h"
#include "editor/core/editorlog.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"

namespace ov {

namespace {

// Whether the file still holds the bytes the journal started from.
bool diskChangedSince(const JournalHeader &header)
{
    const QFileInfo info(header.filePath);
    if (info.size() == header.base.size && info.lastModified().toMSecsSinceEpoch() == header.base.modifiedMs)
        return false;
    QByteArray bytes;
    QString error;
    if (!readFileBytes(header.filePath, &bytes, &error)) {
        qCDebug(lcEditor, "cannot read %s, taken as changed: %s", qUtf8Printable(header.filePath),
                qUtf8Printable(error));
        return true;
    }
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1) != header.base.sha1;
}

} // namespace

DocumentRecovery::DocumentRecovery(MainView *view) : QObject(view), view(view) {}

QString DocumentRecovery::absolutePath(const QString &path)
{
    return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

void DocumentRecovery::recoverOrphans()
{
    std::vector<JournalSlot> orphans = JournalSlot::takeOrphans();
    for (JournalSlot &slot : orphans) {
        if (asked.contains(slot.path()))
            continue;
        asked.insert(slot.path());
        Found found;
        if (!readWhole(slot, &found.document))
            continue;
        const QString path = found.document.header.filePath;
        if (!QFileInfo(path).isFile()) {
            const QString kept = slot.setAside();
            Dialogs::warning(view, QStringLiteral("Application"),
                             QStringLiteral("The unsaved changes of %1 cannot be recovered: the file no longer "
                                            "exists.\nThey are kept in %2.")
                                 .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(kept)));
            continue;
        }
        switch (ask(found.document)) {
        case Discard:
            slot.remove();
            break;
        case Later:
            slot.release();
            break;
        case Recover:
            found.slot = std::move(slot);
            approved.insert_or_assign(path, std::move(found));
            if (DODIvez *w = view->getMainWindow())
                w->openFile(path);
            else
                view->addSource(path);
            // Not opened after all (the user declined it): kept for later.
            approved.erase(path);
            break;
        }
    }
}

void DocumentRecovery::attach(SourceEdit *editor)
{
    auto *journal = new DocumentJournal(
        editor->document(),
        [editor] {
            return DocumentJournal::Source{absolutePath(editor->getFilePath()), editor->textFormat(),
                                           editor->diskStamp()};
        },
        [editor] { return editor->bookmarkLines(); }, editor);
    connect(editor, &SourceEdit::bookmarksChanged, journal, &DocumentJournal::noteBookmarksChanged);
    connect(editor, &SourceEdit::diskStateChanged, journal, &DocumentJournal::noteSourceChanged);
    connect(journal, &DocumentJournal::writeFailed, this, [this](const QString &reason) {
        if (DODIvez *w = view->getMainWindow())
            w->statusBar()->showMessage(QStringLiteral("Cannot write the recovery journal: %1").arg(reason), 10000);
    });

    const QString path = absolutePath(editor->getFilePath());
    if (path.isEmpty() || !editor->isLoaded())
        return;
    auto it = approved.find(path);
    if (it != approved.end()) {
        Found found = std::move(it->second);
        approved.erase(it);
        apply(editor, journal, std::move(found));
        return;
    }
    std::vector<JournalSlot> orphans = JournalSlot::takeOrphans();
    for (JournalSlot &slot : orphans) {
        JournalHeader header;
        QString error;
        if (asked.contains(slot.path()))
            continue;
        if (!JournalReader::readHeader(slot.path(), &header, &error)) {
            qCWarning(lcEditor, "recovery journal %s refused: %s", qUtf8Printable(slot.path()), qUtf8Printable(error));
            continue;
        }
        if (header.filePath != path)
            continue;
        asked.insert(slot.path());
        Found found;
        if (!readWhole(slot, &found.document))
            continue;
        const Answer answer = ask(found.document);
        if (answer == Discard) {
            slot.remove();
        } else if (answer == Recover) {
            found.slot = std::move(slot);
            apply(editor, journal, std::move(found));
            return; // any other journal of this file waits for another time
        }
    }
}

bool DocumentRecovery::readWhole(JournalSlot &slot, RecoveredDocument *document)
{
    QString error;
    if (JournalReader::readFile(slot.path(), document, &error))
        return true;
    const QString kept = slot.setAside();
    Dialogs::warning(view, QStringLiteral("Application"),
                     QStringLiteral("A recovery journal cannot be used: %1.\nIt is kept in %2.")
                         .arg(error, QDir::toNativeSeparators(kept)));
    return false;
}

DocumentRecovery::Answer DocumentRecovery::ask(const RecoveredDocument &document)
{
    const JournalHeader &h = document.header;
    QString text = QStringLiteral("Viziro ended without closing while %1 had unsaved changes, last changed %2.\n")
                       .arg(QDir::toNativeSeparators(h.filePath),
                            QDateTime::fromMSecsSinceEpoch(document.lastChangeMs)
                                .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    if (diskChangedSince(h))
        text += QStringLiteral("The file has been changed on disk since; recovering puts the changed text in the "
                               "editor, and undo goes back to the file as it is now.\n");
    text += QStringLiteral("\nRecover the unsaved changes? Discard deletes them; Cancel keeps them for later.");
    const auto answer = Dialogs::question(view, QStringLiteral("Recover Document"), text,
                                          QMessageBox::Yes | QMessageBox::Discard | QMessageBox::Cancel,
                                          QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return Recover;
    if (answer == QMessageBox::Discard)
        return Discard;
    return Later;
}

void DocumentRecovery::apply(SourceEdit *editor, DocumentJournal *journal, Found found)
{
    QTextDocument *doc = editor->document();
    const QString disk = doc->toRawText();
    const QString &want = found.document.text;
    // Only the part that differs is replaced, as one step that undo takes
    // back to the text on disk.
    const qsizetype common = qMin(disk.size(), want.size());
    const qsizetype prefix = std::mismatch(disk.cbegin(), disk.cbegin() + common, want.cbegin()).first - disk.cbegin();
    const qsizetype suffix =
        std::mismatch(disk.crbegin(), disk.crbegin() + (common - prefix), want.crbegin()).first - disk.crbegin();
    if (disk != want) {
        QTextCursor cursor(doc);
        cursor.beginEditBlock();
        cursor.setPosition(int(prefix));
        cursor.setPosition(int(disk.size() - suffix), QTextCursor::KeepAnchor);
        cursor.insertText(want.mid(prefix, want.size() - suffix - prefix));
        cursor.endEditBlock();
        QTextCursor at(doc);
        at.setPosition(int(prefix));
        editor->setTextCursor(at); // shown where the change starts
    }
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (BookmarkData *data = BookmarkData::of(b))
            data->bookmark = false;
    }
    BookmarkData::mark(doc, found.document.bookmarks);
    editor->syncBookmarks();
    editor->viewport()->update();
    if (doc->isModified())
        journal->adopt(std::move(found.slot));
    else
        found.slot.remove(); // nothing differs from the disk
}

} // namespace ov
