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

#include <QDirIterator>
#include <QSet>

#include "analysis/callgraphfunction.h"
#include "analysis/core/phpanalyser.h"
#include "editor/core/completionwords.h"
#include "editor/core/includetarget.h"
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

    // The completer looks names up by binary search: in a large project
    // every name must still be found from its first three characters.
    void completionFindsEveryWordPressName()
    {
        const QString wordpress = QStringLiteral("/usr/share/wordpress");
        if (!QFileInfo(wordpress + "/wp-login.php").exists())
            QSKIP("needs Debian's wordpress package");
        QStringList files;
        for (QDirIterator it(wordpress, {"*.php"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            files << it.next();
        FileDescriptions descriptions;
        PhpAnalyser analyser(wordpress, PhpAnalyser::loadBuiltinFunctions(), &descriptions);
        analyser.startRun();
        for (const QString &file : std::as_const(files))
            analyser.collectFunctionNames(file);
        QStringList names = analyser.projectFunctionNames();
        QVERIFY(names.size() > 3000);
        const QStringList builtins = PhpAnalyser::loadBuiltinFunctions().values();
        names += builtins;

        MainView *view = window->mainView();
        const QStringList before = view->getFunctionNames();
        view->setFunctionNames(names);
        QVERIFY(ovtest::writeFile(path("complete.php"), "<?php\n"));
        SourceEdit *editor = open("complete.php");
        QVERIFY(editor);

        QHash<QString, QStringList> byPrefix;
        for (const QString &name : std::as_const(names)) {
            if (name.size() >= 3)
                byPrefix[name.left(3)] << name;
        }
        QCompleter *completer = completerOf(editor);
        QStringList missing;
        for (auto it = byPrefix.cbegin(); it != byPrefix.cend(); ++it) {
            completer->setCompletionPrefix(it.key());
            QSet<QString> offered;
            for (int row = 0; completer->setCurrentRow(row); ++row)
                offered.insert(completer->currentCompletion());
            for (const QString &name : it.value()) {
                if (!offered.contains(name))
                    missing << name;
            }
        }
        view->setFunctionNames(before);
        window->mainView()->closeTab(window->mainView()->indexOfSource(path("complete.php")));
        QVERIFY2(missing.isEmpty(), qPrintable(QString("%1 names not offered, such as %2")
                                                   .arg(missing.size()).arg(missing.mid(0, 5).join(", "))));

        // Local variables of the functions around the cursor join the list
        // in the same order.
        CompletionWords words;
        words.update(names, {"$Zeta", "$alpha"});
        for (qsizetype i = 1; i < words.words().size(); ++i)
            QVERIFY(words.words()[i - 1].toLower() <= words.words()[i].toLower());
    }

    void includeForms_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("levelsUp");
        const int plain = IncludeTarget::Plain, folder = IncludeTarget::InFolder, suffix = IncludeTarget::Suffix,
                  none = IncludeTarget::None;
        QTest::newRow("__DIR__") << "require __DIR__ . '/wp-blog-header.php';" << folder << "/wp-blog-header.php" << 0;
        QTest::newRow("dirname(__FILE__)") << "\trequire_once dirname(__FILE__) . '/x.php';" << folder << "/x.php" << 0;
        QTest::newRow("dirname( __DIR__ )") << "require_once dirname( __DIR__ ) . '/wp-load.php';" << folder
                                            << "/wp-load.php" << 1;
        QTest::newRow("dirname(dirname(__FILE__))") << "require_once dirname(dirname(__FILE__)) . '/a/b.php';"
                                                    << folder << "/a/b.php" << 1;
        QTest::newRow("dirname(__FILE__, 3)") << "include dirname(__FILE__, 3).\"/c.php\";" << folder << "/c.php" << 2;
        QTest::newRow("in parentheses") << "require_once(dirname(__FILE__) . '/x.php');" << folder << "/x.php" << 0;
        QTest::newRow("include( 'x.php' )") << "include( 'x.php' );" << plain << "x.php" << 0;
        QTest::newRow("joined literals") << "include 'a/' . 'b.php';" << plain << "a/b.php" << 0;
        QTest::newRow("constants") << "require_once ABSPATH . WPINC . '/version.php';" << suffix << "/version.php" << 0;
        QTest::newRow("constant in parentheses")
            << "require_once( AKISMET__PLUGIN_DIR . 'class.akismet.php' );" << suffix << "class.akismet.php" << 0;
        QTest::newRow("call") << "require_once trailingslashit( ABSPATH ) . 'wp-admin/includes/file.php';" << suffix
                              << "wp-admin/includes/file.php" << 0;
        QTest::newRow("variable") << "require_once $dir.DIRECTORY_SEPARATOR.'byte_safe_strings.php';" << suffix
                                  << "byte_safe_strings.php" << 0;
        QTest::newRow("closing tag") << "<?php include __DIR__ . '/x.php' ?>" << folder << "/x.php" << 0;
        QTest::newRow("only a variable") << "include $file;" << none << "" << 0;
        QTest::newRow("only an extension") << "require_once dirname(__FILE__).'/lib/' . $engine . '.php';" << none
                                           << "" << 0;
        QTest::newRow("interpolated") << "require \"$dir/x.php\";" << none << "" << 0;
        QTest::newRow("no include") << "$included = 'x.php';" << none << "" << 0;
    }

    void includeForms()
    {
        QFETCH(QString, line);
        QFETCH(int, kind);
        QFETCH(QString, path);
        QFETCH(int, levelsUp);
        const IncludeTarget t = IncludeTarget::parse(line);
        QCOMPARE(int(t.kind), kind);
        QCOMPARE(t.path, path);
        QCOMPARE(t.levelsUp, levelsUp);
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

    // WordPress's own ways of naming the files it loads.
    void openIncludeOnWordPressCode()
    {
        const QString wordpress = QStringLiteral("/usr/share/wordpress/");
        if (!QFileInfo(wordpress + "wp-settings.php").exists())
            QSKIP("needs Debian's wordpress package");
        QTemporaryDir wp;
        const QStringList files = {"index.php", "wp-blog-header.php", "wp-load.php", "wp-settings.php",
                                   "wp-includes/version.php", "wp-includes/load.php", "wp-admin/admin.php"};
        QByteArray project = "<!DOCTYPE RODadazozOZO>\n<Project Name=\"wp\">\n";
        for (const QString &f : files) {
            QDir(wp.path()).mkpath(QFileInfo(f).path());
            QVERIFY(QFile::copy(wordpress + f, wp.filePath(f)));
            project += " <File Name=\"" + f.toUtf8() + "\"/>\n";
        }
        // A second version.php, as another copy of wp-includes would hold.
        QDir(wp.path()).mkpath("old/wp-includes");
        QVERIFY(QFile::copy(wordpress + "wp-includes/version.php", wp.filePath("old/wp-includes/version.php")));
        project += " <File Name=\"old/wp-includes/version.php\"/>\n <Bookmarks/>\n</Project>\n";
        QVERIFY(ovtest::writeFile(wp.filePath("wp.vuzar"), project));
        QSignalSpy updated(window->project(), &Project::projectUpdated);
        window->openProject(wp.filePath("wp.vuzar"));
        QVERIFY(updated.count() > 0 || updated.wait(20000));
        MainView *view = window->mainView();

        const auto follow = [&](const QString &from, const QString &line, const QString &entry) -> bool {
            if (!view->addSource(wp.filePath(from)))
                return false;
            SourceEdit *editor = view->getSource(wp.filePath(from));
            const int at = positionOf(editor, line, 2);
            if (at < 2)
                return false;
            editor->goToPosition(at); // in view, where the click lands
            QAction *open = nullptr;
            contextMenuAt(editor, at, entry, &open);
            if (!open)
                return false;
            open->trigger();
            return true;
        };
        const auto current = [&] { return view->getCurrentSource()->getFilePath(); };

        QVERIFY(follow("index.php", "require __DIR__", "Open 'wp-blog-header.php'"));
        QCOMPARE(current(), wp.filePath("wp-blog-header.php"));
        QVERIFY(follow("wp-blog-header.php", "require_once __DIR__ . '/wp-load.php'", "Open 'wp-load.php'"));
        QCOMPARE(current(), wp.filePath("wp-load.php"));
        // One project file ends with the literal part: opened at once.
        QVERIFY(follow("wp-settings.php", "require ABSPATH . WPINC . '/load.php'", "Open 'load.php'"));
        QCOMPARE(current(), wp.filePath("wp-includes/load.php"));
        QVERIFY(Dialogs::calls().isEmpty());
        // Two do: the user chooses.
        Dialogs::queueAnswer(wp.filePath("old/wp-includes/version.php"));
        QVERIFY(follow("wp-settings.php", "require ABSPATH . WPINC . '/version.php'", "Open 'version.php'"));
        QCOMPARE(Dialogs::lastCall().kind, QStringLiteral("getItem"));
        QCOMPARE(current(), wp.filePath("old/wp-includes/version.php"));
        // From the admin folder, dirname( __DIR__ ) is the site's folder.
        QVERIFY(follow("wp-admin/admin.php", "require_once dirname( __DIR__ )", "Open '../wp-load.php'"));
        QCOMPARE(current(), wp.filePath("wp-load.php"));
        ovtest::discardAllTabs(view);
        updated.clear();
        window->openProject(path("site.vuzar"));
        QVERIFY(updated.count() > 0 || updated.wait(20000));
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
