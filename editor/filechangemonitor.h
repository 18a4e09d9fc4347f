#pragma once

#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <memory>

#include "editor/sourceedit.h"

class QWidget;

namespace ov {

class PendingSource;
class Workers;

// Notices when another program changes or removes a file open in an editor:
// an unmodified document is offered a reload, a removed file is reported
// and its document kept. A modified document is left alone; its save asks
// before overwriting (see SourceEdit::checkDisk). Files that changed are
// read and compared on the application's workers, not in the window.
class FileChangeMonitor : public QObject
{
    Q_OBJECT

public:
    // `workers` null: the application's.
    explicit FileChangeMonitor(QWidget *dialogParent, Workers *workers = nullptr);

    void watch(SourceEdit *editor);
    // Tabs without an editor yet: a modified text whose file may go away.
    // Their paths are added together once control returns to the event loop.
    void watch(PendingSource *pending);

private Q_SLOTS:
    void sync();
    void fileChanged(const QString &path);
    void directoryChanged(const QString &path);
    void checkPending();

private:
    struct Look;
    struct Looks;
    static void lookAt(const std::shared_ptr<Looks> &looks);
    void looked();
    void act(SourceEdit *editor, SourceEdit::DiskState state, const QByteArray &digest);
    void act(PendingSource *pending, SourceEdit::DiskState state);
    void reportMissing(const QString &path);

    QWidget *dialogParent;
    QFileSystemWatcher watcher;
    QList<QPointer<SourceEdit>> editors;
    QList<QPointer<PendingSource>> pendings;
    QSet<QString> pendingFiles;
    QSet<QString> pendingDirs;
    QHash<SourceEdit *, QByteArray> declined; // versions the user chose not to reload
    QTimer settle; // other programs write in bursts: look once they are done
    QTimer syncLater;
    bool checking = false;
    Workers *workers;
    std::shared_ptr<Looks> looking;   // the files the workers are reading
    QFutureWatcher<void> lookWatcher;
};

} // namespace ov
