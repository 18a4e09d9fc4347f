#include <QComboBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QToolBar>

#include "app/dodivez.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "project/project.h"
#include "search/findresults.h"
#include "testutil.h"

using namespace ov;

namespace {

struct Selection {
    QString file;
    int start;
    int end;
    bool operator==(const Selection &o) const { return file == o.file && start == o.start && end == o.end; }
};

QString describe(const QList<Selection> &list)
{
    QStringList out;
    for (const Selection &s : list)
        out << QStringLiteral("%1:%2-%3").arg(QFileInfo(s.file).fileName()).arg(s.start).arg(s.end);
    return out.join(u' ');
}

// The visible texts of a result window: file items, then their hits indented.
QStringList treeTexts(QTreeWidget *tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *file = tree->topLevelItem(i);
        out << file->text(0);
        for (int j = 0; j < file->childCount(); ++j)
            out << QStringLiteral("  ") + file->child(j)->text(0);
    }
    return out;
}

} // namespace

class SearchCommandsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    DODIvez *window = nullptr;

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        if (!ovtest::writeFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    SourceEdit *open(const QString &path, int cursorPosition = 0)
    {
        if (!window->mainView()->addSource(path))
            return nullptr;
        SourceEdit *editor = window->mainView()->getSource(path);
        QTextCursor c = editor->textCursor();
        c.setPosition(cursorPosition);
        editor->setTextCursor(c);
        return editor;
    }

    Selection selection() const
    {
        SourceEdit *editor = window->mainView()->getCurrentSource();
        if (!editor)
            return {QString(), -1, -1};
        const QTextCursor c = editor->textCursor();
        return {editor->getFilePath(), c.selectionStart(), c.selectionEnd()};
    }

    QList<Selection> steps(int count, const QString &text, int scope)
    {
        QList<Selection> out;
        for (int i = 0; i < count; ++i) {
            window->findNext(text, false, false, scope);
            out << selection();
        }
        return out;
    }

    FindResults *findAll(int scope, const QString &text, int outputWindow, bool matchCase = false, bool matchWord = false)
    {
        if (scope == 0)
            window->findInCurrentDocument(text, matchCase, matchWord, outputWindow);
        else if (scope == 1)
            window->findInAllOpenedDocuments(text, matchCase, matchWord, outputWindow);
        else
            window->findInProject(text, matchCase, matchWord, outputWindow);
        FindResults *results = window->findResults(outputWindow);
        if (!QTest::qWaitFor([results] { return !results->isFilling(); }, 10000))
            qWarning("find all did not finish");
        return results;
    }

    // A project of the PHP files written into a fresh folder.
    QString project(const QString &name, const QList<QPair<QString, QByteArray>> &files)
    {
        const QString folder = dir.filePath(name);
        QDir().mkpath(folder);
        for (const auto &[fileName, bytes] : files) {
            if (!ovtest::writeFile(folder + u'/' + fileName, bytes))
                qFatal("cannot write %s", qPrintable(fileName));
        }
        if (!window->project()->createProjectFromFolder(folder, name, {QStringLiteral("*.php")}))
            qFatal("cannot make a project of %s", qPrintable(folder));
        return folder;
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        QVERIFY(dir.isValid());
    }

    void init()
    {
        Dialogs::clear();
        window = new DODIvez(QString());
    }

    void cleanup()
    {
        ovtest::discardAllTabs(window->mainView());
        delete window;
        window = nullptr;
        Dialogs::clear();
    }

    // From the cursor to the end, around to the start, and no further than
    // the position recorded when the dialog was shown.
    void findNextStopsAtTheRecordedStart()
    {
        const QString a = file("step.php", "foo 1 foo 2 foo 3 foo");
        QVERIFY(open(a, 10));
        window->resetFindNReplacePosition();
        const QList<Selection> expected = {{a, 12, 15}, {a, 18, 21}, {a, 0, 3}, {a, 6, 9}, {a, 6, 9}};
        const QList<Selection> got = steps(5, "FOO", 0);
        QCOMPARE(describe(got), describe(expected));
    }

    // Scope 1 starts in the current file, then the next tabs in order, each
    // from its own cursor; once there, a file wraps around without limit.
    void findNextMovesThroughOpenFiles()
    {
        const QString a = file("a.php", "foo a");
        const QString b = file("b.php", "x foo foo");
        const QString c = file("c.php", "cat c cat");
        QVERIFY(open(a));
        QVERIFY(open(c, 5));
        QVERIFY(open(b, 4));
        window->resetFindNReplacePosition();
        // Tabs a, c, b: b from its cursor, then a (c has no hit), then a again.
        const QList<Selection> expected = {{b, 6, 9}, {a, 0, 3}, {a, 0, 3}};
        QCOMPARE(describe(steps(3, "foo", 1)), describe(expected));
        // c is searched from its own cursor (5), not from its start.
        MainView *view = window->mainView();
        view->setCurrentIndex(view->indexOf(view->getSource(b)));
        QCOMPARE(describe(steps(1, "cat", 1)), describe({{c, 6, 9}}));
    }

    // Replace changes the hit the user sees selected, then shows the next;
    // with no hit selected it only shows the next.
    void replaceChangesTheSelectedHit()
    {
        const QByteArray original = ovtest::readFile(QStringLiteral("/usr/share/wordpress/wp-login.php"));
        if (original.isEmpty())
            QSKIP("needs Debian's wordpress package");
        const QString a = file("wp-login.php", original);
        SourceEdit *editor = open(a);
        QVERIFY(editor);
        const QString text = editor->toPlainText();
        const int first = int(text.indexOf("login_header"));
        const int second = int(text.indexOf("login_header", first + 1));
        const int third = int(text.indexOf("login_header", second + 1));
        window->resetFindNReplacePosition();
        window->findNext("login_header", true, true, 0);
        QCOMPARE(selection(), (Selection{a, first, first + 12}));
        window->replaceNext("login_header", "login_top", true, true, 0);
        QCOMPARE(editor->toPlainText().mid(first, 9), QStringLiteral("login_top"));
        QCOMPARE(selection(), (Selection{a, second - 3, second + 9}));

        // The cursor moved away: the next hit is shown, nothing replaced.
        QTextCursor c = editor->textCursor();
        c.setPosition(second + 20);
        editor->setTextCursor(c);
        window->replaceNext("login_header", "login_top", true, true, 0);
        QCOMPARE(selection(), (Selection{a, third - 3, third + 9}));
        QCOMPARE(editor->toPlainText().count("login_top"), 1);

        // A selection that is no hit under the options is not replaced.
        editor->setPlainText("Foo foobar foo");
        const auto select = [&](int start, int end) {
            QTextCursor s = editor->textCursor();
            s.setPosition(start);
            s.setPosition(end, QTextCursor::KeepAnchor);
            editor->setTextCursor(s);
        };
        select(0, 3);
        window->replaceNext("foo", "x", true, false, 0); // case differs
        QCOMPARE(editor->toPlainText(), QStringLiteral("Foo foobar foo"));
        QCOMPARE(selection(), (Selection{a, 4, 7}));
        window->replaceNext("foo", "x", false, true, 0); // not a whole word
        QCOMPARE(editor->toPlainText(), QStringLiteral("Foo foobar foo"));
        QCOMPARE(selection(), (Selection{a, 11, 14}));
        window->replaceNext("foo", "foofoo", false, true, 0);
        QCOMPARE(editor->toPlainText(), QStringLiteral("Foo foobar foofoo"));
        // The search goes on after the new text and around to the start.
        QCOMPARE(selection(), (Selection{a, 0, 3}));

        // The editor's own Replace behaves alike.
        select(4, 7);
        QVERIFY(!editor->replaceNext("bar", "x"));
        QCOMPARE(selection(), (Selection{a, 7, 10}));
        QVERIFY(editor->replaceNext("bar", "x"));
        QCOMPARE(editor->toPlainText(), QStringLiteral("Foo foox foofoo"));
        QVERIFY(!editor->textCursor().hasSelection());
        QCOMPARE(ovtest::readFile(a), original);
    }

    void searchesNeedAnEditor()
    {
        // No tab at all: nothing happens, nothing is reported.
        window->findNext("foo", false, false, 0);
        window->replaceNext("foo", "bar", false, false, 1);
        window->replaceAll("foo", "bar", false, false, 0);
        QVERIFY(Dialogs::calls().isEmpty());
        window->replaceAll("foo", "bar", false, false, 1);
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("0 occurrence(s) replaced."));
    }

    void replaceAllCountsOverOpenFiles()
    {
        const QString a = file("r1.php", "foo\nFoo bar");
        const QString b = file("r2.php", "nothing here");
        const QString c = file("r3.php", "foo foo\tfoo\nfoo_foo");
        QVERIFY(open(a));
        QVERIFY(open(b));
        QVERIFY(open(c));
        window->mainView()->setCurrentIndex(1);
        window->replaceAll("foo", "baz", false, true, 1);
        const Dialogs::Call call = Dialogs::lastCall();
        QCOMPARE(call.kind, QStringLiteral("information"));
        QCOMPARE(call.title, QStringLiteral("Viziro"));
        QCOMPARE(call.text, QStringLiteral("7 occurrence(s) replaced."));
        MainView *view = window->mainView();
        QCOMPARE(view->getSource(a)->toPlainText(), QStringLiteral("baz\nbaz bar"));
        QCOMPARE(view->getSource(c)->toPlainText(), QStringLiteral("baz baz    baz\nbaz_baz"));
        QVERIFY(view->getSource(a)->isDirty());
        QVERIFY(!view->getSource(b)->isDirty());
        QCOMPARE(view->getCurrentSource(), view->getSource(c));
        // Disk is untouched until the user saves; one undo restores a file.
        QCOMPARE(ovtest::readFile(c), QByteArray("foo foo\tfoo\nfoo_foo"));
        view->getSource(c)->undo();
        QCOMPARE(view->getSource(c)->toPlainText(), QStringLiteral("foo foo    foo\nfoo_foo"));
    }

    // Find All into one window leaves the other alone; open files are
    // searched with their unsaved edits.
    void findAllFillsTheChosenWindow()
    {
        const QString a = file("w1.php", "echo $x;\n\techo $y;");
        const QString b = file("w2.php", "nothing");
        SourceEdit *editorA = open(a);
        SourceEdit *editorB = open(b);
        QVERIFY(editorA && editorB);
        editorB->appendPlainText("echo again");
        FindResults *first = findAll(1, "echo", 0);
        const QStringList expected = {
            a + " (entries 2)", "  w1.php (1): echo $x;", "  w1.php (2):     echo $y;",
            b + " (entries 1)", "  w2.php (2): echo again"};
        QCOMPARE(treeTexts(first), expected);

        FindResults *second = findAll(0, "again", 1);
        QCOMPARE(treeTexts(second), QStringList({b + " (entries 1)", "  w2.php (2): echo again"}));
        QCOMPARE(treeTexts(first), expected);

        // A new search replaces the window's entries; an empty text clears it.
        findAll(1, "nothing", 0);
        QCOMPARE(treeTexts(first), QStringList({b + " (entries 1)", "  w2.php (1): nothing"}));
        findAll(1, "", 0);
        QCOMPARE(first->topLevelItemCount(), 0);
    }

    // Files that are not open are read as the editor reads them (tabs as
    // four spaces, no carriage returns) and opened at their hit; deleted
    // files are passed over silently.
    void projectFilesThatAreNotOpen()
    {
        const QString folder = project("site", {{"p1.php", "nothing\r\n"},
                                                {"p2.php", "<?php\r\n\t\tif ($a) foo();\r\n"},
                                                {"p3.php", "foo"}});
        QStringList files = window->project()->getProjectFiles();
        QCOMPARE(files.size(), 3);
        QVERIFY(QFile::remove(folder + "/p1.php"));

        FindResults *results = findAll(2, "foo", 0);
        QCOMPARE(treeTexts(results), QStringList({folder + "/p2.php (entries 1)", "  p2.php (2):         if ($a) foo();",
                                                  folder + "/p3.php (entries 1)", "  p3.php (1): foo"}));
        QCOMPARE(window->mainView()->count(), 0);
        results->_itemDoubleClicked(results->topLevelItem(0)->child(0), 0);
        QCOMPARE(describe({selection()}), describe({{folder + "/p2.php", 22, 25}}));
        window->mainView()->closeAll();

        window->findNext("FOO", false, false, 2);
        QCOMPARE(describe({selection()}), describe({{folder + "/p2.php", 22, 25}}));
        QCOMPARE(window->mainView()->count(), 1);
        window->setFindNReplaceStartPosition(25);
        window->findNext("FOO", false, false, 2);
        QCOMPARE(describe({selection()}), describe({{folder + "/p3.php", 0, 3}}));
        QVERIFY(Dialogs::calls().isEmpty());
    }

    // Only the files with hits are opened, left modified, the last one
    // current; one undo step reverts a file's whole replacement.
    void replaceAllOverTheProject()
    {
        const QString folder = project("rep", {{"a.php", "$foo = foo();"},
                                               {"b.php", "nothing"},
                                               {"c.php", "foo\n\tfoo foo\nFOO foo"},
                                               {"d.php", "no hit either"}});
        MainView *view = window->mainView();
        QVERIFY(open(folder + "/d.php"));
        window->replaceAll("foo", "bar", false, true, 2);
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("7 occurrence(s) replaced."));
        QStringList tabs;
        for (int i = 0; i < view->count(); ++i)
            tabs << view->tabText(i);
        QCOMPARE(tabs, QStringList({"d.php", "a.php*", "c.php*"}));
        QVERIFY(!view->getSource(folder + "/b.php"));
        SourceEdit *a = view->getSource(folder + "/a.php");
        SourceEdit *c = view->getSource(folder + "/c.php");
        QCOMPARE(a->toPlainText(), QStringLiteral("$bar = bar();"));
        QCOMPARE(c->toPlainText(), QStringLiteral("bar\n    bar bar\nbar bar"));
        QVERIFY(a->isDirty() && c->isDirty());
        QVERIFY(!view->getSource(folder + "/d.php")->isDirty());
        QCOMPARE(view->getCurrentSource(), c);
        QVERIFY(!view->tabBar()->isHidden());
        QCOMPARE(ovtest::readFile(folder + "/a.php"), QByteArray("$foo = foo();"));

        for (SourceEdit *e : {a, c}) {
            e->undo();
            QVERIFY(!e->isDirty());
            QVERIFY(!e->document()->isUndoAvailable());
        }
        QCOMPARE(c->toPlainText(), QStringLiteral("foo\n    foo foo\nFOO foo"));

        // The files now open are changed in their editors, none opened twice.
        window->replaceAll("FOO", "x", true, false, 2);
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("1 occurrence(s) replaced."));
        QCOMPARE(view->count(), 3);
        QCOMPARE(c->toPlainText(), QStringLiteral("foo\n    foo foo\nx foo"));
        QCOMPARE(view->getCurrentSource(), c);
    }

    // Replace All opens the files it changes without their editors: Find
    // All and Find Next over those tabs give what the editors would, and
    // each Replace All stays one undo step of the file.
    void replaceAllOpensTabsWithoutEditors()
    {
        const QString folder = project("lazy", {{"a.php", "foo = 1;\n\tfoo(2);\n"},
                                                {"b.php", "nothing\r\n"},
                                                {"c.php", "x Foo\r\nfoo foo\r\n"},
                                                {"d.php", "caf\xe9 foo\n"}});
        MainView *view = window->mainView();
        int notMade = 0;
        const auto searchAfterReplacing = [&](bool makeEditors) {
            window->replaceAll("foo", "bar foo", false, false, 2);
            QStringList seen = {Dialogs::lastCall().text};
            for (int i = 0; i < view->count(); ++i)
                seen << QStringLiteral("%1 %2").arg(view->tabText(i)).arg(view->pendingSource(i) ? "pending" : "editor");
            if (makeEditors) {
                for (int i = 0; i < view->count(); ++i)
                    notMade += !view->getSource(i);
            }
            seen << treeTexts(findAll(1, "FOO", 0));
            // From past the current file's hit into the next files, each
            // from where its editor's cursor is (after a replacement at 0).
            window->setFindNReplaceStartPosition(12);
            seen << describe(steps(3, "foo", 1)) << describe(steps(1, "x", 1));
            return seen;
        };
        const QStringList pending = searchAfterReplacing(false);
        QCOMPARE(pending.mid(0, 4), QStringList({"6 occurrence(s) replaced.", "a.php* pending", "c.php* pending",
                                                 "d.php* editor"}));
        ovtest::discardAllTabs(view);
        const QStringList made = searchAfterReplacing(true);
        QCOMPARE(notMade, 0);
        QCOMPARE(pending.mid(4), made.mid(4));
        QCOMPARE(pending.mid(pending.size() - 2),
                 QStringList({describe({{folder + "/a.php", 21, 24}, {folder + "/a.php", 4, 7}, {folder + "/a.php", 21, 24}}),
                              describe({{folder + "/c.php", 0, 1}})}));

        // Two more Replace Alls over tabs still without editors: two undo steps.
        ovtest::discardAllTabs(view);
        window->replaceAll("foo", "x", false, true, 2);
        window->replaceAll("x", "yy", true, true, 2);
        QCOMPARE(view->count(), 3);
        QVERIFY(view->pendingSource(0));
        SourceEdit *a = view->getSource(0);
        QCOMPARE(a->toPlainText(), QStringLiteral("yy = 1;\n    yy(2);\n"));
        a->undo();
        QCOMPARE(a->toPlainText(), QStringLiteral("x = 1;\n    x(2);\n"));
        a->undo();
        QCOMPARE(a->toPlainText(), QStringLiteral("foo = 1;\n    foo(2);\n"));
        QVERIFY(!a->isDirty());
        QCOMPARE(ovtest::readFile(folder + "/a.php"), QByteArray("foo = 1;\n\tfoo(2);\n"));
    }

    void fastSearchBox()
    {
        const QString a = file("fast.php", "Foo foo");
        QVERIFY(open(a, 5));
        QComboBox *box = nullptr;
        for (QToolBar *bar : window->findChildren<QToolBar *>()) {
            if (auto *found = bar->findChild<QComboBox *>())
                box = found;
        }
        QVERIFY(box);
        const int before = box->count();
        window->fastSearch("Foo");
        QCOMPARE(describe({selection()}), describe({{a, 0, 3}}));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Achieved end of document"));
        window->fastSearch("foo");
        QCOMPARE(describe({selection()}), describe({{a, 4, 7}}));
        window->fastSearch("FOO");
        QCOMPARE(box->count(), before + 1);
        QCOMPARE(box->itemText(0), QStringLiteral("Foo"));
    }
};

QTEST_MAIN(SearchCommandsTest)
#include "tst_searchcommands.moc"
