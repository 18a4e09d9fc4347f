#include "editor/filechangemonitor.h"

#include <QFileInfo>

#include "app/dialogs.h"
#include "editor/core/editorlog.h"
#include "editor/pendingsource.h"
#include "editor/sourceedit.h"

namespace ov {

namespace {

// Changes made to these by other programs go unnoticed.
void warnUnwatched(const QStringList &paths)
{
    if (!paths.isEmpty())
        qCWarning(lcEditor, "cannot watch %s", qUtf8Printable(paths.join(QLatin1String(", "))));
}

} // namespace

FileChangeMonitor::FileChangeMonitor(QWidget *dialogParent)
    : QObject(dialogParent), dialogParent(dialogParent)
{
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
    // A question is open: its answer comes first, the rest is looked at after.
    if (checking) {
        settle.start();
        return;
    }
    checking = true;
    const QSet<QString> files = std::exchange(pendingFiles, {});
    const QSet<QString> dirs = std::exchange(pendingDirs, {});
    const auto touched = [&files, &dirs](const QString &path) {
        const QFileInfo info(path);
        return files.contains(info.absoluteFilePath()) || dirs.contains(info.absolutePath());
    };
    const QList<QPointer<SourceEdit>> current = editors;
    for (const auto &editor : current) {
        if (editor && touched(editor->getFilePath()))
            check(editor);
    }
    const QList<QPointer<PendingSource>> waiting = pendings;
    for (const auto &pending : waiting) {
        if (pending && touched(pending->getFilePath()))
            check(pending);
    }
    checking = false;
    sync();
}

void FileChangeMonitor::check(SourceEdit *editor)
{
    const QString path = editor->getFilePath();
    QByteArray digest;
    switch (editor->checkDisk(&digest)) {
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

void FileChangeMonitor::check(PendingSource *pending)
{
    // Its text is modified: a changed file is left to the save, which asks.
    switch (pending->checkDisk()) {
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
