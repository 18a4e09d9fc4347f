#include "editor/mainview.h"
#include "editor/filechangemonitor.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTabBar>
#include <QUrl>
#include <utility>

#include "analysis/callgraphfunction.h"
#include "analysis/callgraphviewer.h"
#include "app/dialogs.h"
#include "app/resources.h"
#include "app/dodivez.h"
#include "editor/core/editorlog.h"
#include "editor/pendingsource.h"
#include "editor/phpsyntaxhighlighter.h"
#include "editor/recovery.h"
#include "editor/sourceedit.h"

namespace ov {

namespace {

const QLatin1String SourceEditTag("SourceEdit");
const QLatin1String CallGraphTag("CallGraph");
const QLatin1String UriList("text/uri-list");
// Above this the user is asked first: the document is built in one go.
const qint64 LargeFileSize = 20 * 1024 * 1024;
const qint64 BinaryProbeSize = 8192;

// A carriage return that no line feed follows (the probe may cut the last one off).
bool hasLoneCarriageReturn(QByteArrayView head)
{
    for (qsizetype i = head.indexOf('\r'); i >= 0 && i + 1 < head.size(); i = head.indexOf('\r', i + 1)) {
        if (head.at(i + 1) != '\n')
            return true;
    }
    return false;
}

} // namespace

MainView::MainView(DODIvez *parent)
    : QTabWidget(parent), mainWindow(parent)
{
    initResources();
    setMovable(true);
    setTabsClosable(false);
    connect(this, &QTabWidget::tabCloseRequested, this, &MainView::closeTab);
    connect(this, &QTabWidget::currentChanged, this, &MainView::updateCurrentTab);
    setAcceptDrops(true);
    createCallGraphPage();
    fileChangeMonitor = new FileChangeMonitor(this);
    documentRecovery = new DocumentRecovery(this);

    saveAction = new QAction(QIcon(QStringLiteral(":/icons/silk/disk.png")), QStringLiteral("Save"), this);
    closeAction = new QAction(QStringLiteral("Close"), this);
    closeAllButThisAction = new QAction(QStringLiteral("Close All But This"), this);
    copyFullPathAction = new QAction(QStringLiteral("Copy Full Path"), this);
    openContainingFolderAction = new QAction(QStringLiteral("Open Containing Folder"), this);
    connect(saveAction, &QAction::triggered, this, &MainView::save);
    connect(closeAction, &QAction::triggered, this, &MainView::closeThis);
    connect(closeAllButThisAction, &QAction::triggered, this, &MainView::closeAllButThis);
    connect(copyFullPathAction, &QAction::triggered, this, &MainView::copyFilePath);
    connect(openContainingFolderAction, &QAction::triggered, this, &MainView::openFileFolder);

    highlighter = new PHPSyntaxHighlighter(nullptr);
    highlighter->setParent(this);
    tabMenu = new QMenu(this);
    tabBar()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tabBar(), &QWidget::customContextMenuRequested, this, &MainView::showTabContextMenu);
    tabBar()->installEventFilter(this);
}

bool MainView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tabBar() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const int idx = tabBar()->tabAt(mouse->position().toPoint());
        if (mouse->button() == Qt::MiddleButton && idx >= 0) {
            closeTab(idx); // asks about unsaved changes as Close does
            return true;
        }
    }
    return QTabWidget::eventFilter(watched, event);
}

void MainView::createCallGraphPage()
{
    callGraphViewer = new CallGraphViewer(mainWindow, this);
    callGraphView = new QGraphicsView(callGraphViewer, this);
    callGraphView->setRenderHint(QPainter::Antialiasing);
    callGraphView->setWhatsThis(CallGraphTag);
    callGraphView->setWindowTitle(QStringLiteral("Call Graph"));
    callGraphView->hide();
}

void MainView::setFunctionNames(QStringList names)
{
    functionNames = names;
}

bool MainView::showCallGraph(PHPFunctionDefinition fn)
{
    if (!callGraphViewer)
        createCallGraphPage();
    int page = -1;
    for (int i = 0; i < count() && page < 0; ++i) {
        if (widget(i)->whatsThis() == CallGraphTag)
            page = i;
    }
    if (page < 0)
        page = addTab(callGraphView, QStringLiteral("Call Graph"));
    callGraphViewer->drawCallGraph(fn);
    if (CallGraphFunction *root = callGraphViewer->rootFunction())
        callGraphView->ensureVisible(root, 50, 50);
    setCurrentIndex(page);
    return true;
}

