#pragma once

#include <QComboBox>
#include <QFileInfo>
#include <QModelIndex>
#include <QPoint>
#include <QStringList>
#include <QTreeView>
#include <QWidget>

class QAction;
class QFileSystemModel;
class QGridLayout;
class QLabel;
class QMenu;
class QMimeData;

namespace ov {

class Project;

// The file-system view of the file explorer dock. Files open in the editor,
// drag out as URLs, and files or folders join the open project.
class FileExplorer : public QTreeView
{
    Q_OBJECT

public:
    FileExplorer(Project *project, QWidget *parent);

    // Folders stay listed whatever the filters; files only when they match.
    // An empty list shows every file.
    void setNameFilters(const QStringList &filters);
    QStringList nameFilters() const;

    QFileSystemModel *fileSystemModel() const { return model; }

    // Fills the context menu for the current entry; null when it would be
    // empty. The menu is refilled on every call.
    QMenu *prepareContextMenu();

    // The data a drag of the current entry carries; null when there is none.
    QMimeData *mimeDataForCurrent() const;

protected Q_SLOTS:
    void addToProject();
    void addDirToProject();
    void openFile();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    // Return on a file opens it, as a double-click does.
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

    // Runs the drag of the current entry; virtual so a test can see it start.
    virtual void startFileDrag();

private:
    bool projectIsOpen() const;
    QFileInfo entryInfo(const QModelIndex &index) const;
    static bool isFileSystemRoot(const QString &path);

    Project *project = nullptr;
    QAction *addFileAct = nullptr;
    QAction *addDirAct = nullptr;
    QAction *openAct = nullptr;
    QMenu *contextMenu = nullptr;
    QPoint pressPos;
    QFileSystemModel *model = nullptr;
};

// The filter box under the view: three ready-made filters, and the user
// may type any other.
class FileExplorerFilter : public QComboBox
{
    Q_OBJECT

public:
    FileExplorerFilter(FileExplorer *explorer, QWidget *parent);

private:
    FileExplorer *explorer = nullptr;
};

// The file explorer dock's contents: the view with its filter box.
class FileExplorerPlane : public QWidget
{
    Q_OBJECT

public:
    FileExplorerPlane(Project *project, QWidget *parent);

    // "PHP files (*.php;*.inc)" -> *.php, *.inc; text without parentheses is
    // taken whole. Spaces go; empty patterns are dropped.
    static QStringList nameFiltersFromText(const QString &text);

    FileExplorer *explorer() const { return view; }
    FileExplorerFilter *filterBox() const { return filter; }

public Q_SLOTS:
    void filterChanged(QString text);

private:
    FileExplorerFilter *filter = nullptr;
    FileExplorer *view = nullptr;
    QGridLayout *layout = nullptr;
    QLabel *label = nullptr;
};

} // namespace ov
