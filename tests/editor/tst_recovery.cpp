// Unsaved changes left by a session that ended without closing: offered
// once, recovered with their bookmarks and one undo step back to the disk,
// discarded or kept aside on request; and the project file kept current.
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include "app/dodivez.h"
#include "editor/core/documentjournal.h"
#include "editor/mainview.h"
#include "editor/recovery.h"
#include "editor/sourceedit.h"
#include "project/project.h"
#include "project/projectlistitem.h"
#include "testutil.h"

using namespace ov;

class RecoveryTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    DODIvez *window = nullptr;

    MainView *view() const { return window->mainView(); }

    SourceEdit *open(const QString &name, const QByteArray &bytes)
    {
        return ovtest::openSource(view(), dir.filePath(name), bytes);
    }

    static void typeAt(SourceEdit *e, int line, const QString &text)
    {
        QTextCursor c(e->document()->findBlockByNumber(line));
        c.movePosition(QTextCursor::EndOfBlock);
        e->setTextCursor(c);
        const QStringList lines = text.split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(e, Qt::Key_Return);
            QTest::keyClicks(e, lines[i]);
        }
    }

    // What a killed editor leaves: its journal, and nobody holding it.
    static QString crash(MainView *view, SourceEdit *e)
    {
        auto *journal = e->findChild<DocumentJournal *>();
        journal->flush();
        const QString path = journal->journalPath();
        const QByteArray bytes = ovtest::readFile(path);
        Dialogs::queueAnswer(QMessageBox::Discard);
        view->closeTab(view->indexOf(e));
        deleteClosed();
        ovtest::writeFile(path, bytes);
        Dialogs::clear();
        return path;
    }

    // Closed tabs go at the event loop's next turn.
    static void deleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    static QStringList journals()
    {
        return QDir(JournalSlot::folder()).entryList({"*.journal"}, QDir::Files);
    }

    static QList<Dialogs::Call> callsOf(const QString &kind)
    {
        QList<Dialogs::Call> found;
        for (const Dialogs::Call &c : Dialogs::calls())
            if (c.kind == kind)
                found << c;
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        QDir(JournalSlot::folder()).removeRecursively();
        window = new DODIvez(QString());
    }

    void cleanupTestCase() { delete window; }

    void init() { Dialogs::clear(); }

    void cleanup()
    {
        ovtest::discardAllTabs(view());
        deleteClosed();
        QDir(JournalSlot::folder()).removeRecursively();
    }

    void recoveredDocumentUndoesToTheDisk()
    {
        const QByteArray disk = "<?php\none();\ntwo();\nthree();\n";
        SourceEdit *e = open("undo.php", disk);
        typeAt(e, 1, " // changed");
        typeAt(e, 3, "\nfour();");
        e->setTextCursor(QTextCursor(e->document()->findBlockByNumber(2)));
        e->addBookmarkToCurrentLine();
        const QString typed = e->document()->toRawText();
        crash(view(), e);

        Dialogs::queueAnswer(QMessageBox::Yes);
        QVERIFY(view()->addSource(dir.filePath("undo.php")));
        const QList<Dialogs::Call> asked = callsOf("question");
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].text.contains("undo.php"));
        QVERIFY(asked[0].text.contains("last changed " + QDate::currentDate().toString("yyyy-MM-dd")));
        QVERIFY(!asked[0].text.contains("changed on disk"));

        e = view()->getSource(dir.filePath("undo.php"));
        QCOMPARE(e->document()->toRawText(), typed);
        QVERIFY(e->isDirty());
        QCOMPARE(e->bookmarkLines(), QList<int>{2});
        // The recovered document journals on in the journal it came from.
        auto *journal = e->findChild<DocumentJournal *>();
        journal->flush();
        QCOMPARE(journals().size(), 1);

        e->undo();
        QCOMPARE(e->toPlainText().toUtf8(), disk);
        QVERIFY(!e->isDirty());
        QVERIFY(journals().isEmpty());
    }

    // Changed on disk meanwhile: said so, recovered all the same, and undo
    // goes to the file as it is now. Asked at start-up, which opens it.
    void fileChangedOnDiskIsSaidAndRecovered()
    {
        SourceEdit *e = open("changed.php", "<?php\nold();\n");
        typeAt(e, 1, " mine();");
        crash(view(), e);
        ovtest::writeFile(dir.filePath("changed.php"), "<?php\nnew();\nmore();\n");

        Dialogs::queueAnswer(QMessageBox::Yes);
        view()->recovery()->recoverOrphans();
        QCOMPARE(callsOf("question").size(), 1);
        QVERIFY(callsOf("question")[0].text.contains("changed on disk"));
        e = view()->getSource(dir.filePath("changed.php"));
        QVERIFY(e);
        QCOMPARE(e->toPlainText(), QString("<?php\nold(); mine();\n"));
        e->undo();
        QCOMPARE(e->toPlainText(), QString("<?php\nnew();\nmore();\n"));
    }

    // Discard deletes the journal; no answer keeps it, and the file is not
    // asked about again in this session.
    void discardDeletesAndCancelKeeps()
    {
        SourceEdit *e = open("gone.php", "a\n");
        typeAt(e, 0, "b");
        crash(view(), e);
        Dialogs::queueAnswer(QMessageBox::Discard);
        view()->recovery()->recoverOrphans();
        QVERIFY(journals().isEmpty());
        QCOMPARE(view()->getNumTabs(), 0);

        e = open("kept.php", "a\n");
        typeAt(e, 0, "b");
        crash(view(), e);
        view()->recovery()->recoverOrphans(); // unanswered: Cancel
        QCOMPARE(journals().size(), 1);
        QVERIFY(view()->addSource(dir.filePath("kept.php")));
        QCOMPARE(callsOf("question").size(), 1);
        QCOMPARE(view()->getSource(dir.filePath("kept.php"))->toPlainText(), QString("a\n"));
    }

    void damagedJournalIsRefusedAndKeptAside()
    {
        const QString bad = JournalSlot::folder() + "/bad.journal";
        ovtest::writeFile(bad, "VIZIRO-JOURNAL 1\n\xff\xff\xff\x7f garbage");
        view()->recovery()->recoverOrphans();
        QCOMPARE(callsOf("warning").size(), 1);
        QVERIFY(callsOf("warning")[0].text.contains("cannot be used"));
        QVERIFY(!QFileInfo::exists(bad));
        QCOMPARE(QDir(JournalSlot::folder() + "/damaged").entryList(QDir::Files).size(), 1);
        QCOMPARE(view()->getNumTabs(), 0);
    }

    // Saved, or closed without saving, a document leaves no journal.
    void saveAndCloseRemoveTheJournal()
    {
        SourceEdit *e = open("save.php", "x\n");
        typeAt(e, 0, "y");
        e->findChild<DocumentJournal *>()->flush();
        QCOMPARE(journals().size(), 1);
        QVERIFY(e->saveDocument());
        QVERIFY(journals().isEmpty());

        typeAt(e, 0, "z");
        QTRY_COMPARE(journals().size(), 1); // written on its own within a moment
        Dialogs::clear();
        Dialogs::queueAnswer(QMessageBox::Discard);
        QVERIFY(view()->closeTab(view()->indexOf(e)));
        deleteClosed();
        QVERIFY(journals().isEmpty());

        // Nor does a window closed the normal way.
        DODIvez other{QString()};
        QVERIFY(other.mainView()->addSource(dir.filePath("save.php")));
        typeAt(other.mainView()->getSource(0), 0, "w");
        other.mainView()->getSource(0)->findChild<DocumentJournal *>()->flush();
        QCOMPARE(journals().size(), 1);
        Dialogs::queueAnswer(QMessageBox::Discard);
        QVERIFY(other.close());
        deleteClosed();
        QVERIFY(journals().isEmpty());
    }

    // A second window on the same file neither offers nor takes the
    // first one's journal.
    void twoInstancesKeepTheirOwnJournals()
    {
        SourceEdit *a = open("both.php", "x\n");
        typeAt(a, 0, "first");
        a->findChild<DocumentJournal *>()->flush();
        DODIvez second{QString()};
        QVERIFY(second.mainView()->addSource(dir.filePath("both.php")));
        SourceEdit *b = second.mainView()->getSource(dir.filePath("both.php"));
        QVERIFY(callsOf("question").isEmpty());
        typeAt(b, 0, "second");
        b->findChild<DocumentJournal *>()->flush();
        QCOMPARE(journals().size(), 2);
        QVERIFY(a->findChild<DocumentJournal *>()->journalPath() != b->findChild<DocumentJournal *>()->journalPath());
        b->document()->setModified(false);
    }

    // Items and bookmarks reach the project file before the event loop's
    // next turn ends.
    void projectChangesAreWrittenAtOnce()
    {
        Project *project = window->project();
        const QString file = dir.filePath("auto.vuzar");
        const QString php = dir.filePath("auto.php");
        ovtest::writeFile(php, "<?php\n");
        QVERIFY(project->createProject(file));
        QVERIFY(project->saveProject());
        const QByteArray before = ovtest::readFile(file);
        project->addFileItem(php, project->getRootItem());
        QTRY_VERIFY(ovtest::readFile(file).contains("auto.php"));
        project->setBookmarks(php, {3});
        QTRY_VERIFY(ovtest::readFile(file) != before && ovtest::readFile(file).contains("3"));
        const QByteArray written = ovtest::readFile(file);
        project->getRootItem()->setExpanded(false);
        QTest::qWait(20);
        QCOMPARE(ovtest::readFile(file), written);

        // An edit made as soon as the project has loaded.
        project->closeProject();
        QVERIFY(project->loadProject(file));
        project->removeBookmark(php, 3);
        QTRY_VERIFY(!ovtest::readFile(file).contains("Bookmark "));
        project->closeProject();
    }
};

QTEST_MAIN(RecoveryTest)
#include "tst_recovery.moc"