bool MainView::addSource(QString fileName)
{
    if (fileName.isEmpty())
        return false;
    const int open = indexOfSource(fileName);
    SourceEdit *editor = nullptr;
    if (open >= 0) {
        setCurrentIndex(open);
        editor = getCurrentSource();
    } else {
        editor = createSource(fileName);
        if (!editor)
            return false;
        setCurrentWidget(editor);
    }
    // The keyboard follows the document the user asked for, from wherever
    // the request came (a tree, a result list, a menu). In a window not
    // shown yet this makes the editor the one that gets the keyboard
    // when the window does show.
    if (editor)
        editor->setFocus(Qt::OtherFocusReason);
    return true;
}

SourceEdit *MainView::addSourceInBackground(const QString &fileName)
{
    return fileName.isEmpty() ? nullptr : createSource(fileName);
}

void MainView::beginManyChanges()
{
    if (manyChanges)
        return;
    manyChanges = true;
    updatesBeforeManyChanges = updatesEnabled();
    tabBarBeforeManyChanges = !tabBar()->isHidden();
    setUpdatesEnabled(false);
    // A hidden tab bar defers its layout, which otherwise walks every tab
    // on each tab added or renamed.
    tabBar()->hide();
}

void MainView::endManyChanges()
{
    if (!manyChanges)
        return;
    manyChanges = false;
    if (std::exchange(tabsHiddenMeanwhile, false)) {
        for (int i = 0; i < count(); ++i) {
            if (!tabBar()->isTabVisible(i))
                tabBar()->setTabVisible(i, true);
        }
    }
    updateTabNames();
    if (std::exchange(currentChangedMeanwhile, false))
        updateCurrentTab(currentIndex());
    tabBar()->setVisible(tabBarBeforeManyChanges);
    setUpdatesEnabled(updatesBeforeManyChanges);
}

SourceEdit *MainView::createSource(const QString &fileName)
{
    if (!mayOpen(fileName))
        return nullptr;

    auto *editor = new SourceEdit(fileName, this);
    addPage(editor, QFileInfo(fileName).fileName(), fileName);
    setUpSource(editor);
    return editor;
}

void MainView::setUpSource(SourceEdit *editor)
{
    if (mainWindow) {
        connect(editor, &QPlainTextEdit::copyAvailable, mainWindow->getCopyAction(), &QAction::setEnabled);
        connect(editor, &QPlainTextEdit::copyAvailable, mainWindow->getCutAction(), &QAction::setEnabled);
        connect(editor, &QPlainTextEdit::undoAvailable, mainWindow->getUndoAction(), &QAction::setEnabled);
        connect(editor, &QPlainTextEdit::redoAvailable, mainWindow->getRedoAction(), &QAction::setEnabled);
    }
    // Only the changed tab: with hundreds open, walking them all per edit adds up.
    connect(editor, &QPlainTextEdit::textChanged, this, [this, editor] { updateTabName(indexOf(editor)); });
    connect(editor, &SourceEdit::textFormatChanged, this, [this, editor] { showTextFormat(editor); });
    fileChangeMonitor->watch(editor);
    connect(editor, &SourceEdit::saved, this, [this, editor] { Q_EMIT sourceSaved(editor->getFilePath()); });
    documentRecovery->attach(editor);
}

bool MainView::mayOpen(const QString &fileName)
{
    const QFileInfo info(fileName);
    QFile probe(fileName);
    QByteArray head;
    QString error;
    if (info.isDir())
        error = QStringLiteral("Is a directory");
    else if (info.exists() && !info.isFile())
        error = QStringLiteral("Not a regular file"); // a pipe or device would block or never end
    else if (!probe.open(QIODevice::ReadOnly))
        error = probe.errorString();
    if (error.isEmpty()) {
        head = probe.read(BinaryProbeSize);
        if (probe.error() != QFileDevice::NoError)
            error = probe.errorString();
    }
    if (!error.isEmpty()) {
        Dialogs::warning(this, QStringLiteral("Application"),
                         QStringLiteral("Cannot read file %1:\n%2.").arg(fileName, error));
        return false;
    }
    return mayOpenContent(fileName, info.size(), head);
}

