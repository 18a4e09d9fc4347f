#include "editor/sourceedit.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFileInfo>
#include <QMainWindow>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>
#include <QToolTip>

#include "editor/addinfopanel.h"
#include "editor/longlineview.h"
#include "editor/mainview.h"
#include "editor/pendingsource.h"
#include "host/dialogs.h"
#include "host/host.h"
#include "project/project.h"

namespace ov {

namespace {

const int FunctionListHeight = 22;

// Restores the override cursor however the scope is left.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

SourceEdit::SourceEdit(QString fileName, MainView *parent, const LoadedFile *readBefore)
    : QPlainTextEdit(parent), view(parent)
{
    setWhatsThis(QStringLiteral("SourceEdit"));

    // The font is set before the text arrives: set after, it would lay out
    // the whole document again. Set before the children exist, it reaches
    // them without a font change each (the function list's is costly).
    QFont font(QStringLiteral("Courier"), 10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    setFont(font);
    longLines = new LongLineView(this);
    longLines->install();
    // A tab stands where loading would put its four spaces at a line's start.
    setTabStopDistance(4 * QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')));

    infoPanel = new AddInfoPanel(this);
    functionList = new QComboBox(this);
    functionList->setFixedHeight(FunctionListHeight);
    connect(this, &QPlainTextEdit::blockCountChanged, this, &SourceEdit::updateAddInfoPanelWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, &SourceEdit::updateAddInfoPanel);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &SourceEdit::highlightCurrentLine);
    connect(this, &QPlainTextEdit::modificationChanged, this, &SourceEdit::setDirty);
    connect(functionList, &QComboBox::currentTextChanged, this, &SourceEdit::goToFunction);
    updateAddInfoPanelWidth(0);
    highlightCurrentLine();
    setLineWrapMode(QPlainTextEdit::NoWrap);

    this->fileName = fileName;
    loadFile(readBefore);

    setMouseTracking(true);
    dirty = false;
    updateTitle();
    updateAddInfoPanelWidth(0);

    openIncludeAction = new QAction(nullptr);
    goToDeclarationAction = new QAction(nullptr);
    showCallGraphAction = new QAction(nullptr);
    connect(openIncludeAction, &QAction::triggered, this, &SourceEdit::openIncludeFile);
    connect(goToDeclarationAction, &QAction::triggered, this, &SourceEdit::goToDeclaration);
    connect(showCallGraphAction, &QAction::triggered, this, &SourceEdit::showCallGraph);

    if (project()) {
        fillFunctionList();
        restoreBookmarks();
    }
    startFollowingBookmarks();

    QTextCursor start = textCursor();
    start.setPosition(0);
    setTextCursor(start);
    ensureCursorVisible();
    setFocus();

    QPalette pal = palette();
    pal.setBrush(QPalette::Inactive, QPalette::Highlight, QBrush(Qt::lightGray));
    pal.setBrush(QPalette::Inactive, QPalette::HighlightedText, QBrush(QColor(Qt::darkGray).darker(20)));
    setPalette(pal);

    completer = new QCompleter(this);
    completerModel = new QStringListModel(completer);
    QStringList names = view ? view->getFunctionNames() : QStringList();
    sortForCompleter(names);
    completerModel->setStringList(names);
    completer->setModel(completerModel);
    completer->setModelSorting(QCompleter::CaseInsensitivelySortedModel);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setWrapAround(false);
    completer->setWidget(this);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    connect(completer, qOverload<const QString &>(&QCompleter::activated), this, &SourceEdit::insertCompletion);

    connect(this, &QPlainTextEdit::copyAvailable, this, &SourceEdit::setCopyState);
    connect(this, &QPlainTextEdit::undoAvailable, this, &SourceEdit::setUndoState);
    connect(this, &QPlainTextEdit::redoAvailable, this, &SourceEdit::setRedoState);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &SourceEdit::updatePosInfo);
    // A click or a move out of an automatic pair forgets its closer.
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] { editingKeys.prunePendingPairs(textCursor().position()); });
    if (Host *w = mainWindow())
        connect(this, &SourceEdit::overwriteModeChanged, w->hostWindow(),
                [w](bool on) { w->setStatusOverwriteMode(on); });
}

SourceEdit::~SourceEdit()
{
    // The actions have no parent: they are shown in menus built on demand.
    delete openIncludeAction;
    delete goToDeclarationAction;
    delete showCallGraphAction;
}

void SourceEdit::loadFile(const LoadedFile *readBefore)
{
    QByteArray bytes;
    QString error;
    if (readBefore) {
        bytes = readBefore->bytes;
    } else if (!readFileBytes(fileName, &bytes, &error)) {
        Dialogs::warning(this, QStringLiteral("Application"),
                         QStringLiteral("Cannot read file %1:\n%2.").arg(fileName, error));
        return;
    }
    WaitCursor wait;
    QString text = file.read(fileName, bytes);
    if (readBefore)
        file.setReadStamp(readBefore->size, readBefore->modified);
    noteDiskState();
    bytes.clear();
    setPlainText(expandTabs(text));
    text.clear();
    dirty = false;
}

QString SourceEdit::getFileName() const { return QFileInfo(fileName).fileName(); }
QString SourceEdit::getFilePath() const { return QFileInfo(fileName).filePath(); }
QString SourceEdit::getFileDir() const { return QFileInfo(fileName).path(); }

Host *SourceEdit::mainWindow() const
{
    return view ? view->getMainWindow() : nullptr;
}

