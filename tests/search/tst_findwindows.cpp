#include <QCheckBox>
#include <QElapsedTimer>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include "app/dodivez.h"
#include "editor/core/workers.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "search/core/filesearch.h"
#include "search/finddialog.h"
#include "search/findresults.h"
#include "testutil.h"

using namespace ov;

namespace {

FindEntry entry(const QString &file, int line, const QString &text, int start, int end)
{
    FindEntry e;
    e.fileName = file;
    e.lineNumber = line;
    e.lineText = text;
    e.startColumn = start;
    e.endColumn = end;
    return e;
}

} // namespace

class FindWindowsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    DODIvez *window = nullptr;

    template <typename T>
    T *control(const char *name) const
    {
        T *w = window->findDialog()->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
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
    }

    void entryIsAMetaType()
    {
        registerFindEntryType();
        QCOMPARE(QMetaType::fromName("ov::FindEntry"), QMetaType::fromType<FindEntry>());
        const FindEntry e = entry("f", 1, "x", 0, 1);
        QCOMPARE(QVariant::fromValue(e).value<FindEntry>(), e);
    }

    void hitsGroupByFile()
    {
        FindResults *tree = window->findResults(0);
        tree->addEntry(entry("C:/web/a.php", 12, "echo $x;", 0, 4));
        tree->addEntry(entry("/b.php", 1, "x", 0, 1));
        tree->addEntry(entry("C:/web/a.php", 13, "echo $y;", 5, 7));
        tree->addEntry(entry("C:/web/a.php", 2, "z", 0, 1));
        QCOMPARE(tree->topLevelItemCount(), 2);
        QTreeWidgetItem *a = tree->topLevelItem(0);
        QCOMPARE(a->text(0), QStringLiteral("C:/web/a.php (entries 3)"));
        QCOMPARE(a->data(0, FindResults::FileNameRole).toString(), QStringLiteral("C:/web/a.php"));
        QVERIFY(a->font(0).bold());
        QVERIFY(!a->child(0)->font(0).bold());
        QCOMPARE(a->child(0)->text(0), QStringLiteral("a.php (12): echo $x;"));
        QCOMPARE(a->child(1)->text(0), QStringLiteral("a.php (13): echo $y;"));
        QCOMPARE(a->child(2)->text(0), QStringLiteral("a.php (2): z"));
        QCOMPARE(a->child(1)->data(0, FindResults::EntryRole).value<FindEntry>(),
                 entry("C:/web/a.php", 13, "echo $y;", 5, 7));
        QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("/b.php (entries 1)"));
        // Open, so that the hits show without a click.
        QVERIFY(a->isExpanded() && tree->topLevelItem(1)->isExpanded());

        // After the inherited clear() too, a file gets one fresh item.
        tree->QTreeWidget::clear();
        tree->addEntry(entry("/b.php", 1, "x", 0, 1));
        tree->addEntry(entry("/b.php", 2, "x", 0, 1));
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("/b.php (entries 2)"));
    }

    void longLinesShowTheHit()
    {
        const QString line = QString(50000, u'a') + QStringLiteral("NEEDLE") + QString(50000, u'b');
        const QString text = FindResults::hitText(entry("/x/min.js", 1, line, 50000, 50006));
        QVERIFY(text.size() < 1100);
        QVERIFY(text.startsWith(QStringLiteral("min.js (1): ")));
        QVERIFY(text.contains(QStringLiteral("aNEEDLEb")));
    }

    // A double-click on a hit opens its file and selects exactly the hit;
    // on a file item it does nothing but fold.
    void doubleClickSelectsTheHit()
    {
        const QString path = dir.filePath("click.php");
        QVERIFY(ovtest::writeFile(path, "<?php\r\n\tfunction f() {}\r\n"));
        FindResults *tree = window->findResults(1);
        tree->addEntry(entry(path, 2, "    function f() {}", 4, 12));
        tree->_itemDoubleClicked(tree->topLevelItem(0), 0);
        QCOMPARE(window->mainView()->count(), 0);
        tree->_itemDoubleClicked(tree->topLevelItem(0)->child(0), 0);
        SourceEdit *editor = window->mainView()->getCurrentSource();
        QVERIFY(editor);
        QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("function"));
        // After the line shrank, the selection stays inside it.
        editor->setPlainText("<?php\nfun");
        tree->_itemDoubleClicked(tree->topLevelItem(0)->child(0), 0);
        QCOMPARE(editor->textCursor().selectionStart(), 9);
        QCOMPARE(editor->textCursor().selectionEnd(), 9);
    }

    // Tens of thousands of hits arrive in order; a clear() while they come
    // stops them for good.
    void manyHitsAndCancelling()
    {
        QByteArray bytes;
        for (int i = 0; i < 10000; ++i)
            bytes += "hit hit hit\n";
        QList<SearchSource> sources;
        for (int i = 0; i < 3; ++i) {
            const QString path = dir.filePath(QStringLiteral("many%1.php").arg(i));
            QVERIFY(ovtest::writeFile(path, bytes));
            sources.append(SearchSource{path, QString(), false});
        }
        sources.append(SearchSource{dir.filePath("missing.php"), QString(), false});
        FindResults *tree = window->findResults(0);
        QSignalSpy filled(tree, &FindResults::filled);
        tree->fill(new FileSearch(sources, TextMatcher("HIT", false, true)));
        QVERIFY(tree->isFilling());
        QVERIFY(filled.wait(20000));
        QVERIFY(!tree->isFilling());
        QCOMPARE(tree->topLevelItemCount(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(tree->topLevelItem(i)->childCount(), 30000);
        // Only the first groups open: the later ones would make every slice slow.
        QVERIFY(tree->topLevelItem(0)->isExpanded());
        QVERIFY(!tree->topLevelItem(2)->isExpanded());
        QCOMPARE(tree->topLevelItem(2)->child(29999)->text(0), QStringLiteral("many2.php (10000): hit hit hit"));

        tree->fill(new FileSearch(sources, TextMatcher("hit", false, false)));
        QTest::qWait(5);
        tree->clear();
        QTest::qWait(200);
        QCOMPARE(tree->topLevelItemCount(), 0);
        QVERIFY(!tree->isFilling());
        QCOMPARE(filled.count(), 1);
    }

    // Clearing the window while the search is inside a 64 MB file returns
    // at once; the next search gets its own hits only.
    void cancellingInABigFileDoesNotWait()
    {
        const QString big = dir.filePath("big.php");
        QVERIFY(ovtest::writeBigFile(big, 64 * 1024 * 1024, "", "hit and more text on a line\n"));
        const QString small = dir.filePath("small.php");
        QVERIFY(ovtest::writeFile(small, "one hit\nno\nhit two\n"));
        FindResults *tree = window->findResults(0);
        QSignalSpy filled(tree, &FindResults::filled);
        tree->fill(new FileSearch({SearchSource{big, QString(), false}}, TextMatcher("hit", false, true)));
        QTest::qWait(40);   // inside the big file
        QElapsedTimer t;
        t.start();
        tree->clear();
        QCoreApplication::processEvents();
        QVERIFY2(t.elapsed() < 50, qPrintable(QStringLiteral("took %1 ms").arg(t.elapsed())));

        tree->fill(new FileSearch({SearchSource{small, QString(), false}}, TextMatcher("hit", false, true)));
        QVERIFY(filled.wait(20000));
        Workers::instance()->pool()->waitForDone();   // the stopped search ends too
        QTest::qWait(100);
        QCOMPARE(filled.count(), 1);
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->childCount(), 2);
        QCOMPARE(tree->topLevelItem(0)->child(1)->text(0), QStringLiteral("small.php (3): hit two"));
        QFile::remove(big);
    }

    void dialogLayout()
    {
        FindDialog *dialog = window->findDialog();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Find and Replace"));
        QCOMPARE(dialog->size(), QSize(279, 345));
        auto *scope = control<QComboBox>("findLookIn");
        QCOMPARE(scope->count(), 3);
        QCOMPARE(scope->itemText(2), QStringLiteral("Current Project"));
        QVERIFY(control<QRadioButton>("resultWindow1")->isChecked());
        QVERIFY(!control<QCheckBox>("replaceMatchCase")->isChecked());
        QVERIFY(control<QComboBox>("replaceWith")->isEditable());
    }

    // Buttons read their own tab; Find All and Replace All close the
    // dialog, Find Next and Replace keep it; only Find All keeps history.
    void dialogButtons()
    {
        const QString path = dir.filePath("dialog.php");
        QVERIFY(ovtest::writeFile(path, "Foo foo FOO"));
        QVERIFY(window->mainView()->addSource(path));
        SourceEdit *editor = window->mainView()->getCurrentSource();
        FindDialog *dialog = window->findDialog();

        dialog->showFind("foo");
        QVERIFY(dialog->isVisible());
        control<QCheckBox>("findMatchCase")->setChecked(true);
        control<QRadioButton>("resultWindow2")->setChecked(true);
        Q_EMIT control<QPushButton>("findAllButton")->pressed();
        QVERIFY(!dialog->isVisible());
        FindResults *second = window->findResults(1);
        QTRY_VERIFY(!second->isFilling());
        QCOMPARE(second->topLevelItem(0)->childCount(), 1);
        QCOMPARE(window->findResults(0)->topLevelItemCount(), 0);

        auto *history = control<QComboBox>("findWhat");
        dialog->showFind("FOO");
        Q_EMIT control<QPushButton>("findAllButton")->pressed();
        dialog->showFind("bar");
        Q_EMIT control<QPushButton>("findAllButton")->pressed();
        QCOMPARE(history->count(), 2);
        QCOMPARE(history->itemText(0), QStringLiteral("bar"));
        // Shown without a text: the last text stays, selected to be typed over.
        dialog->showFind();
        QCOMPARE(history->currentText(), QStringLiteral("bar"));
        QCOMPARE(history->lineEdit()->selectedText(), QStringLiteral("bar"));

        // The "Find" tab's match case does not reach Find Next.
        dialog->showReplace("FOO");
        Q_EMIT control<QPushButton>("findNextButton")->pressed();
        QVERIFY(dialog->isVisible());
        QCOMPARE(editor->textCursor().selectionStart(), 0);
        control<QComboBox>("replaceWith")->setEditText("bar");
        Q_EMIT control<QPushButton>("replaceButton")->pressed();
        QVERIFY(dialog->isVisible());
        // The hit shown is the one replaced.
        QCOMPARE(editor->toPlainText(), QStringLiteral("bar foo FOO"));
        Q_EMIT control<QPushButton>("replaceAllButton")->pressed();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(editor->toPlainText(), QStringLiteral("bar bar bar"));
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("2 occurrence(s) replaced."));
        QCOMPARE(control<QComboBox>("replaceFindWhat")->count(), 0);
    }
};

QTEST_MAIN(FindWindowsTest)
#include "tst_findwindows.moc"
