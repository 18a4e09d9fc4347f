// The main window: its structure and texts, the start path, the status bar,
// "Go To Line" and closing with modified documents.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>

#include "app/aboutdialog.h"
#include "app/dodivez.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "project/project.h"
#include "search/finddialog.h"
#include "testutil.h"

using namespace ov;

namespace {

// Entries of a menu or toolbar: texts, "-" for separators, ">Title" for submenus.
QStringList entries(const QList<QAction *> &actions)
{
    QStringList out;
    for (QAction *a : actions) {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else if (a->menu())
            out << QLatin1Char('>') + a->text();
        else if (!a->text().isEmpty())
            out << a->text();
    }
    return out;
}

QAction *action(DODIvez *w, const QString &text)
{
    for (QAction *a : w->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly))
        if (a->text() == text)
            return a;
    return nullptr;
}

} // namespace

class DODIvezTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        ovtest::writeFile(dir.filePath(name), bytes);
        return dir.filePath(name);
    }

private Q_SLOTS:
    void initTestCase() { ovtest::isolate(); }
    void init() { Dialogs::clear(); }

    void docks()
    {
        DODIvez w{QString()};
        QCOMPARE(w.windowTitle(), QStringLiteral("Viziro"));
        QVERIFY(!w.windowIcon().isNull());
        struct Dock {
            const char *object, *title, *content;
            Qt::DockWidgetAreas allowed;
            Qt::DockWidgetArea area;
        };
        const Qt::DockWidgetAreas sides = Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea;
        const Qt::DockWidgetAreas rows = Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea;
        const Dock expected[] = {
            {"ProjectExplorerDock", "Project Explorer", "ProjectExplorer", sides, Qt::LeftDockWidgetArea},
            {"FindResultDock1", "Find Results 1", "FindResultWindow1", rows, Qt::BottomDockWidgetArea},
            {"FindResultDock2", "Find Results 2", "FindResultWindow2", rows, Qt::BottomDockWidgetArea},
            {"OutputDock", "Output", "Output", rows, Qt::BottomDockWidgetArea},
            {"FileExplorerDock", "File Explorer", "FileExplorer", sides, Qt::LeftDockWidgetArea},
        };
        for (const Dock &d : expected) {
            auto *dock = w.findChild<QDockWidget *>(d.object);
            QVERIFY2(dock, d.object);
            QCOMPARE(dock->windowTitle(), QString::fromLatin1(d.title));
            QCOMPARE(dock->widget()->objectName(), QString::fromLatin1(d.content));
            QCOMPARE(dock->allowedAreas(), d.allowed);
            QCOMPARE(w.dockWidgetArea(dock), d.area);
            QVERIFY(!dock->windowIcon().isNull());
        }
        QVERIFY(qobject_cast<MainView *>(w.centralWidget()));
        QVERIFY(!w.project()->getRootItem());
    }

    void actionsMenusAndToolbars()
    {
        DODIvez w{QString()};
        const QStringList menus = entries(w.menuBar()->actions());
        QCOMPARE(menus, QStringList({">&File", ">&Edit", ">&View", ">&Help"}));
        const QList<QAction *> top = w.menuBar()->actions();
        QCOMPARE(entries(top[0]->menu()->actions()),
                 QStringList({"New &Project", "New Project From Folder", "&Add New File", "-", "Open Project",
                              "&Open File", "-", "&Save", "Save &As...", "Save All", "-", ">Recent Projects",
                              ">Recent Files", "-", "E&xit"}));
        QCOMPARE(entries(top[1]->menu()->actions()),
                 QStringList({"Undo", "Redo", "-", "Cut", "Copy", "Paste", "-", "Find", "-", "Indent", "Unindent",
                              "-", "Comment", "Uncomment", "-", "Toggle Bookmark", "Previous Bookmark",
                              "Next Bookmark"}));
        const QList<QAction *> viewMenu = top[2]->menu()->actions();
        QCOMPARE(entries(viewMenu), QStringList({">Dock Windows", ">Toolbars"}));
        QCOMPARE(entries(viewMenu[0]->menu()->actions()),
                 QStringList({"Project Explorer", "File Explorer", "Output", "-", "Find Results 1", "Find Results 2"}));
        QCOMPARE(entries(viewMenu[1]->menu()->actions()),
                 QStringList({"File Toolbar", "Edit Toolbar", "Format Toolbar"}));
        QCOMPARE(entries(top[3]->menu()->actions()), QStringList({"About"}));

        const QList<QToolBar *> bars = w.findChildren<QToolBar *>();
        QCOMPARE(bars.size(), 3);
        QCOMPARE(bars[0]->objectName(), QStringLiteral("FileToolBar"));
        QCOMPARE(bars[0]->windowTitle(), QStringLiteral("File Toolbar"));
        QCOMPARE(entries(bars[0]->actions()), QStringList({"New &Project", "New Project From Folder", "&Add New File",
                                                           "Open Project", "&Open File", "&Save", "Save All"}));
        QCOMPARE(bars[1]->objectName(), QStringLiteral("EditToolBar"));
        QCOMPARE(entries(bars[1]->actions()),
                 QStringList({"Cut", "Copy", "Paste", "-", "Undo", "Redo", "-", "Find"}));
        QCOMPARE(bars[1]->actions().size(), 9); // and the fast-search box
        QCOMPARE(bars[2]->objectName(), QStringLiteral("FormatToolBar"));
        QCOMPARE(entries(bars[2]->actions()),
                 QStringList({"Indent", "Unindent", "-", "Comment", "Uncomment", "-", "Toggle Bookmark",
                              "Previous Bookmark", "Next Bookmark"}));

        // Status tips, icons and the starting state of the edit actions.
        QCOMPARE(action(&w, "New &Project")->statusTip(), QStringLiteral("Create a new empty project"));
        QCOMPARE(action(&w, "&Add New File")->statusTip(), QStringLiteral("Create a new file and add it to project"));
        QCOMPARE(action(&w, "Save &As...")->statusTip(), QStringLiteral("Save current document as..."));
        QCOMPARE(action(&w, "E&xit")->statusTip(), QStringLiteral("Exit program"));
        QVERIFY(action(&w, "Save &As...")->icon().isNull());
        for (const char *text : {"Copy", "Cut", "Paste", "Undo", "Redo"}) {
            QVERIFY2(!action(&w, text)->isEnabled(), text);
            QVERIFY(!action(&w, text)->icon().isNull());
        }
        for (const char *text : {"Uncomment", "Toggle Bookmark", "About", "Find"})
            QVERIFY2(action(&w, text)->isEnabled() && !action(&w, text)->icon().isNull(), text);
        for (QAction *a : w.findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY(a->shortcut().isEmpty());

        w.enableSaveActions(false);
        QVERIFY(!action(&w, "&Save")->isEnabled() && !action(&w, "Save All")->isEnabled());
    }

    void statusBarStartsWithReadyOnly()
    {
        DODIvez w{QString()};
        w.show();
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("Ready"));
        QCOMPARE(w.statusBar()->maximumHeight(), 20);
        for (const char *name : {"progressLabel", "progressBar", "lineLabel", "charLabel", "overwriteModeLabel"})
            QVERIFY2(!w.findChild<QWidget *>(name)->isVisible(), name);
        auto *line = w.findChild<QLabel *>("lineLabel");
        QCOMPARE(line->text(), QStringLiteral("Ln 0"));
        QCOMPARE(line->frameShape(), QFrame::Box);
        QCOMPARE(line->minimumWidth(), 80);
        QCOMPARE(w.findChild<QLabel *>("overwriteModeLabel")->maximumWidth(), 30);
        QCOMPARE(w.findChild<QLabel *>("progressLabel")->text(), QStringLiteral("Updating..."));
    }

    void busyIndicator()
    {
        DODIvez w{QString()};
        w.show();
        auto *bar = w.findChild<QProgressBar *>("progressBar");
        QTimer *timer = nullptr;
        for (QTimer *t : w.findChildren<QTimer *>())
            if (t->interval() == 10)
                timer = t;
        QVERIFY(timer);
        QVERIFY(!timer->isActive()); // an idle window does not tick

        w.setStatusProgressShow();
        QVERIFY(bar->isVisible() && w.findChild<QLabel *>("progressLabel")->isVisible());
        QVERIFY(timer->isActive());
        for (int i = 0; i < 100; ++i)
            w.updateStatusProgress();
        QCOMPARE(bar->value(), 100);
        QVERIFY(bar->invertedAppearance());
        w.updateStatusProgress();
        QCOMPARE(bar->value(), 99);
        for (int i = 0; i < 99; ++i)
            w.updateStatusProgress();
        QCOMPARE(bar->value(), 0);
        QVERIFY(bar->invertedAppearance()); // only the top end inverts
        w.updateStatusProgress();
        QCOMPARE(bar->value(), 1);

        w.setStatusProgressHide();
        QVERIFY(!bar->isVisible() && !timer->isActive());
    }

    void startPath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("document");
        QTest::newRow("php") << "a.php" << true;
        QTest::newRow("vuzar in capitals") << "p.VUZAR" << true;
        QTest::newRow("no suffix") << "Makefile" << true;
        QTest::newRow("vuzar") << "p.vuzar" << false;
    }

    void startPath()
    {
        QFETCH(QString, name);
        QFETCH(bool, document);
        DODIvez w(write(name, "<?xml version=\"1.0\"?>\n"));
        QCOMPARE(bool(w.mainView()->getSource(dir.filePath(name))), document);
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("Ready"));
    }

    void missingStartPathStillShowsTheWindow_data()
    {
        QTest::addColumn<QString>("arg");
        QTest::newRow("plain") << "nowhere.php";
        QTest::newRow("with a line") << "nowhere.php:7";
    }

    void missingStartPathStillShowsTheWindow()
    {
        QFETCH(QString, arg);
        DODIvez w(dir.filePath(arg));
        QCOMPARE(w.mainView()->count(), 0);
        QCOMPARE(Dialogs::lastCall().text,
                 QStringLiteral("Cannot read file %1:\nNo such file or directory.").arg(dir.filePath("nowhere.php")));
    }

    // Several paths on the command line; FILE:LINE[:COLUMN].
    void startPaths_data()
    {
        QTest::addColumn<QStringList>("args"); // names in the temporary folder
        QTest::addColumn<QStringList>("open"); // the documents then open, in tab order
        QTest::addColumn<int>("line");         // where the current editor's cursor is, 1-based
        QTest::addColumn<int>("column");
        QTest::newRow("two files") << QStringList{"a.php", "b.php"} << QStringList{"a.php", "b.php"} << 1 << 1;
        QTest::newRow("line") << QStringList{"a.php:3"} << QStringList{"a.php"} << 3 << 1;
        QTest::newRow("line and column") << QStringList{"a.php:3:4"} << QStringList{"a.php"} << 3 << 4;
        QTest::newRow("column past the line's end") << QStringList{"a.php:2:40"} << QStringList{"a.php"} << 2 << 7;
        QTest::newRow("line past the end") << QStringList{"a.php:99"} << QStringList{"a.php"} << 5 << 1;
        QTest::newRow("a name with a colon wins") << QStringList{"c.php:2"} << QStringList{"c.php:2"} << 1 << 1;
        QTest::newRow("project, then a file at a line")
            << QStringList{"p.vuzar", "b.php:2"} << QStringList{"b.php"} << 2 << 1;
    }

    void startPaths()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, open);
        QFETCH(int, line);
        QFETCH(int, column);
        write("a.php", "line 1\nline 2\nline 3\nline 4\nline 5");
        write("b.php", "b\nb\n");
        write("c.php:2", "c\nc\n");
        write("p.vuzar", "<!DOCTYPE RODadazozOZO>\n<Project Name=\"P\">\n <File Name=\"a.php\"/>\n</Project>\n");
        QStringList paths;
        for (const QString &arg : args)
            paths << dir.filePath(arg);

        DODIvez w(paths);
        QVERIFY2(Dialogs::calls().isEmpty(), qPrintable(Dialogs::lastCall().text));
        QStringList opened;
        for (int i = 0; i < w.mainView()->count(); ++i)
            opened << QFileInfo(w.mainView()->getSource(i)->getFileName()).fileName();
        QCOMPARE(opened, open);
        SourceEdit *e = w.mainView()->getCurrentSource();
        QCOMPARE(QFileInfo(e->getFileName()).fileName(), open.last());
        QCOMPARE(e->textCursor().blockNumber() + 1, line);
        QCOMPARE(e->textCursor().positionInBlock() + 1, column);
        QCOMPARE(bool(w.project()->getRootItem()), args.first().endsWith(".vuzar"));
        w.project()->closeProject();
    }

    void goToLine_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<int>("block"); // -1: the cursor stays
        QTest::newRow("first") << QVariant(1) << 0;
        QTest::newRow("last") << QVariant(120) << 119;
        QTest::newRow("zero") << QVariant(0) << -1;
        QTest::newRow("past the end") << QVariant(121) << -1;
        QTest::newRow("negative") << QVariant(-7) << -1;
        QTest::newRow("smallest") << QVariant(-2147483647) << -1;
        QTest::newRow("cancel") << QVariant() << -1;
    }

    void goToLine()
    {
        QFETCH(QVariant, answer);
        QFETCH(int, block);
        QByteArray text;
        for (int i = 1; i <= 120; ++i)
            text += "line " + QByteArray::number(i) + '\n';
        text.chop(1);
        DODIvez w(write("lines.php", text));
        w.show();
        SourceEdit *e = w.mainView()->getCurrentSource();
        QVERIFY(e);
        e->goToLine(49);
        Dialogs::queueAnswer(answer);
        QTest::mouseClick(w.findChild<QLabel *>("lineLabel"), Qt::LeftButton);
        QCOMPARE(Dialogs::lastCall().title, QStringLiteral("Go To Line"));
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("Line Number (1 - 120):"));
        QCOMPARE(e->textCursor().blockNumber(), block < 0 ? 49 : block);
        QCOMPARE(w.findChild<QLabel *>("lineLabel")->text(), QStringLiteral("Ln %1").arg((block < 0 ? 49 : block) + 1));
    }

    void goToLineWithoutEditorAsksNothing()
    {
        DODIvez w{QString()};
        w.changeCurrentLine();
        QVERIFY(Dialogs::calls().isEmpty());
    }

    void overwriteLabelToggles()
    {
        DODIvez w(write("o.php", "x"));
        w.show();
        auto *label = w.findChild<QLabel *>("overwriteModeLabel");
        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(w.mainView()->getCurrentSource()->overwriteMode());
        QCOMPARE(label->text(), QStringLiteral("OVR"));
        QTest::mouseClick(label, Qt::RightButton);
        QCOMPARE(label->text(), QStringLiteral("INS"));
    }

    // Enter in the box changes its current item and activates it twice:
    // still one search per press.
    void fastSearchStepsOnePerEnter()
    {
        DODIvez w(write("fast.php", "foo foo foo foo"));
        w.show();
        auto *box = w.findChild<QToolBar *>("EditToolBar")->findChild<QComboBox *>();
        QVERIFY(box);
        QTest::keyClicks(box->lineEdit(), "foo");
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QTextCursor c = w.mainView()->getCurrentSource()->textCursor();
        QCOMPARE(qMakePair(c.anchor(), c.position()), qMakePair(0, 3));
        QCoreApplication::processEvents(); // as between two presses
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        c = w.mainView()->getCurrentSource()->textCursor();
        QCOMPARE(qMakePair(c.anchor(), c.position()), qMakePair(4, 7));
        QCOMPARE(box->count(), 1);
    }

    void findNeedsAProject()
    {
        DODIvez w(write("f.php", "x"));
        w.show();
        w.find();
        QVERIFY(!w.findDialog()->isVisible());
    }

    void aboutDialog()
    {
        DODIvez w{QString()};
        w.showAboutDialog();
        AboutDialog *about = w.getAboutDialog();
        QVERIFY(about->isVisible());
        QVERIFY(about->isModal());
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QStringList texts;
        for (QLabel *l : about->findChildren<QLabel *>())
            texts << l->text();
        QVERIFY(texts.contains("Viziro"));
        QVERIFY(texts.contains("Advanced PHP Projects Editor"));
        QVERIFY(texts.contains("Version 1.0.10"));
        QTest::mousePress(about->findChild<QWidget *>("closeButton"), Qt::LeftButton);
        QVERIFY(!about->isVisible());
    }

    void closingAsksFromTheLastTab()
    {
        DODIvez w(write("one.php", "1"));
        w.openFile(write("two.php", "2"));
        w.show();
        for (int i = 0; i < 2; ++i)
            w.mainView()->getSource(i)->insertPlainText("x");
        QVERIFY(!w.close()); // Cancel on the first question
        QCOMPARE(w.mainView()->count(), 2);
        QVERIFY(w.isVisible());
        QCOMPARE(Dialogs::calls().size(), 1);
        QCOMPARE(w.mainView()->currentIndex(), 1);

        Dialogs::queueAnswer(int(QMessageBox::Discard));
        w.fileExit(); // the second question is cancelled
        QCOMPARE(w.mainView()->count(), 1);
        QVERIFY(w.isVisible());

        Dialogs::queueAnswer(int(QMessageBox::Save));
        w.fileExit();
        QCOMPARE(w.mainView()->count(), 0);
        QVERIFY(!w.isVisible());
        QCOMPARE(ovtest::readFile(dir.filePath("one.php")), QByteArray("x1"));
        QCOMPARE(ovtest::readFile(dir.filePath("two.php")), QByteArray("2"));
    }
};

QTEST_MAIN(DODIvezTest)
#include "tst_dodivez.moc"
