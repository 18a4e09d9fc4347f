#pragma once

#include "analysis/core/codemodel.h"
#include "analysis/core/projectloadingthread.h"
#include "project/core/bookmarkstore.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <thread>

class QAction;
class QFileIconProvider;
class QMenu;
class QTimer;

namespace ov {

class AddNewFileDialog;
class Host;
class FileParsingDialog;
class ProjectItem;
class ProjectListItem;
struct ProjectNode;

// The project explorer: the tree of the open project (virtual folders and
// files on disk) and the project's non-visual state: its file name, the
// bookmarks and, through the analysis members, the code model.
class Project : public QTreeWidget
{
    Q_OBJECT

public:
    // Indices of the shared context-menu actions.
    enum ActionIndex { AddNewFile, AddExistFile, AddNewFolder, Rename, Close, Remove, Properties };

    Project(Host *mainWindow, QWidget *parent);
    ~Project() override;

    // A project is open exactly when this is not null.
    ProjectItem *getRootItem() const { return rootItem; }
    QString getProjectFileName() const { return projectFileName; }
    Host *getMainWindow() const { return mainWindow; }

    // Paths of all file items, in tree order.
    QStringList getProjectFiles() const;

    // Builds the tree from a project file; false (nothing changed, reason in
    // errorString()) when it cannot be read or is not a project file.
    bool loadProject(const QString &fileName);
    // Writes the open project atomically; an empty name means its own file.
    // False, with the reason in errorString(), when nothing was written.
    bool saveProject(const QString &fileName = QString());
    // A new empty project whose file will be `fileName`; writes nothing.
    bool createProject(const QString &fileName);
    // A new project filled from a folder of the disk; writes nothing.
    bool createProjectFromFolder(const QString &dirPath, const QString &name, const QStringList &nameFilters);
    // Saves, then closes the open project. When the save fails the user is
    // told why and may keep the project open: then false.
    bool saveAndCloseProject();
    QString errorString() const { return lastError; }

    // A folder item for `dirPath` under `parentItem`, holding the matching
    // files and the folders that hold some; nothing when it holds none.
    void addDirItem(const QString &name, const QString &dirPath, const QStringList &nameFilters,
                    ProjectListItem *parentItem);
    void addFileItem(const QString &path, ProjectListItem *parentItem);

    // Asks the main window to open a file in an editor tab.
    void openFile(const QString &path);

    QAction *action(ActionIndex index) const { return actions.value(index); }
    QMenu *projectMenu() const { return projectItemMenu; }
    QMenu *folderMenu() const { return folderItemMenu; }
    QMenu *fileMenu() const { return fileItemMenu; }
    AddNewFileDialog *newFileDialog() const { return addNewFileDialog; }
    BookmarkStore::Position bookmarkPosition() const { return bookmarkStore.position(); }

Q_SIGNALS:
    void projectUpdated();

public Q_SLOTS:
    void _addNewFile();
    void _addExistFile();
    void _addNewFolder();
    void _rename();
    void _close();
    void _delete();
    void _properties();
    void _itemDoubleClicked(QTreeWidgetItem *item, int column);
    void _itemNameChanged(QTreeWidgetItem *item, int column);
    void _addFile(QString fileName);
    void _addDir(QString dirName, QStringList nameFilters);

    void addBookmark(QString fileName, int lineNumber);
    void removeBookmark(QString fileName, int lineNumber);
    bool hasBookmark(QString fileName, int lineNumber);
    void cleanBookmarks();
    QList<int> getBookmarks(const QString &fileName) const;
    void setBookmarks(const QString &fileName, const QList<int> &bookmarks);
    void showNextBookmark();
    void showPrevBookmark();

    void startUpdating();
    void closeProject();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    // Return on a file opens it, as a double-click does.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *dialogParent();
    QIcon fileIcon(const QString &path);
    QIcon folderIcon();
    void buildItems(const ProjectNode &node, ProjectListItem *parent);
    void buildDetached(const ProjectNode &node, ProjectListItem *parent);
    ProjectNode nodeOf(const ProjectListItem *item) const;
    // Where new items go: the current item, or beside it when it is a file.
    ProjectListItem *currentContainer() const;
    void editInPlace(QTreeWidgetItem *item);
    void showBookmark();

    Host *mainWindow = nullptr;
    ProjectItem *rootItem = nullptr;
    QHash<int, QAction *> actions;
    QMenu *projectItemMenu = nullptr;
    QMenu *folderItemMenu = nullptr;
    QMenu *fileItemMenu = nullptr;
    AddNewFileDialog *addNewFileDialog = nullptr;
    QString projectFileName;
    QFileIconProvider *iconProvider = nullptr;
    QHash<QString, QIcon> iconsBySuffix;
    QIcon folderIconCache;
    QString lastError;
    BookmarkStore bookmarkStore;

    // --- the project file kept up to date (project_autosave.cpp) ---
    // Every change of the open project (items added, moved, renamed,
    // removed; bookmarks) is written to its file at the end of the event
    // loop's turn, so an editor that ends without closing loses none of it.
    // The code database keeps to its own times.
    void setUpAutoSave();
    void projectEdited();
    void writeEditedProject();
    // The open project, as its file now holds it.
    void rememberProjectFile();
    QByteArray projectFileContent() const;
    QTimer *autoSaveTimer = nullptr;
    QByteArray projectFileBytes;
    bool autoSaveFailing = false;

    // --- analysis: the code database beside the project file, the code
    // model and the background runs (project_analysis.cpp) ---
public:
    PHPFileDescription getPHPFileDescription(QString fileName) const;
    QList<PHPFunctionDefinition> findFunctionDefinitions(QString name) const;
    QStringList findFunctionFiles(QString name) const;
    bool isBuiltinFunction(QString name) const;
    bool isKnownFunction(QString name) const;
    QStringList getAllFunctionNames() const;
    const CodeModel &codeModel() const { return model; }

    ProjectLoadingThread *analysisThread() const { return loadingThread; }
    FileParsingDialog *parsingDialog() const { return fileParsingDialog; }
    // Files the last completed run read from disk; -1 before any run.
    int lastRunFilesRead() const { return lastFilesRead; }
    // Why the last database write failed; the project file is saved anyway.
    QString codeDBErrorString() const { return codeDBError; }

public Q_SLOTS:
    void parsingStarted();
    void parsingFinished();
    void setPHPFileDescription(QString fileName, PHPFileDescription desc);
    void forceUpdatePHPFile(QString fileName);

private:
    // Constructor: thread, dialog, built-in names, busy indicator wiring.
    void initAnalysis();
    // Reads the database beside the project file into the empty model on a
    // thread; the model is not to be touched until it is joined.
    std::thread readCodeDB();
    // After the project file was written; nothing without a project.
    void saveCodeDB();
    // closeProject(): stops a run (between two files) and empties the model.
    void clearCodeModel();
    AnalysisJob analysisJob() const;

    CodeModel model;
    ProjectLoadingThread *loadingThread = nullptr;
    FileParsingDialog *fileParsingDialog = nullptr;
    bool rerunRequested = false;
    int lastFilesRead = -1;
    QString codeDBError;
};

} // namespace ov
