#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <memory>

#include "host/host.h"

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
class CallGraphSource;
class ClickableLabel;
class FileExplorerPlane;
class FindDialog;
class FindResults;
class MainView;
class Output;
class Project;
class SourceEdit;
class SyntaxCheck;

// The main window: owns and wires every component; its slots are the
// commands of the menus and toolbars.
class DODIvez : public QMainWindow, public Host
{
    Q_OBJECT
    Q_INTERFACES(ov::Host)

public:
    explicit DODIvez(QString fileName, QWidget *parent = nullptr);
    // Opens every start path in turn (see openStartPaths).
    explicit DODIvez(const QStringList &startPaths, QWidget *parent = nullptr);
    ~DODIvez() override;

    // Hands the function names assembled after an analysis run to the
    // document area, which keeps them for its editors.
    void setFunctionNames(QStringList names) override;

    QMainWindow *hostWindow() override { return this; }
    MainView *mainView() const override { return view; }
    Project *project() const override { return projectTree; }
    const CallGraphSource *callGraphSource() const override;
    bool openFileAtLine(const QString &name, int line) override;
    bool openFileAtPosition(const QString &name, int position) override;
    void showStatusMessage(const QString &text, int timeout = 0) override;
    FindDialog *findDialog() const { return findNReplaceDialog; }
    FindResults *findResults(int n) const { return findResultTrees[n]; }
    Output *output() const { return outputList; }
    FileExplorerPlane *fileExplorer() const { return fileExplorerPlane; }
    AboutDialog *getAboutDialog() const { return aboutDialog; }
    SyntaxCheck *syntaxCheck() const { return syntaxChecking; }

    // The edit actions whose state the document area drives.
    QAction *getCopyAction() const override { return copyAct; }
    QAction *getCutAction() const override { return cutAct; }
    QAction *getPasteAction() const override { return pasteAct; }
    QAction *getSelectAllAction() const override { return selectAllAct; }
    QAction *getUndoAction() const override { return undoAct; }
    QAction *getRedoAction() const override { return redoAct; }

public Q_SLOTS:
    // File and project commands
    void newProject();
    void newProjectFromFolder();
    void newFile();
    void openProject();
    void openProject(QString name);
    void openFile();
    bool openFile(QString name) override;
    bool save();
    bool saveAs();
    void saveAll();
    void fileExit();
    bool renameFile(QString oldName, QString newName) override;
    void enableSaveActions(bool enable);

    // Search
    void find();
    void replace();
    void fastSearch(QString text);
    void setFindResultWindow(int n);
    int getFindResultWindow();
    void findInCurrentDocument(QString text, bool matchCase, bool matchWord, int outputWindow) override;
    void findInAllOpenedDocuments(QString text, bool matchCase, bool matchWord, int outputWindow) override;
    void findInProject(QString text, bool matchCase, bool matchWord, int outputWindow) override;
    void resetFindNReplacePosition() override;
    void findNext(QString text, bool matchCase, bool matchWord, int scope) override;
    void replaceNext(QString src, QString dst, bool matchCase, bool matchWord, int scope) override;
    void replaceAll(QString src, QString dst, bool matchCase, bool matchWord, int scope) override;

    void showAboutDialog();

    // Keyboard commands (app/dodivez_keys.cpp)
    void closeCurrentTab();
    void findNextAgain();
    void goToDeclaration();
    void nextTab();
    void previousTab();

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
    void setStatusLineNumberVisible(bool visible) override;
    void setStatusLineNumber(int number) override;
    void setStatusCharNumberVisible(bool visible) override;
    void setStatusCharNumber(int number) override;
    void setStatusOverwriteModeVisible(bool visible) override;
    void setStatusOverwriteMode(bool mode) override;
    // The current document's encoding and line-end style.
    void setStatusTextFormatVisible(bool visible) override;
    void setStatusTextFormat(const QString &encoding, const QString &lineEnding) override;
    void setStatusProgressVisible(bool visible);
    void setStatusProgressShow() override;
    void setStatusProgressHide() override;
    // The busy indicator's label; empty for its usual text.
    void setStatusProgressText(const QString &text) override;
    void updateStatusProgress();
    void changeCurrentLine();

protected Q_SLOTS:
    void updateStatusProgressAppearance(int n);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    // The keyboard commands beyond the menus' own and every shortcut.
    void createKeyActions();
    void assignShortcuts();
    void focusCurrentPage();
    void createToolBars();
    void createMenus();
    void createStatusBar();
    void readSettings();
    void writeSettings();
    void addToRecentFiles(const QString &fileName);
    void addToRecentProjects(const QString &fileName);
    bool closeAllTabs();
    // The file's editor, opened in a tab (not a recent file) if need be.
    SourceEdit *showSource(const QString &name);
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
    QAction *selectAllAct = nullptr;
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

    QAction *closeTabAct = nullptr;
    QAction *findNextAct = nullptr;
    QAction *replaceAct = nullptr;
    QAction *goToLineAct = nullptr;
    QAction *goToDeclarationAct = nullptr;
    QAction *nextTabAct = nullptr;
    QAction *previousTabAct = nullptr;
    // Whether F3 repeats the fast-search box's search or the dialog's.
    bool lastSearchInBox = false;

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

    SyntaxCheck *syntaxChecking = nullptr;
    std::unique_ptr<CallGraphSource> projectCallGraph;

    QLabel *progressLabel = nullptr;
    QProgressBar *progressBar = nullptr;
    int step = 1;
    QTimer *progressTimer = nullptr;
    ClickableLabel *lineLabel = nullptr;
    QLabel *charLabel = nullptr;
    ClickableLabel *overwriteModeLabel = nullptr;
    QLabel *encodingLabel = nullptr;
    QLabel *lineEndingLabel = nullptr;

    // One user action in the fast-search box raises several signals.
    bool fastSearchPending = false;
    QString pendingFastSearch;
};

} // namespace ov
