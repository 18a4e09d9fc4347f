#include "editor/core/documentjournal.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>
#include <QTextCursor>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QTimer>

#include "editor/core/editorlog.h"

namespace ov {

namespace {

const QLatin1String Suffix(".journal");
// Past this much appended beyond the snapshot, the journal starts afresh.
const qint64 MinCompactBytes = 4 * 1024 * 1024;

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

} // namespace

// --- JournalSlot ---------------------------------------------------------

JournalSlot::JournalSlot() = default;
JournalSlot::~JournalSlot() = default;
JournalSlot::JournalSlot(JournalSlot &&) noexcept = default;
JournalSlot &JournalSlot::operator=(JournalSlot &&) noexcept = default;

QString JournalSlot::folder()
{
    const QString dir =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/recovery");
    if (!QFileInfo::exists(dir)) {
        if (!QDir().mkpath(dir))
            qCWarning(lcEditor, "cannot create the recovery folder %s", qUtf8Printable(dir));
        // What the user typed is theirs alone.
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return dir;
}

JournalSlot JournalSlot::tryLock(const QString &journalPath)
{
    JournalSlot slot;
    auto lock = std::make_unique<QLockFile>(journalPath + QStringLiteral(".lock"));
    // Never stale by age: only when its process is gone.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return slot;
    slot.journalPath = journalPath;
    slot.lock = std::move(lock);
    return slot;
}

std::vector<JournalSlot> JournalSlot::takeOrphans()
{
    std::vector<JournalSlot> found;
    const QDir dir(folder());
    const QStringList names = dir.entryList({QStringLiteral("*") + Suffix}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        JournalSlot slot = tryLock(dir.filePath(name));
        // Gone meanwhile: its owner saved or closed it.
        if (slot.isValid() && QFileInfo::exists(slot.path()))
            found.push_back(std::move(slot));
    }
    return found;
}

JournalSlot JournalSlot::acquireFor(const QString &filePath)
{
    const QDir dir(folder());
    const QString key =
        QString::fromLatin1(QCryptographicHash::hash(filePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    for (int n = 0; n < 1000; ++n) {
        const QString path = dir.filePath(n == 0 ? key + Suffix : QStringLiteral("%1-%2%3").arg(key).arg(n).arg(Suffix));
        if (QFileInfo::exists(path))
            continue; // another session's, still to be recovered
        JournalSlot slot = tryLock(path);
        if (slot.isValid() && !QFileInfo::exists(path))
            return slot;
    }
    return JournalSlot();
}

void JournalSlot::remove()
{
    if (!lock)
        return;
    QFile file(journalPath);
    if (file.exists() && !file.remove())
        qCWarning(lcEditor, "cannot remove the recovery journal %s: %s", qUtf8Printable(journalPath),
                  qUtf8Printable(file.errorString()));
    release();
}

QString JournalSlot::setAside()
{
    if (!lock)
        return QString();
    const QFileInfo info(journalPath);
    const QString dir = info.path() + QStringLiteral("/damaged");
    QDir().mkpath(dir);
    QString target = dir + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('-')
                     + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) + Suffix;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = dir + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("-%1").arg(n) + Suffix;
    if (!QFile::rename(journalPath, target)) {
        qCWarning(lcEditor, "cannot move the damaged journal %s to %s", qUtf8Printable(journalPath),
                  qUtf8Printable(target));
        target = journalPath;
    }
    release();
    return target;
}

void JournalSlot::release()
{
    if (lock)
        lock->unlock();
    lock.reset();
    journalPath.clear();
}

// --- DocumentJournal -----------------------------------------------------

DocumentJournal::DocumentJournal(QTextDocument *document, std::function<Source()> source,
                                 std::function<QList<int>()> bookmarks, QObject *parent)
    : QObject(parent), doc(document), source(std::move(source)), bookmarks(std::move(bookmarks)),
      pauseTimer(new QTimer(this)), ceilingTimer(new QTimer(this))
{
    pauseTimer->setSingleShot(true);
    pauseTimer->setInterval(PauseMs);
    ceilingTimer->setSingleShot(true);
    ceilingTimer->setInterval(CeilingMs);
    // A pause in the typing puts the journal on the disk; while typing goes
    // on, it is written for the process's death and synced now and then,
    // so that the keys do not wait for the disk.
    connect(pauseTimer, &QTimer::timeout, this, [this] { flush(Synced); });
    connect(ceilingTimer, &QTimer::timeout, this, [this] {
        flush(nowMs() - lastSyncMs >= SyncCeilingMs ? Synced : Written);
    });
    // A document reports its changes only once it has a layout.
    doc->documentLayout();
    connect(doc, &QTextDocument::contentsChange, this, &DocumentJournal::contentsChanged);
    connect(doc, &QTextDocument::modificationChanged, this, &DocumentJournal::modificationChanged);
    lastRevision = doc->revision();
    if (doc->isModified())
        schedule();
}

DocumentJournal::~DocumentJournal()
{
    dropJournal();
}

void DocumentJournal::adopt(JournalSlot adopted)
{
    writer.close();
    slot.remove();
    slot = std::move(adopted);
    needFresh = true;
    pending.clear();
    if (doc->isModified())
        schedule();
}

void DocumentJournal::noteBookmarksChanged()
{
    bookmarksDirty = true;
    if (doc->isModified())
        schedule();
}

void DocumentJournal::noteSourceChanged()
{
    needFresh = true;
    pending.clear();
    if (doc->isModified())
        schedule();
}

void DocumentJournal::setEnabled(bool on)
{
    enabled = on;
    if (!on)
        dropJournal();
    else
        noteSourceChanged();
}

void DocumentJournal::contentsChanged(int position, int removed, int added)
{
    if (!enabled)
        return;
    // Formats laid over the text (the highlighter's) report a change of
    // the same length without a new revision: no text changed.
    const int revision = doc->revision();
    if (revision == lastRevision && removed == added)
        return;
    lastRevision = revision;
    schedule();
    if (needFresh)
        return; // the next write takes the whole text
    qint64 pos = position, gone = removed, come = added;
    // The document counts its closing paragraph separator, which no edit
    // ever removes: a change reported across it is shorter by one.
    if (pos + gone > modelLength) {
        const qint64 excess = pos + gone - modelLength;
        gone -= excess;
        come -= excess;
    }
    const qint64 length = doc->characterCount() - 1;
    if (pos < 0 || gone < 0 || come < 0 || pos > modelLength || modelLength - gone + come != length) {
        // Not an edit this journal can follow: start again from the whole text.
        needFresh = true;
        pending.clear();
        return;
    }
    QTextCursor cursor(doc);
    cursor.setPosition(int(pos));
    cursor.setPosition(int(pos + come), QTextCursor::KeepAnchor);
    pending += journal::editRecord({pos, gone, come ? cursor.selectedText() : QString()}, nowMs());
    modelLength = length;
}

void DocumentJournal::modificationChanged(bool modified)
{
    if (!enabled)
        return;
    if (modified)
        schedule();
    else
        dropJournal(); // saved, or back to the text on disk
}

void DocumentJournal::schedule()
{
    pauseTimer->start();
    if (!ceilingTimer->isActive())
        ceilingTimer->start();
}

void DocumentJournal::flush(Durability durability)
{
    pauseTimer->stop();
    ceilingTimer->stop();
    if (!enabled)
        return;
    if (!doc->isModified()) {
        dropJournal();
        return;
    }
    if (needFresh || !writer.isOpen() || writer.size() - snapshotBytes > qMax(MinCompactBytes, snapshotBytes)) {
        startFresh();
        return;
    }
    if (bookmarksDirty || hadBookmarks) {
        const QList<int> lines = bookmarks ? bookmarks() : QList<int>();
        if (lines != lastBookmarks) {
            pending += journal::bookmarksRecord(lines, nowMs());
            lastBookmarks = lines;
        }
        hadBookmarks = !lines.isEmpty();
        bookmarksDirty = false;
    }
    if (pending.isEmpty())
        return;
    const bool sync = durability == Synced;
    if (!writer.append(pending, sync)) {
        // Part of it may be there: the next write starts afresh.
        failed(writer.errorString());
        needFresh = true;
        writer.close();
    } else {
        failing = false;
        if (sync)
            lastSyncMs = nowMs();
    }
    pending.clear();
}

bool DocumentJournal::startFresh()
{
    const Source src = source();
    // A text of no file has nowhere to be recovered to.
    if (src.filePath.isEmpty())
        return false;
    if (!slot.isValid())
        slot = JournalSlot::acquireFor(src.filePath);
    if (!slot.isValid()) {
        failed(QStringLiteral("No place for a recovery journal in %1").arg(JournalSlot::folder()));
        return false;
    }
    JournalHeader header;
    header.filePath = src.filePath;
    header.format = src.format;
    header.base = src.base;
    header.startedMs = nowMs();
    const QString text = doc->toRawText();
    const QList<int> lines = bookmarks ? bookmarks() : QList<int>();
    pending.clear();
    if (!writer.start(slot.path(), header, text, lines, header.startedMs)) {
        failed(writer.errorString());
        return false;
    }
    snapshotBytes = writer.size();
    lastSyncMs = nowMs(); // the atomic write syncs
    modelLength = text.size();
    lastRevision = doc->revision();
    lastBookmarks = lines;
    hadBookmarks = !lines.isEmpty();
    bookmarksDirty = false;
    needFresh = false;
    failing = false;
    return true;
}

void DocumentJournal::dropJournal()
{
    pauseTimer->stop();
    ceilingTimer->stop();
    writer.close();
    slot.remove();
    pending.clear();
    needFresh = true;
}

void DocumentJournal::failed(const QString &reason)
{
    error = reason;
    if (!failing) {
        qCWarning(lcEditor, "cannot write the recovery journal %s: %s", qUtf8Printable(slot.path()),
                  qUtf8Printable(reason));
        Q_EMIT writeFailed(reason);
    }
    failing = true;
}

} // namespace ov