bool MainView::mayOpenContent(const QString &fileName, qint64 size, QByteArrayView head)
{
    head = head.first(qMin(head.size(), BinaryProbeSize));
    const auto ask = [this](const QString &text) {
        return Dialogs::question(this, QStringLiteral("Application"), text + QStringLiteral("\nOpen it anyway?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    if (size > LargeFileSize
        && !ask(QStringLiteral("File %1 is %2 MB large: opening it may take a while.")
                    .arg(fileName).arg(size / (1024 * 1024))))
        return false;
    // The editor drops carriage returns and expands tabs, so saving would
    // change a file that is not text, or join lines that end in a carriage
    // return alone. A NUL byte outside UTF-16 text means it is not text.
    const bool utf16 = head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF");
    if (!utf16 && head.contains('\0'))
        return ask(QStringLiteral("File %1 does not look like text: saving it from the editor may damage it.")
                       .arg(fileName));
    if (!utf16 && hasLoneCarriageReturn(head))
        return ask(QStringLiteral("File %1 has lines that end in a carriage return alone: saving it from the "
                                  "editor would join them.")
                       .arg(fileName));
    return true;
}

SourceEdit *MainView::getSource(QString fileName)
{
    const int idx = indexOfSource(fileName);
    return idx >= 0 ? getSource(idx) : nullptr;
}

SourceEdit *MainView::getCurrentSource()
{
    return getSource(currentIndex());
}

SourceEdit *MainView::getSource(int idx)
{
    if (pendingSource(idx))
        return realize(idx);
    return realizedSource(idx);
}

int MainView::getNumTabs()
{
    return count();
}

bool MainView::closeTab(int idx)
{
    QWidget *page = widget(idx);
    if (!page)
        return true;
    SourceEdit *editor = realizedSource(idx);
    const bool pending = pendingSource(idx);
    if (editor)
        editor->syncBookmarks();
    if (editor || pending) {
        if (pending || editor->isDirty()) {
            // The question, and a failed save's warning, show the area as it stands.
            const bool batch = manyChanges;
            if (batch)
                endManyChanges();
            // The user sees the document asked about, so Save writes the file they looked at.
            setCurrentIndex(idx);
            const QString path = sourcePath(idx);
            const auto answer = Dialogs::warningAbout(
                this, QStringLiteral("Save document"), QStringLiteral("Do you want save changes?"),
                QStringLiteral("%1\nin %2").arg(QFileInfo(path).fileName(),
                                                QDir::toNativeSeparators(QFileInfo(path).absolutePath())),
                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::NoButton);
            // A failed save was reported by the editor; its edits stay in the tab.
            // A tab without its editor yet (made current, it may have one now)
            // is saved by the editor it stands for.
            const bool kept = answer == QMessageBox::Cancel || answer == QMessageBox::NoButton
                              || (answer == QMessageBox::Save && !getSource(idx)->saveDocument());
            if (batch)
                beginManyChanges();
            if (answer == QMessageBox::Discard && editor)
                editor->discardBookmarks();
            if (kept) {
                updateTabNames();
                return false;
            }
        }
    }
    removePage(idx);
    updateTabNames();
    return true;
}

void MainView::removePage(int idx)
{
    QWidget *page = widget(idx);
    removeTab(idx);
    if (page->whatsThis() == SourceEditTag || page->whatsThis() == PendingSource::Tag) {
        page->hide();
        page->deleteLater();
    }
}

void MainView::saveAll()
{
    for (int i = 0; i < count(); ++i) {
        if (SourceEdit *editor = getSource(i))
            editor->saveDocument();
    }
    updateTabNames();
}

bool MainView::closeAll()
{
    // Each close would lay out and colour the next tab in turn: the area
    // settles once, at the end.
    beginManyChanges();
    bool closed = true;
    for (int i = count() - 1; i >= 0 && closed; --i)
        closed = closeTab(i);
    endManyChanges();
    return closed;
}

void MainView::updateTabNames()
{
    for (int i = 0; i < count(); ++i)
        updateTabName(i);
}

void MainView::updateTabName(int idx)
{
    if (manyChanges)
        return; // all at once at the end
    SourceEdit *editor = realizedSource(idx);
    PendingSource *pending = pendingSource(idx);
    if (!editor && !pending)
        return;
    const QString name = editor ? editor->getFileName() : pending->getFileName();
    const bool dirty = editor ? editor->isDirty() : pending->isDirty();
    const QString text = dirty ? name + QLatin1Char('*') : name;
    if (tabText(idx) != text)
        setTabText(idx, text);
    // Save As gives the editor a new path: keep the tip true to it.
    const QString tip = QDir::toNativeSeparators(sourcePath(idx));
    if (tabToolTip(idx) != tip)
        setTabToolTip(idx, tip);
}

void MainView::undo()
{
    if (SourceEdit *editor = getCurrentSource())
        editor->undo();
}

void MainView::redo()
{
    if (SourceEdit *editor = getCurrentSource())
        editor->redo();
}

void MainView::cut()
{
    if (SourceEdit *editor = getCurrentSource())
        editor->cut();
}

void MainView::copy()
{
    if (SourceEdit *editor = getCurrentSource())
        editor->copy();
}

void MainView::paste()
{
    if (SourceEdit *editor = getCurrentSource())
        editor->paste2();
}

void MainView::selectAll()
{
    if (SourceEdit *editor = getCurrentSource())
        editor->selectAll();
}

bool MainView::renameSource(QString oldFileName, QString newFileName)
{
    const int i = indexOfSource(oldFileName);
    if (i < 0)
        return false;
    getSource(i)->rename(newFileName);
    setTabText(i, QFileInfo(newFileName).fileName());
    setTabToolTip(i, QDir::toNativeSeparators(newFileName));
    updateTabNames();
    return true;
}

void MainView::updateCurrentTab(int index)
{
    if (manyChanges) {
        currentChangedMeanwhile = true; // only the tab current at the end counts
        return;
    }
    SourceEdit *editor = getSource(index);
    // Shown or hidden once: hiding and showing them again would lay out the
    // main window, which asks every open page for its size.
    if (mainWindow) {
        mainWindow->setStatusLineNumberVisible(editor);
        mainWindow->setStatusCharNumberVisible(editor);
        mainWindow->setStatusOverwriteModeVisible(editor);
        mainWindow->setStatusTextFormatVisible(editor);
    }
    if (!editor)
        return;
    highlighter->setDocument(editor->document());
    if (!mainWindow)
        return;
    mainWindow->getCopyAction()->setEnabled(editor->getCopyState());
    mainWindow->getCutAction()->setEnabled(editor->getCopyState());
    mainWindow->getUndoAction()->setEnabled(editor->getUndoState());
    mainWindow->getRedoAction()->setEnabled(editor->getRedoState());
    mainWindow->getPasteAction()->setEnabled(true);
    mainWindow->getSelectAllAction()->setEnabled(true);
    // The labels still show the previous editor's cursor otherwise.
    const QTextCursor cursor = editor->textCursor();
    mainWindow->setStatusLineNumber(cursor.blockNumber() + 1);
    mainWindow->setStatusCharNumber(cursor.positionInBlock());
    mainWindow->setStatusOverwriteMode(editor->overwriteMode());
    showTextFormat(editor);
}

void MainView::showTextFormat(SourceEdit *editor)
{
    if (!mainWindow || editor != currentWidget())
        return;
    const TextFormat format = editor->textFormat();
    mainWindow->setStatusTextFormat(encodingName(format.encoding), lineEndingName(format.lineEnding));
}

void MainView::showTabContextMenu(const QPoint &pos)
{
    tabMenu->clear();
    const int idx = tabBar()->tabAt(pos);
    if (idx < 0)
        return;
    if (getSource(idx)) {
        tabMenu->addAction(saveAction);
        tabMenu->addAction(copyFullPathAction);
        tabMenu->addAction(openContainingFolderAction);
        tabMenu->addSeparator();
    }
    tabMenu->addAction(closeAction);
    tabMenu->addAction(closeAllButThisAction);
    closeAllButThisAction->setEnabled(count() > 1);
    setCurrentIndex(idx);
    tabMenu->exec(tabBar()->mapToGlobal(pos));
}

void MainView::changeOverwriteMode()
{
    if (SourceEdit *editor = getCurrentSource())
        editor->setOverwrite(!editor->overwriteMode());
}

void MainView::updateFunctionLists()
{
    // Editors still to be made fill their list when they are.
    for (int i = 0; i < count(); ++i) {
        if (SourceEdit *editor = realizedSource(i))
            editor->updateFunctionList();
    }
}

void MainView::save()
{
    if (SourceEdit *editor = getCurrentSource())
        editor->saveDocument();
}

void MainView::closeThis()
{
    if (currentWidget())
        closeTab(currentIndex());
}

void MainView::closeAllButThis()
{
    // Each question makes its tab current: the tab to keep is the one
    // current now. Closing from the last, only tabs after it are gone when
    // its index comes up, so the index still holds.
    const int keep = currentIndex();
    QWidget *keepPage = currentWidget();
    for (int i = count() - 1; i >= 0; --i) {
        if (i == keep)
            continue;
        if (!closeTab(i))
            break;
    }
    if (indexOf(keepPage) >= 0)
        setCurrentWidget(keepPage);
}

void MainView::copyFilePath()
{
    if (SourceEdit *editor = getCurrentSource())
        QApplication::clipboard()->setText(QDir::toNativeSeparators(editor->getFilePath()), QClipboard::Clipboard);
}

void MainView::openFileFolder()
{
    if (SourceEdit *editor = getCurrentSource()) {
        const QString folder = QFileInfo(editor->getFileDir()).absoluteFilePath();
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
            qCWarning(lcEditor, "cannot open the folder %s", qUtf8Printable(folder));
    }
}

void MainView::paintEvent(QPaintEvent *)
{
    for (int i = 0; i < count(); ++i) {
        const QString title = widget(i)->windowTitle();
        const QString text = title.isEmpty() ? QStringLiteral("unnamed") : title;
        if (tabText(i) != text)
            setTabText(i, text);
    }
}

void MainView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData() && event->mimeData()->hasFormat(UriList))
        event->acceptProposedAction();
}

