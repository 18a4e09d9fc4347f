#pragma once

#include <QStringList>
#include <QTabWidget>

#include "analysis/core/phprecords.h"

class QAction;
class QGraphicsView;
class QMenu;

namespace ov {

class CallGraphViewer;
class DocumentRecovery;
class Host;
class FileChangeMonitor;
class PendingSource;
struct LoadedFile;
class PHPSyntaxHighlighter;
class SourceEdit;

// The document area: one tab per open file plus at most one call-graph
// page. Pages are told apart by their what's-this tag ("SourceEdit",
// "CallGraph"), editors by their file path.
class MainView : public QTabWidget
{
    Q_OBJECT

public:
    // Without a host (as in some tests) the area stands alone.
    explicit MainView(Host *host);

    Host *getMainWindow() const { return mainWindow; }
    void setFunctionNames(QStringList names);
    QStringList getFunctionNames() const { return functionNames; }
    QGraphicsView *getCallGraphView() const { return callGraphView; }
    CallGraphViewer *getCallGraphViewer() const { return callGraphViewer; }
    // The one highlighter, attached to the current editor's document.
    PHPSyntaxHighlighter *syntaxHighlighter() const { return highlighter; }
    // Journals the editors' unsaved changes and offers those a crash left.
    DocumentRecovery *recovery() const { return documentRecovery; }

public Q_SLOTS:
    bool showCallGraph(PHPFunctionDefinition fn);
    bool addSource(QString fileName);
    SourceEdit *getSource(QString fileName);
    SourceEdit *getCurrentSource();
    SourceEdit *getSource(int idx);
    int getNumTabs();
    // False only when the user cancelled, or when saving failed: the
    // edits are then kept in their tab.
    bool closeTab(int idx);
    void saveAll();
    bool closeAll();
    void updateTabNames();
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    void selectAll();
    bool renameSource(QString oldFileName, QString newFileName);
    void updateCurrentTab(int index);
    void showTabContextMenu(const QPoint &pos);
    void changeOverwriteMode();
    void updateFunctionLists();

Q_SIGNALS:
    // An editor wrote its document to `fileName`.
    void sourceSaved(const QString &fileName);

protected Q_SLOTS:
    void save();
    void closeThis();
    void closeAllButThis();
    void copyFilePath();
    void openFileFolder();

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // A middle click on a tab closes it.
    bool eventFilter(QObject *watched, QEvent *event) override;

public:
    // Opens a file that is not open yet in a new last tab without making
    // that tab current (the first tab of an empty area becomes current all
    // the same): many files open at once without each being laid out and
    // highlighted in turn. Null when the file cannot be opened.
    SourceEdit *addSourceInBackground(const QString &fileName);
    // Around many tabs opened or changed in a row: the tab bar is laid out
    // and the area repainted once, at the end, instead of once per tab.
    void beginManyChanges();
    void endManyChanges();

    // ---- tabs whose editor is made when first needed ----
    // A Replace All opens hundreds of files: each gets a light page that
    // holds its replaced text (PendingSource). Its editor is built in its
    // place when the tab is shown or getSource() asks for it; the accessors
    // below never build one.

    // Puts `page`, a file that is not open yet, in a new last tab behind
    // the current one. False when the user declines to open the file (see
    // mayOpenContent); the page is then deleted.
    bool addPendingSource(PendingSource *page);
    // The editor of tab `idx` if it has been made, else null.
    SourceEdit *realizedSource(int idx) const;
    // The page of tab `idx` if its editor is still to be made, else null.
    PendingSource *pendingSource(int idx) const;
    // The file of tab `idx`, made or not; empty for other pages.
    QString sourcePath(int idx) const;
    // The first tab showing `fileName`, or -1.
    int indexOfSource(const QString &fileName) const;

private:
    SourceEdit *realize(int idx);
    // Asks about files that should not be opened lightly, from their size
    // and first bytes; true to go on.
    bool mayOpenContent(const QString &fileName, qint64 size, QByteArrayView head);
    void setUpSource(SourceEdit *editor);
    void addPage(QWidget *page, const QString &label, const QString &fileName);
    bool tabsHiddenMeanwhile = false;
    // ---- end of tabs made when needed ----

private:
    SourceEdit *createSource(const QString &fileName);
    void updateTabName(int idx);
    // The editor's encoding and line ends in the status bar, if it is current.
    void showTextFormat(SourceEdit *editor);
    void createCallGraphPage();
    // Tells why a file cannot or should not be opened; true to go on.
    bool mayOpen(const QString &fileName);
    void removePage(int idx);

    Host *mainWindow = nullptr;
    CallGraphViewer *callGraphViewer = nullptr;
    QGraphicsView *callGraphView = nullptr;
    QStringList functionNames;
    PHPSyntaxHighlighter *highlighter = nullptr;
    QMenu *tabMenu = nullptr;
    // Notices files changed by other programs.
    FileChangeMonitor *fileChangeMonitor = nullptr;
    DocumentRecovery *documentRecovery = nullptr;
    QAction *saveAction = nullptr;
    QAction *closeAction = nullptr;
    QAction *closeAllButThisAction = nullptr;
    QAction *copyFullPathAction = nullptr;
    QAction *openContainingFolderAction = nullptr;
    bool manyChanges = false;
    bool updatesBeforeManyChanges = true;
    bool tabBarBeforeManyChanges = true;
    bool currentChangedMeanwhile = false;
};

} // namespace ov
