#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QMainWindow;

namespace ov {

class CallGraphSource;
class MainView;
class Project;

// What the areas below the application need from the main window. The
// window implements it; the document area, the project tree, the call graph
// and the search windows reach the window only through it, so none of them
// depends on the application.
class Host
{
public:
    virtual ~Host() = default;

    // The window as a widget: the parent of dialogs, the owner of the status
    // bar, the receiver of connections.
    virtual QMainWindow *hostWindow() = 0;
    virtual MainView *mainView() const = 0;
    // The project tree; it exists while the window does, open or not.
    virtual Project *project() const = 0;
    // What the call graph reads when none is set on it: the project's code.
    virtual const CallGraphSource *callGraphSource() const = 0;

    // Documents. openFile is the user's command (the file joins the recent
    // files); the openFileAt forms show a file, opened in a tab if need be,
    // with the cursor on a 1-based line or at a character position.
    virtual bool openFile(QString name) = 0;
    virtual bool openFileAtLine(const QString &name, int line) = 0;
    virtual bool openFileAtPosition(const QString &name, int position) = 0;
    // Moves an open document to its new name, as the project renamed it.
    virtual bool renameFile(QString oldName, QString newName) = 0;
    // The function names of the last analysis, for completion.
    virtual void setFunctionNames(QStringList names) = 0;

    // The edit actions whose state the document area drives.
    virtual QAction *getCopyAction() const = 0;
    virtual QAction *getCutAction() const = 0;
    virtual QAction *getPasteAction() const = 0;
    virtual QAction *getSelectAllAction() const = 0;
    virtual QAction *getUndoAction() const = 0;
    virtual QAction *getRedoAction() const = 0;

    // The status bar.
    virtual void showStatusMessage(const QString &text, int timeout = 0) = 0;
    virtual void setStatusLineNumberVisible(bool visible) = 0;
    virtual void setStatusLineNumber(int number) = 0;
    virtual void setStatusCharNumberVisible(bool visible) = 0;
    virtual void setStatusCharNumber(int number) = 0;
    virtual void setStatusOverwriteModeVisible(bool visible) = 0;
    virtual void setStatusOverwriteMode(bool mode) = 0;
    virtual void setStatusTextFormatVisible(bool visible) = 0;
    virtual void setStatusTextFormat(const QString &encoding, const QString &lineEnding) = 0;
    // The busy indicator; an empty text restores its usual label.
    virtual void setStatusProgressShow() = 0;
    virtual void setStatusProgressHide() = 0;
    virtual void setStatusProgressText(const QString &text) = 0;

    // The search commands the find dialog runs.
    virtual void resetFindNReplacePosition() = 0;
    virtual void findNext(QString text, bool matchCase, bool matchWord, int scope) = 0;
    virtual void replaceNext(QString src, QString dst, bool matchCase, bool matchWord, int scope) = 0;
    virtual void replaceAll(QString src, QString dst, bool matchCase, bool matchWord, int scope) = 0;
    virtual void findInCurrentDocument(QString text, bool matchCase, bool matchWord, int outputWindow) = 0;
    virtual void findInAllOpenedDocuments(QString text, bool matchCase, bool matchWord, int outputWindow) = 0;
    virtual void findInProject(QString text, bool matchCase, bool matchWord, int outputWindow) = 0;
};

} // namespace ov

// Widgets that only know their parent find the host with qobject_cast.
#define ViziroHost_iid "org.viziro.Host/1.0"
Q_DECLARE_INTERFACE(ov::Host, ViziroHost_iid)
