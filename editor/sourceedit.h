#pragma once

#include <QPlainTextEdit>
#include <QPoint>
#include <QString>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include "editor/core/completionwords.h"
#include "editor/core/documentfile.h"
#include "editor/core/editingkeys.h"

class QAction;
class QComboBox;
class QCompleter;
class QKeyEvent;
class QMenu;
class QStringListModel;
class QTimer;

namespace ov {

class AddInfoPanel;
class Host;
class LongLineView;
class ScopeFinder;
class TextMatcher;
class MainView;
class SyntaxMarks;
class Project;
struct LoadedFile;

// The editor of one file: loads it at construction, saves it back in the
// encoding and line-end style it was found in, tracks its dirty state in
// the window title and reports the cursor to the main window.
class SourceEdit : public QPlainTextEdit
{
    Q_OBJECT
    // The gutter reads the line geometry and reports bookmark clicks.
    friend class AddInfoPanel;

public:
    // `readBefore`, when given, is the file as read before: it is not read again.
    SourceEdit(QString fileName, MainView *parent, const LoadedFile *readBefore = nullptr);
    ~SourceEdit() override;

    QString getFileName() const;
    QString getFilePath() const;
    QString getFileDir() const;

    bool isDirty() const { return dirty; }
    bool getUndoState() const { return undoState; }
    bool getRedoState() const { return redoState; }
    bool getCopyState() const { return copyState; }
    // How the file was found on disk; a save writes it back the same way.
    TextFormat textFormat() const { return file.format(); }
    // False when the file could not be read at construction.
    bool isLoaded() const { return file.isLoaded(); }

    void goToPosition(int pos);
    // Goes to the declaration of the project function named at the cursor.
    void goToDeclarationAtCursor();
    void selectRange(int start, int end);
    // Whether the selection is exactly one hit of `matcher`.
    bool selectionIsHit(const TextMatcher &matcher) const;

