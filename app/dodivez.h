#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QAction;
class QComboBox;
class QDockWidget;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
class QToolBar;

namespace ov {

class AboutDialog;
class ClickableLabel;
class FileExplorerPlane;
class FindDialog;
class FindResults;
class MainView;
class Output;
class Project;

// The main window: owns and wires every component; its slots are the
// commands of the menus and toolbars.
class DODIvez : public QMainWindow
{
    Q_OBJECT

public:
    explicit DODIvez(QString fileName, QWidget *parent = nullptr);
    // Opens every start path in turn (see openStartPaths).
    explicit DODIvez(const QStringList &startPaths, QWidget *parent = nullptr);
    ~DODIvez() override;

    // Hands the function names assembled after an analysis run to the
    // document area, which keeps them for its editors.
    void setFunctionNames(QStringList names);

    MainView *mainView() const { return view; }
    Project *project() const { return projectTree; }
    FindDialog *findDialog() const { return findNReplaceDialog; }
    FindResults *findResults(int n) const { return findResultTrees[n]; }
    Output *output() const { return outputList; }
    FileExplorerPlane *fileExplorer() const { return fileExplorerPlane; }
    AboutDialog *getAboutDialog() const { return aboutDialog; }

    // The edit actions whose state the document area drives.
    QAction *getCopyAction() const { return copyAct; }
    QAction *getCutAction() const { return cutAct; }
    QAction *getPasteAction() const { return pasteAct; }
    QAction *getUndoAction() const { return undoAct; }
    QAction *getRedoAction() const { return redoAct; }

public Q_SLOTS:
    // File and project commands
    void newProject();
    void newProjectFromFolder();
    void newFile();
    void openProject();
    void openProject(QString name);
    void openFile();
    bool openFile(QString name);
    bool save();
    bool saveAs();
    void saveAll();
    void fileExit();
    bool renameFile(QString oldName, QString newName);
    void enableSaveActions(bool enable);

    // Search
    void find();
    void replace();
    void fastSearch(QString text);
    void setFindResultWindow(int n);
    int getFindResultWindow();
    void findInCurrentDocument(QString text, bool matchCase, bool matchWord, int outputWindow);
    void findInAllOpenedDocuments(QString text, bool matchCase, bool matchWord, int outputWindow);
    void findInProject(QString text, bool matchCase, bool matchWord, int outputWindow);
    void resetFindNReplacePosition();
    void findNext(QString text, bool matchCase, bool matchWord, int scope);
    void replaceNext(QString src, QString dst, bool matchCase, bool matchWord, int scope);
    void replaceAll(QString src, QString dst, bool matchCase, bool matchWord, int scope);

    void showAboutDialog();

    // Forwarded to the current editor
    void indent();
    void unindent();
    void comment();
    void uncomment();

    // Recent lists
    void openRecentFile();
    void openRecentProject();
    void updateRecentFileActions();

    void toogleBookmarkByCursor();
    void setFindNReplaceStartPosition(int pos);

    // Status bar
    void setStatusLineNumberVisible(bool visible);
    void setStatusLineNumber(int number);
    void setStatusCharNumberVisible(bool visible);
    void setStatusCharNumber(int number);
    void setStatusOverwriteModeVisible(bool visible);
    void setStatusOverwriteMode(bool mode);
    void setStatusProgressVisible(bool visible);
    void setStatusProgressShow();
    void setStatusProgressHide();
    void updateStatusProgress();
    void changeCurrentLine();

protected Q_SLOTS:
    void updateStatusProgressAppearance(int n);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void createToolBars();
    void createMenus();
    void createStatusBar();
    void readSettings();
    void writeSettings();
    void addToRecentFiles(const QString &fileName);
    void addToRecentProjects(const QString &fileName);
    bool closeAllTabs();
    void runFastSearch(const QString &text);

