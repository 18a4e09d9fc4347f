#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "editor/core/journal.h"

class QLockFile;
class QTextDocument;
class QTimer;

namespace ov {

// One journal file in the recovery folder and the lock that makes it this
// process's own: a lock holds the owner's process id, and the lock of a
// process that has died is taken over.
class JournalSlot
{
public:
    JournalSlot();
    ~JournalSlot();
    JournalSlot(JournalSlot &&) noexcept;
    JournalSlot &operator=(JournalSlot &&) noexcept;

    // The folder of the journals (AppLocalDataLocation/recovery), made if missing.
    static QString folder();
    // Journals of other sessions no live process holds, locked for this one.
    static std::vector<JournalSlot> takeOrphans();
    // A free place for a new journal of `filePath`, locked; never one that
    // holds a journal already.
    static JournalSlot acquireFor(const QString &filePath);

    bool isValid() const { return bool(lock); }
    QString path() const { return journalPath; }
    // Deletes the journal and gives the place up.
    void remove();
    // Moves a journal that cannot be read aside, into the folder's
    // "damaged" subfolder, and gives the place up; returns its new path.
    QString setAside();
    void release();

private:
    static JournalSlot tryLock(const QString &journalPath);
    QString journalPath;
    std::unique_ptr<QLockFile> lock;
};

// Journals the unsaved changes of one document: while the document is
// modified, its text is in a journal file no later than a moment after the
// typing pauses, and at least once a second while it goes on. Each edit is
// kept as a record of its own size, so the cost of a keystroke does not grow
// with the document. Unmodified (saved, reloaded, undone to the disk text)
// or destroyed in an orderly way, it removes the journal.
class DocumentJournal : public QObject
{
    Q_OBJECT

public:
    // What the journal header names; asked each time a journal starts.
    struct Source {
        QString filePath;
        TextFormat format;
        DiskStamp base;
    };

    static const int PauseMs = 250;
    static const int CeilingMs = 1000;
    // While typing goes on, writes wait for the disk at most this often.
    static const int SyncCeilingMs = 5000;

    DocumentJournal(QTextDocument *document, std::function<Source()> source,
                    std::function<QList<int>()> bookmarks, QObject *parent = nullptr);
    ~DocumentJournal() override;

    // Journals into a recovered journal's place from now on.
    void adopt(JournalSlot slot);
    // The bookmarks changed: they go with the next write.
    void noteBookmarksChanged();
    // The file's path or disk state changed: the next write starts afresh.
    void noteSourceChanged();
    // Writes what is pending now; Synced waits until it is on the disk.
    enum Durability { Written, Synced };
    void flush(Durability durability = Synced);
    // Off: no journal is kept (the benchmark's baseline).
    void setEnabled(bool on);

    QString journalPath() const { return slot.path(); }
    QString errorString() const { return error; }

Q_SIGNALS:
    // A journal could not be written; sent once until a write succeeds.
    void writeFailed(const QString &reason);

private:
    void contentsChanged(int position, int removed, int added);
    void modificationChanged(bool modified);
    void schedule();
    bool startFresh();
    void dropJournal();
    void failed(const QString &reason);

    QTextDocument *doc;
    std::function<Source()> source;
    std::function<QList<int>()> bookmarks;
    JournalSlot slot;
    journal::Writer writer;
    QTimer *pauseTimer;
    QTimer *ceilingTimer;
    qint64 lastSyncMs = 0;
    QByteArray pending;       // records not written yet
    qint64 modelLength = 0;   // the raw text's length as the journal has it
    int lastRevision = 0;
    qint64 snapshotBytes = 0;
    bool needFresh = true;
    bool bookmarksDirty = false;
    bool hadBookmarks = false;
    QList<int> lastBookmarks;
    bool enabled = true;
    bool failing = false;
    QString error;
};

} // namespace ov