    // The gutter's width (AddInfoPanel).
    int addInfoPanelWidth() const;
    // Hands this file's bookmark lines to the project.
    void syncBookmarks();
    // The edits are dropped: the project gets back the bookmarks of the
    // file as last read or saved.
    void discardBookmarks();
    // The line beside a point of the gutter; invalid below the last line.
    QTextBlock addInfoPanelBlockAt(const QPoint &pos) const;
    // The syntax errors marked in the gutter.
    SyntaxMarks *syntaxMarks();

public Q_SLOTS:
    bool rename(QString newFileName);
    // False when the file was not written (the reason was shown); the
    // document then stays dirty.
    bool saveDocument();
    bool saveDocumentAs();
    void paste2();
    void updatePosInfo();
    void findNext(QString text);
    bool replaceNext(QString src, QString dst);
    void indent();
    void unindent();
    void comment();
    void uncomment();
    int findScopeForCursor(int pos, int &scopeStart, int &scopeEnd, int scopeType);
    int findScopeTypeForCursor(int pos, int &startScope, int &endScope, int &scopeType);
    void getScope(QTextEdit::ExtraSelection &scopeStartSelection, QTextEdit::ExtraSelection &scopeEndSelection);
    void addBookmarkToCurrentLine();
    void removeBookmarkFromCurrentLine();
    bool hasBookmarkInCurrentLiane();
    void goToLine(int lineNumber);
    void setOverwrite(bool mode);
    void updateFunctionList();

Q_SIGNALS:
    void bookmarksChanged();
    void overwriteModeChanged(bool mode);
    // The document was written to its file.
    void saved();

protected:
    bool event(QEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    // A quote or bracket composed by the input method (a dead key, for
    // one) follows the same rules as one typed directly.
    void inputMethodEvent(QInputMethodEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    // Dropped files go to the document area, which opens them.
    bool canInsertFromMimeData(const QMimeData *source) const override;
    // Pasted and dropped text comes in as text only, its tabs expanded.
    void insertFromMimeData(const QMimeData *source) override;

private Q_SLOTS:
    void updateAddInfoPanelWidth(int newBlockCount);
    void updateAddInfoPanel(const QRect &rect, int dy);
    void highlightCurrentLine();
    void setDirty(bool mod);
    void setUndoState(bool state);
    void setRedoState(bool state);
    void setCopyState(bool state);
    void openIncludeFile();
    void goToDeclaration();
    void showCallGraph();
    void goToFunction(QString text);
    void insertCompletion(QString completion);

private:
    void loadFile(const LoadedFile *readBefore);
    void updateTitle();
    void applyExtraSelections();
    Host *mainWindow() const;
    Project *project() const; // null when no project is open

    // Editing keys (smart Home/End, closers, indentation on Enter, ...).
    void handleEditingKey(QKeyEvent *e);
    // Completion: true when the visible popup takes the key itself.
    bool completerTakesKey(QKeyEvent *e);
    void updateCompletionPopup(QKeyEvent *e, bool shortcut);
    void fillFunctionList();
    void updateCompletionWords();
    // Recomputes the bracket marks around the cursor.
    void updateScopeSelections();
    void restoreBookmarks();

    QComboBox *functionList = nullptr;
    AddInfoPanel *infoPanel = nullptr;
    QString fileName;
    MainView *view = nullptr;
    bool dirty = false;
    bool undoState = false;
    bool redoState = false;
    bool copyState = false;
    QPoint mousePos;
    QPoint globalMousePos;
    QAction *openIncludeAction = nullptr;
    QString includeFileName;
    QAction *goToDeclarationAction = nullptr;
    QString navigationWord;
    QAction *showCallGraphAction = nullptr;
    QCompleter *completer = nullptr;
    QStringListModel *completerModel = nullptr;
    QTextEdit::ExtraSelection scopeStartSelection;
    QTextEdit::ExtraSelection scopeEndSelection;
    QTextEdit::ExtraSelection currentLineSelection;
    bool updatingFunctionList = false;

    // Closers, brace blocks and indentation (editor/core/editingkeys.h).
    EditingKeys editingKeys{[this](const QTextCursor &cursor) { setTextCursor(cursor); }};

    // Bracket index behind the scope marks (sourceedit_scope.cpp).
    ScopeFinder *scopeFinder = nullptr;
    ScopeFinder *scopeIndex();

    // --- bookmarks (sourceedit_bookmarks.cpp; the gutter is AddInfoPanel) ---
public:
    // 0-based numbers of the bookmarked lines, as handed to the project.
    QList<int> bookmarkLines() const;

private:
    void bookmarksEdited();
    // The store follows lines added and removed above bookmarks.
    void startFollowingBookmarks();
    void followBookmarks(int position, int removed, int added);
    void noteBookmarkToggled();
    QList<int> savedBookmarks; // as in the file as last read or saved
    int lastBlockCount = 0;
    bool linesMovedSinceSave = false;

    // --- keys and cursor moves (sourceedit_editing.cpp, sourceedit_words.cpp) ---
    // Home, End, Insert and word moves.
    bool handleMovementKey(QKeyEvent *e);
    // Word moves that take a "$" and the name after it as one word.
    bool handleVariableWordMove(QKeyEvent *e);
    // After a double-click: a selected variable name takes its "$" along.
    void selectVariableName();
    // To `position`, the anchor kept or not, without laying out a long line.
    void moveCursorTo(int position, QTextCursor::MoveMode mode);

    // --- the file on disk (DocumentFile; dialogs in sourceedit_disk.cpp) ---
public:
    using DiskState = DocumentFile::DiskState;
    static constexpr DiskState DiskUnchanged = DocumentFile::DiskUnchanged;
    static constexpr DiskState DiskChanged = DocumentFile::DiskChanged;
    static constexpr DiskState DiskMissing = DocumentFile::DiskMissing;
    // Whether another program changed or removed the file since; a new
    // time stamp over the same bytes is no change.
    // `digest`, if given, receives a digest of what the file holds now.
    DiskState checkDisk(QByteArray *digest = nullptr);
    // A look made elsewhere found the same bytes under a new stamp.
    void diskTouched(qint64 size, const QDateTime &modified) { file.touched(fileName, size, modified); }
    // The bytes last read or written, as a recovery journal names them.
    DiskStamp diskStamp() const { return file.stamp(); }
    // Reads the file again, keeping the cursor's line and the bookmarks.
    bool reloadFromDisk();
    bool diskMissingReported = false;

Q_SIGNALS:
    // The path or the recorded disk state changed: watchers re-read them.
    void diskStateChanged();
    // The encoding or line-end style changed (a reload, a save as UTF-8).
    void textFormatChanged();

private:
    // The file was read or written: watchers look again.
    void noteDiskState();
    // The document's text as a save writes it.
    QString textForDisk() const;
    DocumentFile file;
    // Before a save: asks when the file was changed by another program.
    bool mayOverwriteDisk();
    // Before a save: asks to switch to UTF-8 when the text holds a
    // character that `written`'s encoding cannot; false to cancel.
    bool mayEncodeAs(TextFormat *written);

    // ---- display of large documents (sourceedit_display.cpp) ----
protected:
    void paintEvent(QPaintEvent *e) override;

private:
    // Colours the lines about to be painted in `rect`. Returns the long
    // lines among them with where they are drawn.
    QList<QPair<QTextBlock, QPointF>> prepareBlocks(const QRect &rect);
    // The base resize handling, without laying out every line again when
    // only the width changed in a large document.
    void resizeTextArea(QResizeEvent *e);
    // ---- end of display ----

    // ---- long lines (LongLineView) ----
    // Lines over LongLineLayout::Limit characters are never laid out by the
    // text engine; these hide the base versions, which would shape the
    // whole line, and answer from the character grid there.
public:
    QRect cursorRect() const;
    QRect cursorRect(const QTextCursor &cursor) const;
    QTextCursor cursorForPosition(const QPoint &pos) const;
    void centerCursor();
    // The word at or just before `cursor`, selected.
    QTextCursor wordUnderCursor(QTextCursor cursor) const;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void doSetTextCursor(const QTextCursor &cursor) override;

private:
    friend class LongLineView;
    LongLineView *longLines = nullptr;
    bool cursorInLongLine() const;
    // ---- end of long lines ----

    // ---- navigation (sourceedit_navigation.cpp) ----
    CompletionWords completionWords;
    QString completionPrefixAtCursor() const;
    bool inOpeningTag() const;
    // Offers "Open" for include forms beyond a plain quoted name.
    void offerInclude(const QString &line, QMenu *menu, QAction *before);
    // The files the offered include names, when known without lookup.
    QStringList includeCandidates;
    // ---- end of navigation ----
};

} // namespace ov