void MainView::dropEvent(QDropEvent *event)
{
    if (!event->mimeData() || !event->mimeData()->hasFormat(UriList))
        return;
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl &url : urls)
        addSource(url.toLocalFile());
    event->acceptProposedAction();
}

// ---- tabs whose editor is made when first needed ----

void MainView::addPage(QWidget *page, const QString &label, const QString &fileName)
{
    const int idx = addTab(page, label);
    setTabToolTip(idx, QDir::toNativeSeparators(fileName));
    // Each tab added lays out all the visible ones: tabs added in a batch
    // stay out of that until its end, which lays them out once.
    if (manyChanges && idx != currentIndex()) {
        tabBar()->setTabVisible(idx, false);
        tabsHiddenMeanwhile = true;
    }
}

bool MainView::addPendingSource(PendingSource *pending)
{
    const QString fileName = pending->getFilePath();
    const QByteArray &bytes = pending->loadedFile().bytes;
    if (fileName.isEmpty() || !mayOpenContent(fileName, bytes.size(), bytes)) {
        delete pending;
        return false;
    }
    addPage(pending, pending->windowTitle(), fileName);
    // Shown some way other than by becoming current: its editor is due.
    connect(pending, &PendingSource::shown, pending, [this, pending] {
        if (!manyChanges && currentWidget() == pending)
            updateCurrentTab(currentIndex());
    }, Qt::QueuedConnection);
    fileChangeMonitor->watch(pending);
    return true;
}

