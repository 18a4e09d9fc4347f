#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "analysis/callgraphfunction.h"
#include "analysis/callgraphviewer.h"
#include "app/dodivez.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "project/project.h"
#include "testutil.h"

using namespace ov;

namespace {

QCompleter *completerOf(SourceEdit *editor)
{
    return editor->findChild<QCompleter *>();
}

QStringList completionWords(SourceEdit *editor)
{
    auto *model = qobject_cast<QStringListModel *>(completerOf(editor)->model());
    return model ? model->stringList() : QStringList();
}

void moveTo(SourceEdit *editor, int pos)
{
    QTextCursor c = editor->textCursor();
    c.setPosition(pos);
    editor->setTextCursor(c);
}

int positionOf(SourceEdit *editor, const QString &text, int skip = 0)
{
    return int(editor->toPlainText().indexOf(text)) + skip;
}

// The entries of the editor's context menu at `pos` (separators as "-");
// the menu is closed again at once. `pick` gets the entry named `pickText`.
QStringList contextMenuAt(SourceEdit *editor, int pos, const QString &pickText = QString(),
                          QAction **pick = nullptr)
{
    QTextCursor c(editor->document());
    c.setPosition(pos);
    const QPoint at = editor->cursorRect(c).center() + QPoint(1, 0);
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *a : menu->actions()) {
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
            if (pick && a->text() == pickText)
                *pick = a;
        }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, editor->viewport()->mapToGlobal(at));
    QApplication::sendEvent(editor->viewport(), &event);
    return texts;
}

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    DODIvez *window = nullptr;

    QString path(const QString &name) const { return dir.filePath(name); }

    SourceEdit *open(const QString &name)
    {
        MainView *view = window->mainView();
        if (!view->addSource(path(name)))
            return nullptr;
        return view->getSource(path(name));
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        QVERIFY(dir.isValid());
        QDir(dir.path()).mkpath("lib");
        QDir(dir.path()).mkpath("sub");
        QVERIFY(ovtest::writeFile(path("index.php"),
                                  "<?php\n"
                                  "require_once \"lib/db.php\";\n"
                                  "include 'sub/missing.php';\n"
                                  "require 'lib/db.php\";\n"
                                  "include 'sub/side.php';\n"
                                  "\n"
                                  "function render_page($section, $items)\n"
                                  "{\n"
                                  "    $title = strtoupper($section);\n"
                                  "    return db_query($title) . count($items);\n"
                                  "}\n"
                                  "\n"
                                  "$outside = render_page('x', array());\n"));
        QVERIFY(ovtest::writeFile(path("lib/db.php"),
                                  "<?php\n"
                                  "function db_query($sql)\n"
                                  "{\n"
                                  "    $result = strlen($sql);\n"
                                  "    return $result;\n"
                                  "}\n"));
        // Found beside the project file only: index.php names it relative
        // to the project folder, and it is not beside lib/db.php either.
        QVERIFY(ovtest::writeFile(path("sub/side.php"), "<?php\n"));
        QVERIFY(ovtest::writeFile(path("site.vuzar"),
                                  "<!DOCTYPE RODadazozOZO>\n<Project Name=\"site\">\n"
                                  " <File Name=\"index.php\"/>\n"
                                  " <Folder Name=\"lib\">\n  <File Name=\"lib/db.php\"/>\n </Folder>\n"
                                  " <Bookmarks/>\n</Project>\n"));

        window = new DODIvez(QString());
        window->show();
        QSignalSpy updated(window->project(), &Project::projectUpdated);
        window->openProject(path("site.vuzar"));
        QVERIFY(window->project()->getRootItem());
        QVERIFY(updated.count() > 0 || updated.wait(20000));
        QVERIFY(window->mainView()->getFunctionNames().contains("db_query"));
    }

    void cleanupTestCase()
    {
        delete window;
    }

    void functionListJumpsToFunctions()
    {
        SourceEdit *editor = open("index.php");
        QVERIFY(editor);
        auto *list = editor->findChild<QComboBox *>();
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->itemText(0), QString("function render_page($section, $items)"));
        moveTo(editor, 0);
        // The list already shows this entry: choosing it again changes
        // nothing; a refresh does not move the cursor either.
        editor->updateFunctionList();
        QCOMPARE(editor->textCursor().position(), 0);
        list->setCurrentIndex(-1);
        list->setCurrentIndex(0);
        QCOMPARE(editor->textCursor().position(), positionOf(editor, "function render_page"));
    }

    void popupRules_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("shortcut");
        QTest::addColumn<bool>("visible");
        QTest::newRow("st") << "st" << false << true;
        QTest::newRow("s") << "s" << false << false;
        QTest::newRow("$") << "$" << false << true;
        QTest::newRow("st.") << "st." << false << false;
        QTest::newRow("st(") << "st(" << false << false;
        QTest::newRow("db_") << "db_" << false << true;
        QTest::newRow("Ctrl+Space") << "" << true << true;
        QTest::newRow("<?php") << "<?php" << false << false;
        QTest::newRow("<?ph, Ctrl+Space") << "<?ph" << true << false;
        QTest::newRow("<?=st: code after the tag") << "<?=st" << false << true;
    }

    void popupRules()
    {
        QFETCH(QString, typed);
        QFETCH(bool, shortcut);
        QFETCH(bool, visible);
        SourceEdit *editor = open("lib/db.php");
        QVERIFY(editor);
        QCompleter *completer = completerOf(editor);
        completer->popup()->hide();
        const QString before = editor->toPlainText();
        // Inside the function, where its variables are words to offer.
        const int at = positionOf(editor, "    return");
        moveTo(editor, at);
        QTest::keyClick(editor, Qt::Key_Space);
        QTest::keyClicks(editor, typed);
        if (shortcut)
            QTest::keyClick(editor, Qt::Key_Space, Qt::ControlModifier);
        const bool shown = completer->popup()->isVisible();
        const QString after = editor->toPlainText();
        completer->popup()->hide();
        editor->setPlainText(before);
        QCOMPARE(shown, visible);
        // Typing "(" may close the bracket too; nothing else is added.
        QVERIFY2(after.startsWith(before.left(at) + " " + typed), qPrintable(after));
    }

    void returnInsertsTheCompletion()
    {
        SourceEdit *editor = open("lib/db.php");
        QCompleter *completer = completerOf(editor);
        const QString before = editor->toPlainText();
        moveTo(editor, int(before.size()));
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, "STRTOU");
        QVERIFY(completer->popup()->isVisible());
        QCOMPARE(completer->currentCompletion(), QString("strtoupper"));
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QVERIFY(!completer->popup()->isVisible());
        // The typed part takes the name's own case; no line break follows.
        QCOMPARE(editor->toPlainText(), before + "\nstrtoupper");
        QCOMPARE(editor->textCursor().position(), int(editor->toPlainText().size()));
        editor->setPlainText(before);
    }

    void localVariablesOnlyInsideTheirFunction()
    {
        SourceEdit *editor = open("index.php");
        moveTo(editor, positionOf(editor, "$title = ", 1));
        QStringList words = completionWords(editor);
        QVERIFY(words.contains("$title"));
        QVERIFY(words.contains("$items"));
        QVERIFY(words.contains("db_query"));
        QVERIFY(std::is_sorted(words.begin(), words.end()));
        moveTo(editor, positionOf(editor, "$outside", 1));
        words = completionWords(editor);
        QVERIFY(!words.contains("$title"));
        QVERIFY(words.contains("render_page"));
    }

    void contextMenuEntries_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("at");
        QTest::addColumn<QStringList>("first");
        const QStringList none;
        QTest::newRow("include in double quotes") << "index.php" << "lib/db.php\";"
                                                  << QStringList{"Open 'lib/db.php'", "-"};
        QTest::newRow("include of a missing file") << "index.php" << "sub/missing"
                                                   << QStringList{"Open 'sub/missing.php'", "-"};
        QTest::newRow("mixed quotes") << "index.php" << "lib/db.php\";\n\n" << none;
        QTest::newRow("project function")
            << "index.php" << "db_query($title"
            << QStringList{"Go To Declaration", "Show Call Graph", "-"};
        QTest::newRow("built-in function") << "index.php" << "strtoupper" << none;
        QTest::newRow("plain word") << "index.php" << "return db" << none;
    }

    void contextMenuEntries()
    {
        QFETCH(QString, file);
        QFETCH(QString, at);
        QFETCH(QStringList, first);
        SourceEdit *editor = open(file);
        int pos = int(editor->toPlainText().indexOf(at)) + 2;
        if (QTest::currentDataTag() == QByteArray("mixed quotes"))
            pos = int(editor->toPlainText().indexOf("require 'lib")) + 10;
        QVERIFY(pos >= 2);
        const QStringList entries = contextMenuAt(editor, pos);
        QVERIFY(!entries.isEmpty());
        const QStringList own = {"Open", "Go To Declaration", "Show Call Graph"};
        QStringList head;
        for (const QString &e : entries) {
            if (e != "-" && !e.startsWith("Open '") && !own.contains(e))
                break;
            head << e;
        }
        QCOMPARE(head, first);
    }

    void openIncludeLooksBesideTheFileThenTheProject()
    {
        MainView *view = window->mainView();
        SourceEdit *editor = open("index.php");
        QAction *openAction = nullptr;
        contextMenuAt(editor, positionOf(editor, "lib/db.php", 2), "Open 'lib/db.php'", &openAction);
        QVERIFY(openAction);
        openAction->trigger();
        QCOMPARE(view->getCurrentSource()->getFilePath(), QFileInfo(path("lib/db.php")).canonicalFilePath());

        // From lib/db.php, "sub/side.php" is not beside the file: the project
        // folder is tried next.
        SourceEdit *db = view->getCurrentSource();
        const QString text = db->toPlainText();
        db->setPlainText("<?php\ninclude 'sub/side.php';\n");
        openAction = nullptr;
        contextMenuAt(db, 12, "Open 'sub/side.php'", &openAction);
        QVERIFY(openAction);
        const int tabs = view->count();
        openAction->trigger();
        QCOMPARE(view->count(), tabs + 1);
        QCOMPARE(view->getCurrentSource()->getFilePath(), QFileInfo(path("sub/side.php")).canonicalFilePath());

        // A missing file opens nothing and asks nothing.
        db->setPlainText("<?php\ninclude 'sub/nowhere.php';\n");
        contextMenuAt(db, 12, "Open 'sub/nowhere.php'", &openAction);
        openAction->trigger();
        QCOMPARE(view->count(), tabs + 1);
        QVERIFY(Dialogs::calls().isEmpty());
        db->setPlainText(text);
        db->document()->setModified(false);
    }

    void goToDeclarationAcrossFilesAndCallGraph()
    {
        MainView *view = window->mainView();
        SourceEdit *editor = open("index.php");
        QAction *go = nullptr;
        contextMenuAt(editor, positionOf(editor, "db_query($title", 3), "Go To Declaration", &go);
        QVERIFY(go);
        go->trigger();
        SourceEdit *db = view->getCurrentSource();
        QCOMPARE(db->getFilePath(), QFileInfo(path("lib/db.php")).canonicalFilePath());
        QCOMPARE(db->textCursor().position(), positionOf(db, "function db_query"));

        editor = open("index.php");
        QAction *graph = nullptr;
        contextMenuAt(editor, positionOf(editor, "render_page('x'", 3), "Show Call Graph", &graph);
        QVERIFY(graph);
        graph->trigger();
        QCOMPARE(view->currentWidget()->whatsThis(), QString("CallGraph"));
        CallGraphViewer *viewer = view->getCallGraphViewer();
        QCOMPARE(viewer->rootFunction()->getDefinition().name, QString("render_page"));
        QStringList callees;
        for (CallGraphFunction *c : viewer->childrenOf(viewer->rootFunction()))
            callees << c->getDefinition().name;
        QCOMPARE(callees, QStringList({"strtoupper", "db_query", "count"}));

        // Callers of a built-in, two levels up: strlen <- db_query <- render_page.
        PHPFunctionDefinition builtin;
        builtin.name = "strlen";
        viewer->drawCallerGraph(builtin);
        QVERIFY(viewer->isCallerGraph());
        QVERIFY(viewer->rootFunction()->isBuiltin());
        QList<CallGraphFunction *> callers = viewer->childrenOf(viewer->rootFunction());
        QCOMPARE(callers.size(), 1);
        QCOMPARE(callers[0]->getDefinition().name, QString("db_query"));
        callers = viewer->childrenOf(callers[0]);
        QCOMPARE(callers.size(), 1);
        QCOMPARE(callers[0]->getDefinition().name, QString("render_page"));
    }
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
