// The document tabs: opening, closing with the save prompt, titles, the
// edit actions and status indicators, drops and the tab menu.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QGraphicsView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QUrl>

#include "app/dodivez.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "testutil.h"

using namespace ov;

class MainViewTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    DODIvez *window = nullptr;

    MainView *view() const { return window->mainView(); }
    QString path(const QString &name) const { return dir.filePath(name); }

    SourceEdit *open(const QString &name, const QByteArray &bytes = "text\n")
    {
        if (!ovtest::writeFile(path(name), bytes) || !view()->addSource(path(name)))
            return nullptr;
        return view()->getSource(path(name));
    }

    SourceEdit *openDirty(const QString &name)
    {
        SourceEdit *e = open(name);
        if (e)
            e->insertPlainText(QStringLiteral("edit "));
        return e;
    }

    QStringList tabTexts() const
    {
        QStringList texts;
        for (int i = 0; i < view()->count(); ++i)
            texts << view()->tabText(i);
        return texts;
    }

    QStringList askedAbout() const
    {
        QStringList titles;
        for (const Dialogs::Call &call : Dialogs::calls())
            if (call.title == QLatin1String("Save document"))
                titles << call.text;
        return titles;
    }

    bool visible(const char *name) const { return window->findChild<QLabel *>(name)->isVisibleTo(window); }

    // Runs the tab menu for tab `idx` and returns its entries ("-" for a separator).
    QStringList tabMenuEntries(int idx)
    {
        QStringList entries;
        QTimer::singleShot(0, this, [&entries] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction *a : menu->actions())
                entries << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->isEnabled() ? "" : " (off)"));
            menu->close();
        });
        view()->showTabContextMenu(view()->tabBar()->tabRect(idx).center());
        return entries;
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        window = new DODIvez(QString());
        window->show();
    }

    void cleanupTestCase() { delete window; }

    void init() { Dialogs::clear(); }

    void cleanup() { ovtest::discardAllTabs(view()); }

    void opensAndReactivates()
    {
        QVERIFY(!view()->addSource(QString()));
        QVERIFY(open("a.php"));
        QVERIFY(open("b.php"));
        QCOMPARE(tabTexts(), QStringList({"a.php", "b.php"}));
        QCOMPARE(view()->tabToolTip(0), path("a.php"));
        QCOMPARE(view()->currentIndex(), 1);
        QVERIFY(view()->addSource(path("a.php")));
        QCOMPARE(view()->count(), 2);
        QCOMPARE(view()->currentIndex(), 0);
        // The same file through another spelling is another document.
        QVERIFY(view()->addSource(dir.path() + "/./a.php"));
        QCOMPARE(view()->count(), 3);
        QVERIFY(Dialogs::calls().isEmpty());
    }

    void closeTabAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QByteArray>("onDisk");
        QTest::newRow("save") << int(QMessageBox::Save) << true << QByteArray("edit text\n");
        QTest::newRow("discard") << int(QMessageBox::Discard) << true << QByteArray("text\n");
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << QByteArray("text\n");
    }

    void closeTabAnswers()
    {
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(QByteArray, onDisk);
        QVERIFY(openDirty("c.php"));
        Dialogs::queueAnswer(answer);
        QCOMPARE(view()->closeTab(0), closed);
        QCOMPARE(askedAbout(), QStringList("Do you want save changes?"));
        QCOMPARE(Dialogs::lastCall().kind, QStringLiteral("warning"));
        QCOMPARE(view()->count(), closed ? 0 : 1);
        QCOMPARE(ovtest::readFile(path("c.php")), onDisk);
    }

    // A middle click closes the tab under it, not the current one, asking
    // first about unsaved changes.
    void middleClickClosesTheTab()
    {
        QVERIFY(openDirty("m1.php"));
        QVERIFY(open("m2.php"));
        QTabBar *bar = view()->tabBar();
        Dialogs::queueAnswer(int(QMessageBox::Cancel));
        QTest::mouseClick(bar, Qt::MiddleButton, {}, bar->tabRect(0).center());
        QCOMPARE(tabTexts(), QStringList({"m1.php*", "m2.php"}));
        QCOMPARE(askedAbout(), QStringList("Do you want save changes?"));
        Dialogs::queueAnswer(int(QMessageBox::Discard));
        QTest::mouseClick(bar, Qt::MiddleButton, {}, bar->tabRect(0).center());
        QCOMPARE(tabTexts(), QStringList("m2.php"));
    }

    void cleanTabClosesWithoutAsking()
    {
        QVERIFY(open("clean.php"));
        QVERIFY(view()->closeTab(0));
        QVERIFY(view()->closeTab(5)); // no such page: nothing to do
        QCOMPARE(view()->count(), 0);
        QVERIFY(Dialogs::calls().isEmpty());
    }

    // A save that fails while closing keeps the tab and its edits.
    void failedSaveKeepsTheTab()
    {
        SourceEdit *e = openDirty("keep.php");
        e->rename(path("missing/keep.php"));
        Dialogs::queueAnswer(int(QMessageBox::Save));
        QVERIFY(!view()->closeTab(0));
        QCOMPARE(view()->count(), 1);
        QVERIFY(Dialogs::lastCall().text.startsWith("Cannot write file"));
        QVERIFY(e->isDirty());
        QCOMPARE(view()->tabText(0), QStringLiteral("keep.php*"));
    }

    void closeAllGoesFromTheLastAndStopsAtCancel()
    {
        openDirty("1.php");
        openDirty("2.php");
        openDirty("3.php");
        Dialogs::queueAnswer(int(QMessageBox::Discard));
        Dialogs::queueAnswer(int(QMessageBox::Cancel));
        QVERIFY(!view()->closeAll());
        QCOMPARE(tabTexts(), QStringList({"1.php*", "2.php*"}));
        QCOMPARE(askedAbout().size(), 2);
        // The area is itself again: tab bar, current tab, its indicators.
        QVERIFY(view()->tabBar()->isVisible());
        QCOMPARE(view()->currentIndex(), 1);
        QVERIFY(visible("lineLabel"));

        Dialogs::queueAnswer(int(QMessageBox::Discard));
        Dialogs::queueAnswer(int(QMessageBox::Discard));
        QVERIFY(view()->closeAll());
        QCOMPARE(view()->count(), 0);
        QVERIFY(!visible("lineLabel"));
    }

    void closeAllButThis()
    {
        open("a.php");
        openDirty("b.php");
        open("c.php");
        open("d.php");
        view()->setCurrentIndex(2);
        QMetaObject::invokeMethod(view(), "closeAllButThis"); // b's question: cancelled
        QCOMPARE(tabTexts(), QStringList({"a.php", "b.php*", "c.php"}));
        QCOMPARE(view()->currentIndex(), 2);
        Dialogs::queueAnswer(int(QMessageBox::Discard));
        QMetaObject::invokeMethod(view(), "closeAllButThis");
        QCOMPARE(tabTexts(), QStringList({"c.php"}));
    }

    void titlesFollowTheDirtyState()
    {
        SourceEdit *e = open("t.php");
        e->insertPlainText("x");
        QCOMPARE(view()->tabText(0), QStringLiteral("t.php*"));
        QVERIFY(window->save());
        QCOMPARE(view()->tabText(0), QStringLiteral("t.php"));
        e->undo();
        view()->saveAll();
        QCOMPARE(view()->tabText(0), QStringLiteral("t.php"));
        QCOMPARE(ovtest::readFile(path("t.php")), QByteArray("text\n"));
    }

    // Tabs opened behind the current one (Replace All opens hundreds so):
    // the current tab stays, and a document is highlighted once its tab is
    // shown; tab names changed meanwhile are right once the batch ends.
    void backgroundTabs()
    {
        const auto colours = [](SourceEdit *e) { return e->document()->firstBlock().layout()->formats().size(); };
        SourceEdit *a = open("a.php", "<?php $x = 1; // one\n");
        QVERIFY(ovtest::writeFile(path("b.php"), "<?php $y = 2; // two\n"));
        view()->beginManyChanges();
        SourceEdit *b = view()->addSourceInBackground(path("b.php"));
        QVERIFY(b);
        QVERIFY(!view()->addSourceInBackground(path("missing.php")));
        QCOMPARE(Dialogs::lastCall().title, QStringLiteral("Application"));
        QTextCursor c(b->document());
        c.insertText("//");
        view()->endManyChanges();
        QVERIFY(view()->tabBar()->isVisible());
        QCOMPARE(tabTexts(), QStringList({"a.php", "b.php*"}));
        QCOMPARE(view()->tabToolTip(1), path("b.php"));
        QCOMPARE(view()->currentWidget(), a);
        // The highlighter colours a document on the next turn of the event loop.
        QTRY_VERIFY(colours(a) > 0);
        QCOMPARE(colours(b), 0);

        view()->setCurrentWidget(b);
        QTRY_VERIFY(colours(b) > 0);
        view()->setCurrentWidget(a);
        QTRY_VERIFY(colours(a) > 0);

        // Into an empty area the first tab is current all the same.
        ovtest::discardAllTabs(view());
        SourceEdit *first = view()->addSourceInBackground(path("b.php"));
        QCOMPARE(view()->getCurrentSource(), first);
        QTRY_VERIFY(colours(first) > 0);
    }

    // A tab opened without its editor stands for it: named and searched
    // without one, the editor made in its place once shown or asked for.
    void tabsWithoutEditorsYet()
    {
        QVERIFY(ovtest::writeFile(path("p1.php"), "foo 1\n\tfoo 2\n"));
        QVERIFY(ovtest::writeFile(path("p2.php"), "foo\n"));
        SourceEdit *front = open("front.php");
        QVERIFY(ovtest::openReplaced(view(), path("p1.php"), "foo", "bar"));
        QVERIFY(ovtest::openReplaced(view(), path("p2.php"), "foo", "bar"));
        view()->updateTabNames();
        view()->updateFunctionLists();
        QVERIFY(view()->grab().width() > 0);
        QCOMPARE(tabTexts(), QStringList({"front.php", "p1.php*", "p2.php*"}));
        QCOMPARE(view()->tabToolTip(2), path("p2.php"));
        QCOMPARE(view()->indexOfSource(path("p2.php")), 2);
        QCOMPARE(view()->sourcePath(1), path("p1.php"));
        QCOMPARE(view()->getCurrentSource(), front);
        QVERIFY(view()->pendingSource(1) && view()->pendingSource(2));
        QCOMPARE(view()->pendingSource(1)->text(), QStringLiteral("bar 1\n    bar 2\n"));

        // Shown: its editor takes its place, modified; one undo restores the file.
        view()->setCurrentIndex(1);
        SourceEdit *p1 = view()->realizedSource(1);
        QVERIFY(p1);
        QCOMPARE(view()->getCurrentSource(), p1);
        QCOMPARE(p1->toPlainText(), QStringLiteral("bar 1\n    bar 2\n"));
        QVERIFY(p1->isDirty());
        QCOMPARE(tabTexts(), QStringList({"front.php", "p1.php*", "p2.php*"}));
        QCOMPARE(view()->tabToolTip(1), path("p1.php"));
        p1->undo();
        QCOMPARE(p1->toPlainText(), QStringLiteral("foo 1\n    foo 2\n"));
        QVERIFY(!p1->isDirty() && !p1->document()->isUndoAvailable());

        // Asked for: made where it is, the current tab staying current.
        SourceEdit *p2 = view()->getSource(path("p2.php"));
        QVERIFY(p2 && view()->indexOf(p2) == 2);
        QCOMPARE(view()->currentIndex(), 1);
        QCOMPARE(p2->toPlainText(), QStringLiteral("bar\n"));
        QVERIFY(!view()->pendingSource(2));
    }

    // Closing and saving a tab without its editor asks and writes what its
    // editor would, in the file's encoding and line ends.
    void tabsWithoutEditorsSaveAsTheirEditors_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("CR LF") << QByteArray("foo\r\n\tfoo x\r\n") << QByteArray("bar\r\n    bar x\r\n");
        QTest::newRow("Latin-1") << QByteArray("caf\xe9 foo\n") << QByteArray("caf\xe9 bar\n");
        QTest::newRow("UTF-8 with a mark") << QByteArray("\xef\xbb\xbf\xc3\xa9 foo") << QByteArray("\xef\xbb\xbf\xc3\xa9 bar");
        QTest::newRow("UTF-16") << QByteArray("\xff\xfe" "f\0o\0o\0\n\0", 10) << QByteArray("\xff\xfe" "b\0a\0r\0\n\0", 10);
    }

    void tabsWithoutEditorsSaveAsTheirEditors()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, saved);
        QVERIFY(open("front.php"));
        QVERIFY(ovtest::writeFile(path("s.php"), bytes));
        QVERIFY(ovtest::openReplaced(view(), path("s.php"), "foo", "bar"));
        Dialogs::queueAnswer(QMessageBox::Cancel);
        QVERIFY(!view()->closeTab(1));
        QCOMPARE(askedAbout(), QStringList({"Do you want save changes?"}));
        // Asked about, the tab was shown: with the editor it stood for.
        QCOMPARE(view()->currentIndex(), 1);
        QVERIFY(view()->realizedSource(1) && view()->realizedSource(1)->isDirty());
        QCOMPARE(ovtest::readFile(path("s.php")), bytes);
        Dialogs::queueAnswer(QMessageBox::Save);
        QVERIFY(view()->closeTab(1));
        QCOMPARE(view()->count(), 1);
        QCOMPARE(ovtest::readFile(path("s.php")), saved);

        // Save All writes it too, and the tab is then clean.
        QVERIFY(ovtest::writeFile(path("s.php"), bytes));
        QVERIFY(ovtest::openReplaced(view(), path("s.php"), "foo", "bar"));
        view()->saveAll();
        QCOMPARE(ovtest::readFile(path("s.php")), saved);
        QCOMPARE(tabTexts(), QStringList({"front.php", "s.php"}));
    }

    // Close All (and so closing the window) asks about each from the last
    // tab; a discarded one leaves its file alone.
    void closeAllAsksAboutTabsWithoutEditors()
    {
        QVERIFY(open("front.php"));
        for (const char *name : {"c1.php", "c2.php"}) {
            QVERIFY(ovtest::writeFile(path(name), "foo\n"));
            QVERIFY(ovtest::openReplaced(view(), path(name), "foo", "bar"));
        }
        Dialogs::queueAnswer(QMessageBox::Discard);
        Dialogs::queueAnswer(QMessageBox::Save);
        QVERIFY(view()->closeAll());
        QCOMPARE(askedAbout().size(), 2);
        QCOMPARE(view()->count(), 0);
        QCOMPARE(ovtest::readFile(path("c2.php")), QByteArray("foo\n"));
        QCOMPARE(ovtest::readFile(path("c1.php")), QByteArray("bar\n"));
    }

    void renameSource()
    {
        open("r.php");
        QVERIFY(!view()->renameSource(path("nope.php"), path("x.php")));
        QVERIFY(view()->renameSource(path("r.php"), path("sub/s.php")));
        QCOMPARE(view()->tabText(0), QStringLiteral("s.php"));
        QCOMPARE(view()->tabToolTip(0), path("sub/s.php"));
        QVERIFY(view()->getSource(path("sub/s.php")));
    }

    void editActionsAndIndicatorsFollowTheCurrentTab()
    {
        QAction *copy = window->getCopyAction();
        QAction *cut = window->getCutAction();
        QAction *paste = window->getPasteAction();
        QAction *undo = window->getUndoAction();
        QAction *redo = window->getRedoAction();
        SourceEdit *a = open("a.php");
        QVERIFY(paste->isEnabled());
        QVERIFY(!copy->isEnabled() && !cut->isEnabled() && !undo->isEnabled() && !redo->isEnabled());
        QVERIFY(visible("lineLabel") && visible("charLabel") && visible("overwriteModeLabel"));

        QVERIFY(window->getSelectAllAction()->isEnabled());
        window->getSelectAllAction()->trigger();
        QCOMPARE(a->textCursor().selectedText().size(), a->document()->characterCount() - 1);
        QVERIFY(copy->isEnabled() && cut->isEnabled());
        view()->cut();
        QVERIFY(undo->isEnabled());
        QVERIFY(!copy->isEnabled());
        view()->undo();
        QVERIFY(redo->isEnabled());

        SourceEdit *b = open("b.php");
        QVERIFY(!undo->isEnabled() && !redo->isEnabled());
        b->setOverwrite(true);

        // The call graph page keeps the actions as they were and hides the indicators.
        view()->setCurrentIndex(0);
        QVERIFY(redo->isEnabled());
        view()->showCallGraph(PHPFunctionDefinition());
        QCOMPARE(view()->getNumTabs(), 3);
        QCOMPARE(view()->currentWidget()->whatsThis(), QStringLiteral("CallGraph"));
        QCOMPARE(view()->tabText(2), QStringLiteral("Call Graph"));
        QVERIFY(!view()->getCurrentSource());
        QVERIFY(redo->isEnabled() && paste->isEnabled());
        QVERIFY(!visible("lineLabel") && !visible("charLabel") && !visible("overwriteModeLabel"));
        view()->redo(); // no editor: nothing happens
        QCOMPARE(a->toPlainText(), QStringLiteral("text\n"));
        view()->changeOverwriteMode();

        view()->setCurrentIndex(1);
        QVERIFY(visible("overwriteModeLabel"));
        QCOMPARE(window->findChild<QLabel *>("overwriteModeLabel")->text(), QStringLiteral("OVR"));
        view()->changeOverwriteMode();
        QVERIFY(!b->overwriteMode());
        QCOMPARE(window->findChild<QLabel *>("overwriteModeLabel")->text(), QStringLiteral("INS"));

        // Closing the call graph keeps its page for the next graph.
        QVERIFY(view()->closeTab(2));
        QVERIFY(view()->showCallGraph(PHPFunctionDefinition()));
        QCOMPARE(view()->getNumTabs(), 3);
    }

    void dropsOpenFilesInOrder()
    {
        ovtest::writeFile(path("d1.php"), "1");
        ovtest::writeFile(path("d2.php"), "2");
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path("d1.php")), QUrl::fromLocalFile(path("d2.php"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view(), &drop);
        QCOMPARE(tabTexts(), QStringList({"d1.php", "d2.php"}));
        QCOMPARE(view()->currentIndex(), 1);
        // Dropped on an editor, a file is opened rather than pasted as a link.
        ovtest::writeFile(path("d3.php"), "3");
        QMimeData third;
        third.setUrls({QUrl::fromLocalFile(path("d3.php"))});
        QWidget *viewport = view()->getSource(0)->viewport();
        QDragEnterEvent onEditor(QPoint(5, 5), Qt::CopyAction, &third, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &onEditor);
        QVERIFY(onEditor.isAccepted());
        QDropEvent dropOnEditor(QPointF(5, 5), Qt::CopyAction, &third, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &dropOnEditor);
        QCOMPARE(tabTexts(), QStringList({"d1.php", "d2.php", "d3.php"}));
        QCOMPARE(view()->getSource(0)->toPlainText(), QStringLiteral("1"));
        QMimeData text;
        text.setText("plain");
        QDragEnterEvent other(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        other.ignore();
        QApplication::sendEvent(view(), &other);
        QVERIFY(!other.isAccepted());
        // A drag that carries no data at all is turned away.
        for (QWidget *target : {static_cast<QWidget *>(view()), viewport}) {
            QDragEnterEvent none(QPoint(5, 5), Qt::CopyAction, nullptr, Qt::LeftButton, Qt::NoModifier);
            none.ignore();
            QApplication::sendEvent(target, &none);
            QVERIFY(!none.isAccepted());
            QDropEvent dropNone(QPointF(5, 5), Qt::CopyAction, nullptr, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &dropNone);
        }
        QCOMPARE(view()->count(), 3);
    }

    // The question names the file and shows it: the last tab is asked
    // about first, and becomes current for it.
    void closeQuestionShowsTheFileAskedAbout()
    {
        openDirty("first.php");
        openDirty("second.php");
        open("third.php");
        view()->setCurrentIndex(0);
        Dialogs::queueAnswer(int(QMessageBox::Cancel));
        QVERIFY(!view()->closeAll());
        QCOMPARE(view()->currentIndex(), 1);
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("Do you want save changes?"));
        QCOMPARE(Dialogs::lastCall().informativeText,
                 QStringLiteral("second.php\nin %1").arg(QDir::toNativeSeparators(dir.path())));

        // Close All But This shows each tab it asks about, then the one kept.
        view()->setCurrentIndex(1);
        QSignalSpy shown(view(), &QTabWidget::currentChanged);
        Dialogs::queueAnswer(int(QMessageBox::Discard));
        QMetaObject::invokeMethod(view(), "closeAllButThis");
        QCOMPARE(tabTexts(), QStringList({"second.php*"}));
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown.first().first().toInt(), 0);
        QCOMPARE(Dialogs::lastCall().informativeText.section('\n', 0, 0), QStringLiteral("first.php"));
    }

    // A character the file's encoding lacks is never written in another
    // encoding unasked; the status bar names encoding and line ends.
    void encodingOnSave()
    {
        const auto label = [this](const char *name) {
            return window->findChild<QLabel *>(name)->text().trimmed();
        };
        const QString euro = QString::fromUtf8("\xe2\x82\xac");
        SourceEdit *cp = open("cp.php", "\x93q\x94\r\n");
        QCOMPARE(label("encodingLabel"), QStringLiteral("Windows-1252"));
        QCOMPARE(label("lineEndingLabel"), QStringLiteral("CRLF"));
        QVERIFY(visible("encodingLabel") && visible("lineEndingLabel"));
        cp->moveCursor(QTextCursor::End);
        cp->insertPlainText(euro);
        QVERIFY(cp->saveDocument());
        QCOMPARE(ovtest::readFile(path("cp.php")), QByteArray("\x93q\x94\r\n\x80"));
        QVERIFY(Dialogs::calls().isEmpty());

        SourceEdit *latin = open("latin.php", "caf\xe9\n");
        QCOMPARE(label("encodingLabel"), QStringLiteral("ISO-8859-1"));
        QCOMPARE(label("lineEndingLabel"), QStringLiteral("LF"));
        latin->insertPlainText(euro);
        QVERIFY(!latin->saveDocument()); // unanswered: cancelled
        QVERIFY(Dialogs::lastCall().text.contains("ISO-8859-1"));
        QVERIFY(Dialogs::lastCall().text.contains("UTF-8"));
        QCOMPARE(ovtest::readFile(path("latin.php")), QByteArray("caf\xe9\n"));
        QVERIFY(latin->isDirty());
        Dialogs::queueAnswer(int(QMessageBox::Yes));
        QVERIFY(latin->saveDocument());
        QCOMPARE(ovtest::readFile(path("latin.php")), QString(euro + "caf\u00e9\n").toUtf8());
        QCOMPARE(label("encodingLabel"), QStringLiteral("UTF-8"));
        view()->setCurrentIndex(0);
        QCOMPARE(label("encodingLabel"), QStringLiteral("Windows-1252"));
    }

    void tabMenu()
    {
        open("m.php");
        QCOMPARE(tabMenuEntries(0), QStringList({"Save", "Copy Full Path", "Open Containing Folder", "-", "Close",
                                                 "Close All But This (off)"}));
        view()->showCallGraph(PHPFunctionDefinition());
        view()->setCurrentIndex(0);
        QCOMPARE(tabMenuEntries(1), QStringList({"Close", "Close All But This"}));
        QCOMPARE(view()->currentIndex(), 1);

        view()->setCurrentIndex(0);
        QMetaObject::invokeMethod(view(), "copyFilePath");
        QCOMPARE(QApplication::clipboard()->text(), path("m.php"));
        QMetaObject::invokeMethod(view(), "closeThis");
        QCOMPARE(tabTexts(), QStringList({"Call Graph"}));
    }
};

QTEST_MAIN(MainViewTest)
#include "tst_mainview.moc"
