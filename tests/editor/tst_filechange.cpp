// Files changed, touched or removed by other programs while open.
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <utime.h>

#include "app/dodivez.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "testutil.h"

using namespace ov;

class FileChangeTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    DODIvez *window = nullptr;

    MainView *view() const { return window->mainView(); }

    SourceEdit *open(const QString &name, const QByteArray &bytes)
    {
        return ovtest::openSource(view(), dir.filePath(name), bytes);
    }

    // Another program writes the file the way most do: into a new file
    // that replaces the old one.
    static void replaceOnDisk(const QString &path, const QByteArray &bytes)
    {
        const QString tmp = path + ".other";
        QVERIFY(ovtest::writeFile(tmp, bytes));
        QVERIFY(::rename(tmp.toLocal8Bit().constData(), path.toLocal8Bit().constData()) == 0);
    }

    static int callsWith(const QString &needle)
    {
        int n = 0;
        for (const Dialogs::Call &c : Dialogs::calls())
            n += c.text.contains(needle);
        return n;
    }

    // Gives the watcher time to report and the monitor time to settle.
    static void settle() { QTest::qWait(600); }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        window = new DODIvez(QString());
    }

    void cleanupTestCase() { delete window; }

    void init() { Dialogs::clear(); }

    void cleanup() { ovtest::discardAllTabs(view()); }

    void unmodifiedDocumentIsOfferedAReloadKeepingTheLine()
    {
        SourceEdit *e = open("reload.php", "one\ntwo\nthree\nfour\n");
        QVERIFY(e);
        e->setTextCursor(QTextCursor(e->document()->findBlockByNumber(2)));
        Dialogs::queueAnswer(QMessageBox::Yes);
        replaceOnDisk(dir.filePath("reload.php"), "ONE\nTWO\nTHREE\nFOUR\nFIVE\n");
        QTRY_COMPARE_WITH_TIMEOUT(e->toPlainText(), QString("ONE\nTWO\nTHREE\nFOUR\nFIVE\n"), 5000);
        QCOMPARE(callsWith("was changed by another program"), 1);
        QCOMPARE(e->textCursor().blockNumber(), 2);
        QVERIFY(!e->isDirty());

        // Declined: the document stays, and the same version is not asked about again.
        Dialogs::queueAnswer(QMessageBox::No);
        ovtest::writeFile(dir.filePath("reload.php"), "third version\n");
        QTRY_COMPARE_WITH_TIMEOUT(callsWith("was changed by another program"), 2, 5000);
        ovtest::writeFile(dir.filePath("unrelated.txt"), "x");
        settle();
        QCOMPARE(callsWith("was changed by another program"), 2);
        QCOMPARE(e->toPlainText(), QString("ONE\nTWO\nTHREE\nFOUR\nFIVE\n"));
    }

    void newTimeStampAloneAsksNothing()
    {
        SourceEdit *e = open("touch.php", "<?php\n");
        QVERIFY(e);
        const QByteArray path = dir.filePath("touch.php").toLocal8Bit();
        struct utimbuf times = {1000000000, 1000000000};
        QCOMPARE(utime(path.constData(), &times), 0);
        ovtest::writeFile(dir.filePath("touch.php"), "<?php\n"); // same bytes rewritten
        settle();
        QCOMPARE(Dialogs::calls().size(), 0);
        // The new stamp is the one protected now: the next look is cheap.
        QCOMPARE(e->diskStamp().modifiedMs, QFileInfo(dir.filePath("touch.php")).lastModified().toMSecsSinceEpoch());
    }

    void ownSaveAsksNothing()
    {
        SourceEdit *e = open("own.php", "a\n");
        QVERIFY(e);
        e->insertPlainText("b");
        QVERIFY(e->saveDocument());
        settle();
        QCOMPARE(Dialogs::calls().size(), 0);
        QCOMPARE(ovtest::readFile(dir.filePath("own.php")), QByteArray("ba\n"));
    }

    void modifiedDocumentAsksBeforeOverwriting()
    {
        SourceEdit *e = open("both.php", "mine\n");
        QVERIFY(e);
        e->insertPlainText("edited ");
        replaceOnDisk(dir.filePath("both.php"), "theirs\n");
        settle();
        QCOMPARE(Dialogs::calls().size(), 0); // nothing asked while the user's edits are unsaved

        Dialogs::queueAnswer(QMessageBox::No);
        QVERIFY(!e->saveDocument());
        QCOMPARE(callsWith("Do you want to overwrite"), 1);
        QCOMPARE(ovtest::readFile(dir.filePath("both.php")), QByteArray("theirs\n"));
        QVERIFY(e->isDirty());

        Dialogs::queueAnswer(QMessageBox::Yes);
        QVERIFY(e->saveDocument());
        QCOMPARE(ovtest::readFile(dir.filePath("both.php")), QByteArray("edited mine\n"));
        QVERIFY(!e->isDirty());
    }

    void removedFileIsReportedAndKept()
    {
        SourceEdit *e = open("gone.php", "keep me\n");
        QVERIFY(e);
        QVERIFY(QFile::remove(dir.filePath("gone.php")));
        QTRY_COMPARE_WITH_TIMEOUT(callsWith("was deleted or moved"), 1, 5000);
        QCOMPARE(e->toPlainText(), QString("keep me\n"));
        QVERIFY(e->isDirty());
        settle();
        QCOMPARE(callsWith("was deleted or moved"), 1); // said once

        // Saving writes it again, without asking.
        QVERIFY(e->saveDocument());
        QCOMPARE(ovtest::readFile(dir.filePath("gone.php")), QByteArray("keep me\n"));
        QCOMPARE(Dialogs::calls().size(), 1);
    }

    // Tabs opened without their editor are watched too: their text is
    // modified, so a removal is reported and a change is left to the save.
    void tabsWithoutEditorsAreWatched()
    {
        QVERIFY(open("front.php", "x\n"));
        const QString changed = dir.filePath("changed.php");
        const QString removed = dir.filePath("removed.php");
        QVERIFY(ovtest::writeFile(changed, "foo\n"));
        QVERIFY(ovtest::writeFile(removed, "foo\n"));
        QVERIFY(ovtest::openReplaced(view(), changed, "foo", "bar"));
        QVERIFY(ovtest::openReplaced(view(), removed, "foo", "bar"));
        QTest::qWait(50); // the paths are watched once the event loop runs

        QVERIFY(QFile::remove(removed));
        QTRY_COMPARE_WITH_TIMEOUT(callsWith("was deleted or moved"), 1, 5000);
        QVERIFY(view()->pendingSource(2));
        replaceOnDisk(changed, "theirs\n");
        settle();
        QCOMPARE(Dialogs::calls().size(), 1);
        QVERIFY(view()->pendingSource(1));

        // The editor made later still knows the version it was made from.
        Dialogs::queueAnswer(QMessageBox::No);
        QVERIFY(!view()->getSource(1)->saveDocument());
        QCOMPARE(callsWith("Do you want to overwrite"), 1);
        QCOMPARE(ovtest::readFile(changed), QByteArray("theirs\n"));
        QVERIFY(view()->getSource(2)->saveDocument());
        QCOMPARE(ovtest::readFile(removed), QByteArray("bar\n"));
    }
};

QTEST_MAIN(FileChangeTest)
#include "tst_filechange.moc"
