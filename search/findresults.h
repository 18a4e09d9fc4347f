#pragma once

#include <QFont>
#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>

#include "search/core/findentry.h"

namespace ov {

class FileSearch;

// A find-results window: one bold item per file, one child per hit in the
// order the hits came; a double-click on a hit opens its file and selects it.
class FindResults : public QTreeWidget
{
    Q_OBJECT

public:
    enum Roles { FileNameRole = Qt::UserRole + 1, EntryRole = Qt::UserRole + 2 };

    FindResults(QMainWindow *mainWindow, QWidget *parent);

    void addEntry(FindEntry entry);
    // Empties the window and drops a search still filling it.
    void clear();

    // Fills the window from a background search, which it takes over and
    // starts. The tree grows a slice at a time so the editor stays live.
    void fill(FileSearch *search);
    bool isFilling() const;

    // The text of a hit's item: the file's name, the line number and the
    // line (an excerpt around the hit when the line is very long).
    static QString hitText(const FindEntry &entry);

Q_SIGNALS:
    // A fill() has put its last hit into the tree.
    void filled();

public Q_SLOTS:
    void _itemDoubleClicked(QTreeWidgetItem *item, int column);

private:
    void queueEntries(const QList<FindEntry> &entries);
    void searchFinished();
    void insertQueued();
    QTreeWidgetItem *fileItem(const QString &fileName);
    QTreeWidgetItem *makeHitItem(const FindEntry &entry) const;
    void updateFileText(QTreeWidgetItem *item) const;
    void dropSearch();

    QMainWindow *mainWindow = nullptr;
    QIcon fileIcon;
    QIcon hitIcon;
    QFont fileFont;
    // The last file item of each name, as addEntry looks them up.
    QHash<QString, QTreeWidgetItem *> fileItems;
    qsizetype hitCount = 0;

    QPointer<FileSearch> search;
    quint64 generation = 0;
    bool searchDone = true;
    bool filling = false;
    QList<FindEntry> queue;
    qsizetype queueHead = 0;
    QTimer insertTimer;
};

} // namespace ov