SourceEdit *MainView::realizedSource(int idx) const
{
    QWidget *page = widget(idx);
    return page && page->whatsThis() == SourceEditTag ? static_cast<SourceEdit *>(page) : nullptr;
}

PendingSource *MainView::pendingSource(int idx) const
{
    QWidget *page = widget(idx);
    return page && page->whatsThis() == PendingSource::Tag ? static_cast<PendingSource *>(page) : nullptr;
}

QString MainView::sourcePath(int idx) const
{
    if (SourceEdit *editor = realizedSource(idx))
        return editor->getFilePath();
    if (PendingSource *pending = pendingSource(idx))
        return pending->getFilePath();
    return QString();
}

int MainView::indexOfSource(const QString &fileName) const
{
    for (int i = 0; i < count(); ++i) {
        if (sourcePath(i) == fileName && !fileName.isEmpty())
            return i;
    }
    return -1;
}

SourceEdit *MainView::realize(int idx)
{
    PendingSource *pending = pendingSource(idx);
    auto *editor = new SourceEdit(pending->getFilePath(), this, &pending->loadedFile());
    setUpSource(editor);
    pending->replayInto(editor->document());

    // The editor takes the page's place; the current tab stays current.
    const bool current = currentIndex() == idx;
    const QString tip = tabToolTip(idx);
    {
        const QSignalBlocker blocker(this);
        removeTab(idx);
        insertTab(idx, editor, editor->windowTitle());
        setTabToolTip(idx, tip);
        if (current)
            setCurrentIndex(idx);
    }
    pending->hide();
    pending->deleteLater();
    updateTabName(idx);
    return editor;
}

// ---- end of tabs made when needed ----

} // namespace ov