Project *SourceEdit::project() const
{
    Host *w = mainWindow();
    Project *p = w ? w->project() : nullptr;
    return p && p->getRootItem() ? p : nullptr;
}

bool SourceEdit::rename(QString newFileName)
{
    fileName = newFileName;
    // The file moved with its content: only the watched path changes.
    file.rename(newFileName);
    updateTitle();
    Q_EMIT diskStateChanged();
    return true;
}

bool SourceEdit::saveDocument()
{
    if (fileName.isEmpty())
        return saveDocumentAs();

    if (!mayOverwriteDisk())
        return false;

    const TextFormat before = file.format();
    TextFormat written = before;
    if (!mayEncodeAs(&written))
        return false;

    QString error;
    bool ok;
    {
        WaitCursor wait;
        ok = file.write(fileName, textForDisk(), &written, &error);
    }
    if (!ok) {
        Dialogs::warning(this, QStringLiteral("Warning"),
                         QStringLiteral("Cannot write file %1:\n%2.").arg(fileName, error));
        return false;
    }
    if (!(before == written))
        Q_EMIT textFormatChanged();
    noteDiskState();
    document()->setModified(false);
    updateTitle();
    Q_EMIT saved();
    return true;
}

bool SourceEdit::saveDocumentAs()
{
    // The dialog opens in the document's folder with its name filled in.
    const QString answer = Dialogs::getSaveFileName(this, QStringLiteral("Save file"), getFilePath());
    if (answer.isEmpty())
        return false;
    const QString previous = fileName;
    fileName = answer;
    if (!saveDocument()) {
        // The document still lives where it was.
        fileName = previous;
        updateTitle();
        return false;
    }
    return true;
}

void SourceEdit::updateTitle()
{
    setWindowTitle(dirty ? getFileName() + QLatin1Char('*') : getFileName());
}

void SourceEdit::setDirty(bool mod)
{
    dirty = mod;
    updateTitle();
}

void SourceEdit::setUndoState(bool state) { undoState = state; }
void SourceEdit::setRedoState(bool state) { redoState = state; }
void SourceEdit::setCopyState(bool state) { copyState = state; }

void SourceEdit::updatePosInfo()
{
    const QTextCursor cursor = textCursor();
    if (Host *w = mainWindow()) {
        w->setStatusLineNumber(cursor.blockNumber() + 1);
        w->setStatusCharNumber(cursor.positionInBlock());
    }
    if (cursorInLongLine()) {
        longLines->scheduleScopeMarks();
    } else {
        updateScopeSelections();
        applyExtraSelections();
    }
    if (project())
        updateCompletionWords();
}

void SourceEdit::highlightCurrentLine()
{
    if (!isReadOnly()) {
        currentLineSelection.format.setBackground(QColor(Qt::lightGray).lighter(120));
        currentLineSelection.format.setProperty(QTextFormat::FullWidthSelection, true);
        // Held at the line's start, the mark changes only when the line does
        // (placing it in a long line costs a pass over the line).
        currentLineSelection.cursor = QTextCursor(textCursor().block());
    }
    applyExtraSelections();
}

void SourceEdit::applyExtraSelections()
{
    QList<QTextEdit::ExtraSelection> selections;
    if (!isReadOnly())
        selections.append(currentLineSelection);
    selections.append(scopeStartSelection);
    selections.append(scopeEndSelection);
    setExtraSelections(selections);
}

void SourceEdit::mouseMoveEvent(QMouseEvent *e)
{
    QToolTip::hideText();
    mousePos = e->position().toPoint();
    globalMousePos = e->globalPosition().toPoint();
    if (!longLines->handleMouse(e))
        QPlainTextEdit::mouseMoveEvent(e);
}

void SourceEdit::resizeEvent(QResizeEvent *e)
{
    resizeTextArea(e);
    const QRect cr = contentsRect();
    infoPanel->setGeometry(QRect(cr.left(), cr.top(), addInfoPanelWidth(), cr.height()));
    int width = cr.width();
    if (verticalScrollBar()->isVisible())
        width -= verticalScrollBar()->width();
    functionList->setGeometry(QRect(cr.left(), cr.top(), width, functionList->height()));
}

bool SourceEdit::canInsertFromMimeData(const QMimeData *source) const
{
    if (!source || source->hasFormat(QStringLiteral("text/uri-list")))
        return false;
    return QPlainTextEdit::canInsertFromMimeData(source);
}

void SourceEdit::insertFromMimeData(const QMimeData *source)
{
    // Only the text goes in, from data of our own: the base reads other
    // formats too, and reading those of an X selection without an owner
    // (a middle click with nothing selected anywhere) crashes it.
    if (!source || !source->hasText())
        return;
    const QString text = source->text();
    if (text.isEmpty())
        return;
    QMimeData plain;
    plain.setText(expandTabs(text));
    QPlainTextEdit::insertFromMimeData(&plain);
}

void SourceEdit::goToPosition(int pos)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(qBound(0, pos, document()->characterCount() - 1));
    setTextCursor(cursor);
    centerCursor();
    setFocus();
}

void SourceEdit::goToLine(int lineNumber)
{
    const QTextBlock block = lineNumber < 0 ? QTextBlock() : document()->findBlockByLineNumber(lineNumber);
    if (!block.isValid())
        return;
    QTextCursor cursor = textCursor();
    cursor.setPosition(block.position());
    setTextCursor(cursor);
    centerCursor();
    setFocus();
}

void SourceEdit::setOverwrite(bool mode)
{
    setOverwriteMode(mode);
    Q_EMIT overwriteModeChanged(mode);
}

} // namespace ov
