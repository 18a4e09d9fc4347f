#include "app/dodivez.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>

#include "app/aboutdialog.h"
#include "app/clickablelabel.h"
#include "editor/mainview.h"
#include "editor/recovery.h"
#include "editor/sourceedit.h"
#include "host/dialogs.h"
#include "host/resources.h"
#include "project/callgraphproject.h"
#include "project/fileexplorerplane.h"
#include "project/project.h"
#include "search/finddialog.h"
#include "search/findresults.h"
#include "search/output.h"
#include "search/syntaxcheck.h"

namespace ov {

namespace {

QIcon silk(const char *name)
{
    return QIcon(QStringLiteral(":/icons/silk/%1.png").arg(QLatin1String(name)));
}

QDockWidget *makeDock(QMainWindow *window, const QString &title, const char *icon, Qt::DockWidgetAreas areas)
{
    auto *dock = new QDockWidget(title, window);
    dock->setWindowIcon(silk(icon));
    dock->setAllowedAreas(areas);
    return dock;
}

} // namespace

DODIvez::DODIvez(QString fileName, QWidget *parent)
    : DODIvez(fileName.isEmpty() ? QStringList() : QStringList(fileName), parent)
{
}

DODIvez::DODIvez(const QStringList &startPaths, QWidget *parent)
    : QMainWindow(parent)
{
    initResources();
    setWindowIcon(QIcon(QStringLiteral(":/icons/Viziro_logo.png")));

    view = new MainView(this);
    setCentralWidget(view);

    projectDock = makeDock(this, QStringLiteral("Project Explorer"), "folder_table",
                           Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    projectTree = new Project(this, projectDock);
    projectTree->setObjectName(QStringLiteral("ProjectExplorer"));
    projectCallGraph = std::make_unique<ProjectCallGraphSource>(projectTree);
    projectDock->setWidget(projectTree);
    projectDock->setObjectName(QStringLiteral("ProjectExplorerDock"));
    addDockWidget(Qt::LeftDockWidgetArea, projectDock);

    for (int n = 0; n < 2; ++n) {
        QDockWidget *dock = makeDock(this, QStringLiteral("Find Results %1").arg(n + 1), "folder_find",
                                     Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
        findResultTrees[n] = new FindResults(this, dock);
        findResultTrees[n]->setObjectName(QStringLiteral("FindResultWindow%1").arg(n + 1));
        dock->setWidget(findResultTrees[n]);
        dock->setObjectName(QStringLiteral("FindResultDock%1").arg(n + 1));
        addDockWidget(Qt::BottomDockWidgetArea, dock);
        findResultDocks[n] = dock;
    }

    outputDock = makeDock(this, QStringLiteral("Output"), "application_xp_terminal",
                          Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    outputList = new Output(outputDock);
    outputList->setObjectName(QStringLiteral("Output"));
    outputDock->setWidget(outputList);
    outputDock->setObjectName(QStringLiteral("OutputDock"));
    addDockWidget(Qt::BottomDockWidgetArea, outputDock);

    fileExplorerDock = makeDock(this, QStringLiteral("File Explorer"), "folder_explore",
                                Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    fileExplorerPlane = new FileExplorerPlane(projectTree, fileExplorerDock);
    fileExplorerPlane->setObjectName(QStringLiteral("FileExplorer"));
    fileExplorerDock->setWidget(fileExplorerPlane);
    fileExplorerDock->setObjectName(QStringLiteral("FileExplorerDock"));
    addDockWidget(Qt::LeftDockWidgetArea, fileExplorerDock);

    fastSearchBox = new QComboBox();
    fastSearchBox->setEditable(true);
    fastSearchBox->setFixedWidth(150);
    fastSearchBox->setInsertPolicy(QComboBox::InsertAtTop);

    createStatusBar();
    connect(overwriteModeLabel, &ClickableLabel::clicked, view, &MainView::changeOverwriteMode);
    connect(projectTree, &Project::projectUpdated, view, &MainView::updateFunctionLists);

    createActions();
    createToolBars();
    createMenus();
    createKeyActions();
    updateRecentFileActions();

    syntaxChecking = new SyntaxCheck(this, outputList);
    editMenu->addSeparator();
    editMenu->addActions({syntaxChecking->checkProjectAction(), syntaxChecking->cancelAction()});

    resize(1000, 700); // until stored settings say otherwise
    readSettings();
    setWindowTitle(QStringLiteral("Viziro"));

    findNReplaceDialog = new FindDialog(this);
    aboutDialog = new AboutDialog(this);

    openStartPaths(startPaths);
    statusBar()->showMessage(QStringLiteral("Ready"), 3000);
    // Once the window is up: the unsaved changes of a session that ended
    // without closing.
    QTimer::singleShot(0, view, [this] { view->recovery()->recoverOrphans(); });
}

DODIvez::~DODIvez()
{
    saveProjectAtExit();
    writeSettings();
}

void DODIvez::createActions()
{
    struct Row {
        QAction **action;
        const char *text;
        const char *icon;
        const char *tip;
    };
    const Row rows[] = {
        {&newProjectAct, "New &Project", "application_view_tile", "Create a new empty project"},
        {&newProjectFromFolderAct, "New Project From Folder", "application_view_tile", "Create project from folder"},
        {&newFileAct, "&Add New File", "page_add", "Create a new file and add it to project"},
        {&openProjectAct, "Open Project", "folder_page", "Open project"},
        {&openFileAct, "&Open File", "folder_page", "Open file"},
        {&saveAct, "&Save", "disk", "Save current document"},
        {&saveAsAct, "Save &As...", nullptr, "Save current document as..."},
        {&saveAllAct, "Save All", "disk_multiple", "Save all opened documents"},
        {&exitAct, "E&xit", nullptr, "Exit program"},
        {&copyAct, "Copy", "page_copy", nullptr},
        {&cutAct, "Cut", "cut", nullptr},
        {&pasteAct, "Paste", "page_paste", nullptr},
        {&selectAllAct, "Select All", nullptr, nullptr},
        {&undoAct, "Undo", "arrow_undo", nullptr},
        {&redoAct, "Redo", "arrow_redo", nullptr},
        {&findAct, "Find", "folder_find", nullptr},
        {&indentAct, "Indent", "text_indent", nullptr},
        {&unindentAct, "Unindent", "text_indent_remove", nullptr},
        {&commentAct, "Comment", "comment", nullptr},
        {&uncommentAct, "Uncomment", "uncomment", nullptr},
        {&aboutAct, "About", "information", nullptr},
        {&toggleBookmarkAct, "Toggle Bookmark", "book_open", nullptr},
        {&nextBookmarkAct, "Next Bookmark", "book_next", nullptr},
        {&prevBookmarkAct, "Previous Bookmark", "book_previous", nullptr},
    };
    for (const Row &row : rows) {
        auto *action = new QAction(QString::fromLatin1(row.text), this);
        if (row.icon)
            action->setIcon(silk(row.icon));
        if (row.tip)
            action->setStatusTip(QString::fromLatin1(row.tip));
        *row.action = action;
    }

    connect(newProjectAct, &QAction::triggered, this, &DODIvez::newProject);
    connect(newProjectFromFolderAct, &QAction::triggered, this, &DODIvez::newProjectFromFolder);
    connect(newFileAct, &QAction::triggered, this, &DODIvez::newFile);
    connect(openProjectAct, &QAction::triggered, this, qOverload<>(&DODIvez::openProject));
    connect(openFileAct, &QAction::triggered, this, qOverload<>(&DODIvez::openFile));
    connect(saveAct, &QAction::triggered, this, &DODIvez::save);
    connect(saveAsAct, &QAction::triggered, this, &DODIvez::saveAs);
    connect(saveAllAct, &QAction::triggered, this, &DODIvez::saveAll);
    connect(exitAct, &QAction::triggered, this, &DODIvez::fileExit);
    connect(copyAct, &QAction::triggered, view, &MainView::copy);
    connect(cutAct, &QAction::triggered, view, &MainView::cut);
    connect(pasteAct, &QAction::triggered, view, &MainView::paste);
    connect(selectAllAct, &QAction::triggered, view, &MainView::selectAll);
    connect(undoAct, &QAction::triggered, view, &MainView::undo);
    connect(redoAct, &QAction::triggered, view, &MainView::redo);
    connect(findAct, &QAction::triggered, this, &DODIvez::find);
    connect(indentAct, &QAction::triggered, this, &DODIvez::indent);
    connect(unindentAct, &QAction::triggered, this, &DODIvez::unindent);
    connect(commentAct, &QAction::triggered, this, &DODIvez::comment);
    connect(uncommentAct, &QAction::triggered, this, &DODIvez::uncomment);
    connect(aboutAct, &QAction::triggered, this, &DODIvez::showAboutDialog);
    connect(toggleBookmarkAct, &QAction::triggered, this, &DODIvez::toogleBookmarkByCursor);
    connect(nextBookmarkAct, &QAction::triggered, projectTree, &Project::showNextBookmark);
    connect(prevBookmarkAct, &QAction::triggered, projectTree, &Project::showPrevBookmark);

    for (QAction *action : {copyAct, cutAct, pasteAct, selectAllAct, undoAct, redoAct})
        action->setEnabled(false);

    separatorAct = new QAction(this);
    separatorAct->setSeparator(true);
    for (int i = 0; i < MaxRecentFiles; ++i) {
        recentFileActs[i] = new QAction(this);
        recentFileActs[i]->setVisible(false);
        connect(recentFileActs[i], &QAction::triggered, this, &DODIvez::openRecentFile);
    }
    for (int i = 0; i < MaxRecentFiles; ++i) {
        recentProjectActs[i] = new QAction(this);
        recentProjectActs[i]->setVisible(false);
        connect(recentProjectActs[i], &QAction::triggered, this, &DODIvez::openRecentProject);
    }
}

void DODIvez::createToolBars()
{
    fileToolBar = addToolBar(QStringLiteral("File Toolbar"));
    fileToolBar->setObjectName(QStringLiteral("FileToolBar"));
    fileToolBar->addActions({newProjectAct, newProjectFromFolderAct, newFileAct, openProjectAct, openFileAct,
                             saveAct, saveAllAct});

    editToolBar = addToolBar(QStringLiteral("Edit Toolbar"));
    editToolBar->setObjectName(QStringLiteral("EditToolBar"));
    editToolBar->addActions({cutAct, copyAct, pasteAct});
    editToolBar->addSeparator();
    editToolBar->addActions({undoAct, redoAct});
    editToolBar->addSeparator();
    editToolBar->addAction(findAct);
    fastSearchAct = editToolBar->addWidget(fastSearchBox);
    connect(fastSearchBox, &QComboBox::textActivated, this, &DODIvez::runFastSearch);
    connect(fastSearchBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { runFastSearch(fastSearchBox->itemText(index)); });

    formatToolBar = addToolBar(QStringLiteral("Format Toolbar"));
    formatToolBar->setObjectName(QStringLiteral("FormatToolBar"));
    formatToolBar->addActions({indentAct, unindentAct});
    formatToolBar->addSeparator();
    formatToolBar->addActions({commentAct, uncommentAct});
    formatToolBar->addSeparator();
    formatToolBar->addActions({toggleBookmarkAct, prevBookmarkAct, nextBookmarkAct});
}

void DODIvez::runFastSearch(const QString &text)
{
    // Enter in the box both changes the current item and activates it, and
    // the search itself may insert the text: search once per user action.
    if (fastSearchPending && text == pendingFastSearch)
        return;
    fastSearchPending = true;
    pendingFastSearch = text;
    QTimer::singleShot(0, this, [this] { fastSearchPending = false; });
    fastSearch(text);
}

void DODIvez::createMenus()
{
    fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->addActions({newProjectAct, newProjectFromFolderAct, newFileAct});
    fileMenu->addSeparator();
    fileMenu->addActions({openProjectAct, openFileAct});
    fileMenu->addSeparator();
    fileMenu->addActions({saveAct, saveAsAct, saveAllAct});
    fileMenu->addAction(separatorAct);
    recentProjectsMenu = fileMenu->addMenu(QStringLiteral("Recent Projects"));
    for (QAction *action : recentProjectActs)
        recentProjectsMenu->addAction(action);
    recentFilesMenu = fileMenu->addMenu(QStringLiteral("Recent Files"));
    for (QAction *action : recentFileActs)
        recentFilesMenu->addAction(action);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAct);

    editMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    editMenu->addActions({undoAct, redoAct});
    editMenu->addSeparator();
    editMenu->addActions({cutAct, copyAct, pasteAct, selectAllAct});
    editMenu->addSeparator();
    editMenu->addAction(findAct);
    editMenu->addSeparator();
    editMenu->addActions({indentAct, unindentAct});
    editMenu->addSeparator();
    editMenu->addActions({commentAct, uncommentAct});
    editMenu->addSeparator();
    editMenu->addActions({toggleBookmarkAct, prevBookmarkAct, nextBookmarkAct});

    viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    QMenu *docks = viewMenu->addMenu(QStringLiteral("Dock Windows"));
    auto addToggle = [docks](QDockWidget *dock, const char *icon) {
        QAction *toggle = dock->toggleViewAction();
        toggle->setIcon(silk(icon));
        docks->addAction(toggle);
    };
    addToggle(projectDock, "folder_table");
    addToggle(fileExplorerDock, "folder_explore");
    addToggle(outputDock, "application_xp_terminal");
    docks->addSeparator();
    addToggle(findResultDocks[0], "folder_find");
    addToggle(findResultDocks[1], "folder_find");
    QMenu *toolbars = viewMenu->addMenu(QStringLiteral("Toolbars"));
    toolbars->addActions({fileToolBar->toggleViewAction(), editToolBar->toggleViewAction(),
                          formatToolBar->toggleViewAction()});

    helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    helpMenu->addAction(aboutAct);
}

void DODIvez::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setMaximumHeight(20);
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;

    progressLabel = new QLabel(QStringLiteral("Updating..."), bar);
    progressLabel->setObjectName(QStringLiteral("progressLabel"));
    progressLabel->setAlignment(centred);

    progressBar = new QProgressBar(bar);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressBar->setFixedWidth(80);

    lineLabel = new ClickableLabel(bar);
    lineLabel->setObjectName(QStringLiteral("lineLabel"));
    lineLabel->setText(QStringLiteral("Ln 0"));
    charLabel = new QLabel(QStringLiteral("Ch 0"), bar);
    charLabel->setObjectName(QStringLiteral("charLabel"));
    overwriteModeLabel = new ClickableLabel(bar);
    overwriteModeLabel->setObjectName(QStringLiteral("overwriteModeLabel"));
    overwriteModeLabel->setText(QStringLiteral("INS"));
    encodingLabel = new QLabel(bar);
    encodingLabel->setObjectName(QStringLiteral("encodingLabel"));
    lineEndingLabel = new QLabel(bar);
    lineEndingLabel->setObjectName(QStringLiteral("lineEndingLabel"));
    for (QLabel *label : {static_cast<QLabel *>(lineLabel), charLabel, static_cast<QLabel *>(overwriteModeLabel),
                          encodingLabel, lineEndingLabel}) {
        label->setAlignment(centred);
        label->setFrameShape(QFrame::Box);
    }
    lineLabel->setFixedWidth(80);
    charLabel->setFixedWidth(80);
    overwriteModeLabel->setFixedWidth(30);

    for (QWidget *w : {static_cast<QWidget *>(progressLabel), static_cast<QWidget *>(progressBar),
                       static_cast<QWidget *>(lineLabel), static_cast<QWidget *>(charLabel),
                       static_cast<QWidget *>(overwriteModeLabel), static_cast<QWidget *>(encodingLabel),
                       static_cast<QWidget *>(lineEndingLabel)}) {
        bar->addPermanentWidget(w, 0);
        w->hide();
    }

    // The animation only runs while the indicator shows: an idle editor
    // must not wake up every 10 ms.
    progressTimer = new QTimer(this);
    progressTimer->setInterval(10);
    connect(progressBar, &QProgressBar::valueChanged, this, &DODIvez::updateStatusProgressAppearance);
    connect(progressTimer, &QTimer::timeout, this, &DODIvez::updateStatusProgress);
    connect(lineLabel, &ClickableLabel::clicked, this, &DODIvez::changeCurrentLine);
}

void DODIvez::saveAll()
{
    view->saveAll();
    projectTree->startUpdating();
}

void DODIvez::fileExit()
{
    if (closeAllTabs())
        close();
}

bool DODIvez::closeAllTabs()
{
    return view->closeAll();
}

void DODIvez::closeEvent(QCloseEvent *event)
{
    if (closeAllTabs() && closeCurrentProject())
        event->accept();
    else
        event->ignore();
}

void DODIvez::enableSaveActions(bool enable)
{
    saveAct->setEnabled(enable);
    saveAsAct->setEnabled(enable);
    saveAllAct->setEnabled(enable);
}

// The current-file and open-files scopes need no project.
void DODIvez::find()
{
    findNReplaceDialog->show();
    findNReplaceDialog->showFind(QString());
}

void DODIvez::replace()
{
    findNReplaceDialog->show();
    findNReplaceDialog->showReplace(QString());
}

void DODIvez::showAboutDialog()
{
    aboutDialog->showAbout();
}

void DODIvez::indent()
{
    if (SourceEdit *editor = view->getCurrentSource())
        editor->indent();
}

void DODIvez::unindent()
{
    if (SourceEdit *editor = view->getCurrentSource())
        editor->unindent();
}

void DODIvez::comment()
{
    if (SourceEdit *editor = view->getCurrentSource())
        editor->comment();
}

void DODIvez::uncomment()
{
    if (SourceEdit *editor = view->getCurrentSource())
        editor->uncomment();
}

void DODIvez::toogleBookmarkByCursor()
{
    SourceEdit *editor = view->getCurrentSource();
    if (!editor)
        return;
    if (editor->hasBookmarkInCurrentLiane())
        editor->removeBookmarkFromCurrentLine();
    else
        editor->addBookmarkToCurrentLine();
}

void DODIvez::setFunctionNames(QStringList names)
{
    view->setFunctionNames(names);
}

const CallGraphSource *DODIvez::callGraphSource() const
{
    return projectCallGraph.get();
}

SourceEdit *DODIvez::showSource(const QString &name)
{
    return view->addSource(name) ? view->getSource(name) : nullptr;
}

bool DODIvez::openFileAtLine(const QString &name, int line)
{
    SourceEdit *editor = showSource(name);
    if (editor)
        editor->goToLine(line);
    return editor != nullptr;
}

bool DODIvez::openFileAtPosition(const QString &name, int position)
{
    SourceEdit *editor = showSource(name);
    if (editor)
        editor->goToPosition(position);
    return editor != nullptr;
}

void DODIvez::showStatusMessage(const QString &text, int timeout)
{
    statusBar()->showMessage(text, timeout);
}

void DODIvez::setStatusLineNumberVisible(bool visible)
{
    lineLabel->setVisible(visible);
}

void DODIvez::setStatusLineNumber(int number)
{
    lineLabel->setText(QStringLiteral("Ln %1").arg(number));
}

void DODIvez::setStatusCharNumberVisible(bool visible)
{
    charLabel->setVisible(visible);
}

void DODIvez::setStatusCharNumber(int number)
{
    charLabel->setText(QStringLiteral("Ch %1").arg(number));
}

void DODIvez::setStatusOverwriteModeVisible(bool visible)
{
    overwriteModeLabel->setVisible(visible);
}

void DODIvez::setStatusOverwriteMode(bool mode)
{
    overwriteModeLabel->setText(mode ? QStringLiteral("OVR") : QStringLiteral("INS"));
}

void DODIvez::setStatusTextFormatVisible(bool visible)
{
    encodingLabel->setVisible(visible);
    lineEndingLabel->setVisible(visible);
}

void DODIvez::setStatusTextFormat(const QString &encoding, const QString &lineEnding)
{
    encodingLabel->setText(QLatin1Char(' ') + encoding + QLatin1Char(' '));
    lineEndingLabel->setText(QLatin1Char(' ') + lineEnding + QLatin1Char(' '));
}

void DODIvez::setStatusProgressVisible(bool visible)
{
    progressLabel->setVisible(visible);
    progressBar->setVisible(visible);
    if (visible)
        progressTimer->start();
    else
        progressTimer->stop();
}

void DODIvez::setStatusProgressShow()
{
    setStatusProgressVisible(true);
}

void DODIvez::setStatusProgressHide()
{
    setStatusProgressVisible(false);
}

void DODIvez::setStatusProgressText(const QString &text)
{
    progressLabel->setText(text.isEmpty() ? QStringLiteral("Updating...") : text);
}

void DODIvez::updateStatusProgress()
{
    progressBar->setValue(progressBar->value() + step);
}

void DODIvez::updateStatusProgressAppearance(int n)
{
    if (n == 100 || n == 0)
        step = -step;
    if (n == 100)
        progressBar->setInvertedAppearance(!progressBar->invertedAppearance());
}

void DODIvez::changeCurrentLine()
{
    SourceEdit *editor = view->getCurrentSource();
    if (!editor)
        return;
    const int lines = editor->document()->blockCount();
    // Cancel answers the initial value, 0, which names no line.
    const int value = Dialogs::getInt(this, QStringLiteral("Go To Line"),
                                      QStringLiteral("Line Number (1 - %1):").arg(lines), 0, -2147483647,
                                      2147483647, 1);
    editor->goToLine(value - 1);
}

} // namespace ov
