#include "editor/filechangemonitor.h"

#include <QFileInfo>

#include <mutex>

#include "editor/core/documentfile.h"
#include "editor/core/editorlog.h"
#include "editor/core/textfile.h"
#include "editor/core/workers.h"
#include "editor/pendingsource.h"
#include "editor/sourceedit.h"
#include "host/dialogs.h"

namespace ov {

// One tab's file as the tab last read or wrote it, and what the workers
// found on disk.
struct FileChangeMonitor::Look {
    QPointer<SourceEdit> editor;        // one of editor, pending
    QPointer<PendingSource> pending;
    QString path;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    QByteArray digest;   // an editor's, of the bytes it holds
    QByteArray bytes;    // a tab without editor: the bytes it holds
    // Found: Unchanged also when only the time stamp changed (`touched`).
    SourceEdit::DiskState state = SourceEdit::DiskUnchanged;
    bool touched = false;
    QByteArray found;    // the digest of what the file holds now, if read
    qint64 foundSize = 0;   // the stamp it was read under
    QDateTime foundModified;
};

// Handed to the workers and back under the mutex: a hand-over the thread
// checker sees. The pointers in it are only followed on the GUI thread.
struct FileChangeMonitor::Looks {
    std::mutex mutex;
    QList<Look> looks;
};

namespace {

// Changes made to these by other programs go unnoticed.
void warnUnwatched(const QStringList &paths)
{
    if (!paths.isEmpty())
        qCWarning(lcEditor, "cannot watch %s", qUtf8Printable(paths.join(QLatin1String(", "))));
}

bool sameStamp(SourceEdit *editor, const QString &path, qint64 size, qint64 modifiedMs, const QByteArray &digest)
{
    const DiskStamp now = editor->diskStamp();
    return editor->getFilePath() == path && now.size == size && now.modifiedMs == modifiedMs && now.sha1 == digest;
}

} // namespace

FileChangeMonitor::FileChangeMonitor(QWidget *dialogParent, Workers *workers)
    : QObject(dialogParent), dialogParent(dialogParent), workers(workers ? workers : Workers::instance())
{
    connect(&lookWatcher, &QFutureWatcherBase::finished, this, &FileChangeMonitor::looked);
    settle.setSingleShot(true);
    settle.setInterval(150);
    connect(&settle, &QTimer::timeout, this, &FileChangeMonitor::checkPending);
    syncLater.setSingleShot(true);
    syncLater.setInterval(0);
    connect(&syncLater, &QTimer::timeout, this, &FileChangeMonitor::sync);
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, &FileChangeMonitor::fileChanged);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, &FileChangeMonitor::directoryChanged);
}

void FileChangeMonitor::watch(SourceEdit *editor)
{
    editors.append(editor);
    connect(editor, &SourceEdit::diskStateChanged, this, &FileChangeMonitor::sync);
    // Closing many tabs at once ends in one look at the watched paths.
    connect(editor, &QObject::destroyed, &syncLater, qOverload<>(&QTimer::start));
    // Only this editor's paths: a full sync per editor would grow with the
    // number of tabs, and Replace All may open hundreds in a row.
    const QFileInfo info(editor->getFilePath());
    QStringList paths{info.absolutePath()};
    if (info.exists())
        paths << info.absoluteFilePath();
    const QStringList files = watcher.files();
    const QStringList dirs = watcher.directories();
    paths.removeIf([&](const QString &p) { return files.contains(p) || dirs.contains(p); });
    if (!paths.isEmpty())
        warnUnwatched(watcher.addPaths(paths));
}

void FileChangeMonitor::watch(PendingSource *pending)
{
    pendings.append(pending);
    connect(pending, &QObject::destroyed, &syncLater, qOverload<>(&QTimer::start));
    syncLater.start();
}