    // Project lifetime around the file commands (dodivez_files.cpp). A
    // project that cannot be written is never dropped without asking.
    bool closeCurrentProject();
    // Command-line paths: "vuzar" files as projects, anything else as a
    // document; "FILE:LINE" and "FILE:LINE:COLUMN" open FILE there unless a
    // file of that very name exists.
    void openStartPaths(const QStringList &paths);
    void saveProjectAtExit();
    bool writeNewProject(const QString &fileName, const QString &failureText);
    bool loadProjectFile(const QString &path);

    // Search engine (app/dodivez_search.cpp). findInFile: 1 when a hit was
    // found and handled, 0 when the file holds no further valid hit, -1 when
    // it cannot be read or opened.
    int findInFile(QString fileName, QString text, QString replacement, bool matchCase, bool matchWord,
                   bool replace, bool show);
    int replaceAllInFile(QString fileName, QString src, QString dst, bool matchCase, bool matchWord);
    void findInFiles(QStringList files, QString text, bool matchCase, bool matchWord, int outputWindow);
    QStringList scopeFiles(int scope);
    void stepThroughScope(const QString &src, const QString &dst, bool matchCase, bool matchWord, int scope,
                          bool replace);
    void findAllInScope(int scope, const QString &text, bool matchCase, bool matchWord, int outputWindow);

    // File actions, then the separator before the recent submenus
    QAction *newProjectAct = nullptr;
    QAction *newProjectFromFolderAct = nullptr;
    QAction *newFileAct = nullptr;
    QAction *openProjectAct = nullptr;
    QAction *openFileAct = nullptr;
    QAction *saveAct = nullptr;
    QAction *saveAsAct = nullptr;
    QAction *saveAllAct = nullptr;
    QAction *exitAct = nullptr;
    QAction *separatorAct = nullptr;

    enum { MaxRecentFiles = 5 };
    QAction *recentFileActs[MaxRecentFiles] = {};
    QAction *recentProjectActs[MaxRecentFiles] = {};

    QAction *copyAct = nullptr;
    QAction *cutAct = nullptr;
    QAction *pasteAct = nullptr;
    QAction *undoAct = nullptr;
    QAction *redoAct = nullptr;
    QAction *findAct = nullptr;
    QAction *fastSearchAct = nullptr;
    QComboBox *fastSearchBox = nullptr;

    QAction *indentAct = nullptr;
    QAction *unindentAct = nullptr;
    QAction *commentAct = nullptr;
    QAction *uncommentAct = nullptr;
    QAction *toggleBookmarkAct = nullptr;
    QAction *nextBookmarkAct = nullptr;
    QAction *prevBookmarkAct = nullptr;
    QAction *aboutAct = nullptr;

    QMenu *fileMenu = nullptr;
    QMenu *viewMenu = nullptr;
    QMenu *editMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QMenu *recentProjectsMenu = nullptr;
    QMenu *recentFilesMenu = nullptr;
    QToolBar *fileToolBar = nullptr;
    QToolBar *editToolBar = nullptr;
    QToolBar *formatToolBar = nullptr;

    MainView *view = nullptr;

    QDockWidget *projectDock = nullptr;
    Project *projectTree = nullptr;

    QDockWidget *outputDock = nullptr;
    Output *outputList = nullptr;

    FindResults *findResultTrees[2] = {};
    QDockWidget *findResultDocks[2] = {};

    int findResultWindow = 0;
    int findNReplaceStartPosition = 0;

    QDockWidget *fileExplorerDock = nullptr;
    FileExplorerPlane *fileExplorerPlane = nullptr;

    FindDialog *findNReplaceDialog = nullptr;

    QString workingDirectory;

    AboutDialog *aboutDialog = nullptr;

    QLabel *progressLabel = nullptr;
    QProgressBar *progressBar = nullptr;
    int step = 1;
    QTimer *progressTimer = nullptr;
    ClickableLabel *lineLabel = nullptr;
    QLabel *charLabel = nullptr;
    ClickableLabel *overwriteModeLabel = nullptr;

    // One user action in the fast-search box raises several signals.
    bool fastSearchPending = false;
    QString pendingFastSearch;
};

} // namespace ov