void FileChangeMonitor::sync()
{
    editors.removeAll(nullptr);
    pendings.removeAll(nullptr);
    for (auto it = declined.begin(); it != declined.end();) {
        bool alive = false;
        for (const auto &e : std::as_const(editors))
            alive = alive || e == it.key();
        it = alive ? std::next(it) : declined.erase(it);
    }
    // Folders are watched too: a program that saves by replacing the file
    // ends the watch on the old one, and a removed file may come back.
    QSet<QString> wanted;
    const auto want = [&wanted](const QString &path) {
        const QFileInfo info(path);
        if (info.exists())
            wanted.insert(info.absoluteFilePath());
        wanted.insert(info.absolutePath());
    };
    for (const auto &editor : std::as_const(editors))
        want(editor->getFilePath());
    for (const auto &pending : std::as_const(pendings))
        want(pending->getFilePath());
    const QStringList watchedList = watcher.files() + watcher.directories();
    QStringList gone;
    for (const QString &path : watchedList)
        if (!wanted.contains(path))
            gone << path;
    if (!gone.isEmpty())
        watcher.removePaths(gone);
    // In one call: hundreds of tabs may have opened since the last look.
    const QSet<QString> watched(watchedList.cbegin(), watchedList.cend());
    QStringList added;
    for (const QString &path : std::as_const(wanted))
        if (!watched.contains(path) && QFileInfo::exists(path))
            added << path;
    if (!added.isEmpty())
        warnUnwatched(watcher.addPaths(added));
}

void FileChangeMonitor::fileChanged(const QString &path)
{
    pendingFiles.insert(path);
    settle.start();
}

void FileChangeMonitor::directoryChanged(const QString &path)
{
    pendingDirs.insert(path);
    settle.start();
}

void FileChangeMonitor::checkPending()
{
    // A question is open or files are being read: their answers come
    // first, the rest is looked at after.
    if (checking || looking) {
        settle.start();
        return;
    }
    const QSet<QString> files = std::exchange(pendingFiles, {});
    const QSet<QString> dirs = std::exchange(pendingDirs, {});
    const auto touched = [&files, &dirs](const QString &path) {
        const QFileInfo info(path);
        return files.contains(info.absoluteFilePath()) || dirs.contains(info.absolutePath());
    };
    auto batch = std::make_shared<Looks>();
    for (const auto &editor : std::as_const(editors)) {
        if (!editor || !touched(editor->getFilePath()))
            continue;
        const DiskStamp stamp = editor->diskStamp();
        // Never read nor written: nothing to protect, nothing to read.
        if (stamp.size < 0)
            continue;
        Look look;
        look.editor = editor;
        look.path = editor->getFilePath();
        look.size = stamp.size;
        look.modifiedMs = stamp.modifiedMs;
        look.digest = stamp.sha1;
        batch->looks.append(look);
    }
    for (const auto &pending : std::as_const(pendings)) {
        if (!pending || !touched(pending->getFilePath()))
            continue;
        const LoadedFile &file = pending->loadedFile();
        Look look;
        look.pending = pending;
        look.path = pending->getFilePath();
        look.size = file.size;
        look.modifiedMs = file.modified.toMSecsSinceEpoch();
        look.bytes = file.bytes;
        batch->looks.append(look);
    }
    if (batch->looks.isEmpty()) {
        sync();
        return;
    }
    looking = batch;
    lookWatcher.setFuture(workers->run(&FileChangeMonitor::lookAt, batch));
}

void FileChangeMonitor::lookAt(const std::shared_ptr<Looks> &batch)
{
    QList<Look> looks;
    {
        std::lock_guard<std::mutex> lock(batch->mutex);
        looks = batch->looks;
    }
    for (Look &look : looks) {
        const QFileInfo info(look.path);
        if (!info.exists()) {
            look.state = SourceEdit::DiskMissing;
            continue;
        }
        look.foundSize = info.size();
        look.foundModified = info.lastModified();
        if (look.foundSize == look.size && look.foundModified.toMSecsSinceEpoch() == look.modifiedMs)
            continue;
        QByteArray bytes;
        if (!readFileBytes(look.path, &bytes, nullptr)) {
            look.state = SourceEdit::DiskChanged;
            continue;
        }
        const bool same = look.pending ? bytes == look.bytes : (look.found = DocumentFile::digestOf(bytes)) == look.digest;
        look.state = same ? SourceEdit::DiskUnchanged : SourceEdit::DiskChanged;
        look.touched = same;
    }
    std::lock_guard<std::mutex> lock(batch->mutex);
    batch->looks = std::move(looks);
}

void FileChangeMonitor::looked()
{
    const std::shared_ptr<Looks> batch = std::exchange(looking, nullptr);
    if (!batch)
        return;
    QList<Look> looks;
    {
        std::lock_guard<std::mutex> lock(batch->mutex);
        looks = std::move(batch->looks);
    }
    checking = true;
    for (const Look &look : std::as_const(looks)) {
        if (look.editor) {
            // Saved or reloaded since: what was read says nothing of it.
            if (!sameStamp(look.editor, look.path, look.size, look.modifiedMs, look.digest)) {
                pendingFiles.insert(QFileInfo(look.path).absoluteFilePath());
                settle.start();
            } else if (look.touched) {
                // Same bytes: the editor takes the new stamp, without reading
                // the file again here.
                look.editor->diskTouched(look.foundSize, look.foundModified);
                act(look.editor, SourceEdit::DiskUnchanged, look.digest);
            } else {
                act(look.editor, look.state, look.state == SourceEdit::DiskChanged ? look.found : look.digest);
            }
        } else if (look.pending) {
            if (look.touched)
                look.pending->diskTouched(look.foundSize, look.foundModified);
            act(look.pending, look.state);
        }
    }
    checking = false;
    sync();
}

void FileChangeMonitor::act(SourceEdit *editor, SourceEdit::DiskState state, const QByteArray &digest)
{
    const QString path = editor->getFilePath();
    switch (state) {
    case SourceEdit::DiskUnchanged:
        editor->diskMissingReported = false;
        declined.remove(editor);
        return;
    case SourceEdit::DiskMissing:
        if (editor->diskMissingReported)
            return;
        editor->diskMissingReported = true;
        // Marked modified so that closing asks: the text exists nowhere else now.
        editor->document()->setModified(true);
        reportMissing(path);
        return;
    case SourceEdit::DiskChanged:
        if (editor->document()->isModified())
            return; // the save asks before overwriting
        if (declined.value(editor) == digest)
            return;
        if (Dialogs::question(dialogParent, QStringLiteral("Application"),
                              QStringLiteral("The file %1 was changed by another program.\n"
                                             "Do you want to reload it?").arg(path),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
                == QMessageBox::Yes) {
            // The editor may have gone while the question was open.
            if (QPointer<SourceEdit> alive = editor)
                alive->reloadFromDisk();
        } else {
            declined.insert(editor, digest);
        }
        return;
    }
}

void FileChangeMonitor::act(PendingSource *pending, SourceEdit::DiskState state)
{
    // Its text is modified: a changed file is left to the save, which asks.
    switch (state) {
    case SourceEdit::DiskUnchanged:
        pending->diskMissingReported = false;
        return;
    case SourceEdit::DiskMissing:
        if (pending->diskMissingReported)
            return;
        pending->diskMissingReported = true;
        reportMissing(pending->getFilePath());
        return;
    case SourceEdit::DiskChanged:
        return;
    }
}

void FileChangeMonitor::reportMissing(const QString &path)
{
    Dialogs::warning(dialogParent, QStringLiteral("Application"),
                     QStringLiteral("The file %1 was deleted or moved by another program.\n"
                                    "Its text stays open; save it to write the file again.").arg(path));
}

} // namespace ov
