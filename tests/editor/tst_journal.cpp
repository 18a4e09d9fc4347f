// The journal of unsaved changes: what it records replays to the document's
// text, a journal cut or damaged anywhere is refused or gives an earlier
// state, and its lock keeps two live editors apart.
#include <QDir>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QtEndian>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "editor/core/documentjournal.h"
#include "editor/core/journal.h"
#include "testutil.h"

using namespace ov;

namespace {

JournalHeader header(const QString &path = QStringLiteral("/tmp/a.php"))
{
    JournalHeader h;
    h.filePath = path;
    h.format.encoding = TextFormat::Utf16LE;
    h.format.lineEnding = TextFormat::CRLF;
    h.base = {123, 1700000000000, QByteArray(20, 'x')};
    h.startedMs = 1700000001000;
    return h;
}

// One random edit of the kinds an editor makes.
void randomEdit(QTextDocument *doc, QRandomGenerator &rng)
{
    QTextCursor c(doc);
    const int length = doc->characterCount() - 1;
    const int pos = length ? rng.bounded(length + 1) : 0;
    c.setPosition(pos);
    static const QStringList pieces = {QStringLiteral("a"), QStringLiteral("\n"), QStringLiteral("caf\u00e9 "),
                                       QStringLiteral("\u00a0nbsp"), QStringLiteral("\U0001F600"),
                                       QStringLiteral("line\nnext\n"), QStringLiteral("    ")};
    switch (rng.bounded(6)) {
    case 0:
    case 1:
        c.insertText(pieces.at(rng.bounded(int(pieces.size()))));
        break;
    case 2:
        c.setPosition(qMin(length, pos + rng.bounded(12)), QTextCursor::KeepAnchor);
        c.removeSelectedText();
        break;
    case 3:
        c.setPosition(qMin(length, pos + rng.bounded(30)), QTextCursor::KeepAnchor);
        c.insertText(QStringLiteral("repl\n"));
        break;
    case 4:
        doc->undo();
        break;
    default:
        doc->redo();
        break;
    }
}

} // namespace

class JournalTest : public QObject
{
    Q_OBJECT

    QTemporaryDir home;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
        ovtest::isolate();
    }

    // Random edits, undo and redo journalled as they happen and written at
    // random moments replay to the document's raw text, bookmarks included.
    void journalReplaysEdits()
    {
        QRandomGenerator rng(1207);
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("<?php\necho 1;\n\n  $a = 'x';\n"));
        QList<int> marks{1};
        DocumentJournal journal(&doc, [] { return DocumentJournal::Source{"/tmp/a.php", {}, {}}; },
                                [&marks] { return marks; });
        for (int i = 0; i < 600; ++i) {
            randomEdit(&doc, rng);
            if (rng.bounded(10) == 0) {
                marks = {rng.bounded(doc.blockCount())};
                journal.noteBookmarksChanged();
            }
            if (rng.bounded(25) == 0 && doc.isModified()) {
                journal.flush();
                RecoveredDocument r;
                QString error;
                QVERIFY2(JournalReader::readFile(journal.journalPath(), &r, &error), qPrintable(error));
                QCOMPARE(r.text, doc.toRawText());
                QCOMPARE(r.bookmarks, marks);
                QCOMPARE(r.header.filePath, QStringLiteral("/tmp/a.php"));
            }
        }
        // Back to the text it started from, the journal goes.
        journal.flush();
        const QString path = journal.journalPath();
        doc.setModified(false);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(journal.journalPath().isEmpty());
    }

    // Formats laid over the text write nothing; a keystroke writes a
    // record of its own size, whatever the document's.
    void keystrokeCostsItsOwnSize()
    {
        QTextDocument doc;
        QString big;
        for (int i = 0; i < 20000; ++i)
            big += QStringLiteral("echo $line%1;\n").arg(i);
        doc.setPlainText(big);
        DocumentJournal journal(&doc, [] { return DocumentJournal::Source{"/tmp/b.php", {}, {}}; }, {});
        QTextCursor(&doc).insertText(QStringLiteral("x"));
        journal.flush();
        const qint64 start = QFileInfo(journal.journalPath()).size();
        QVERIFY(start > big.size());

        QTextCursor c(&doc);
        c.setPosition(5000);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        doc.findBlockByNumber(3).layout()->setFormats({{0, 4, bold}});
        doc.markContentsDirty(0, 200);
        c.insertText(QStringLiteral("y"));
        journal.flush();
        const qint64 perKey = QFileInfo(journal.journalPath()).size() - start;
        QVERIFY2(perKey < 64, qPrintable(QString::number(perKey)));
    }

    // Cut at every byte, a journal is refused or gives one of the states
    // its writes left; damaged at random it never crashes the reader.
    void cutOrDamagedJournals()
    {
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("<?php\n$x = 1;\n"));
        DocumentJournal journal(&doc, [] { return DocumentJournal::Source{"/tmp/c.php", {}, {}}; }, {});
        QRandomGenerator rng(77);
        QSet<QString> states;
        for (int i = 0; i < 12; ++i) {
            randomEdit(&doc, rng);
            states.insert(doc.toRawText()); // a write may be cut between two edits
            QTextCursor(&doc).insertText(QString::number(i));
            journal.flush();
            states.insert(doc.toRawText());
        }
        const QByteArray whole = ovtest::readFile(journal.journalPath());
        for (qsizetype n = 0; n < whole.size(); ++n) {
            RecoveredDocument r;
            if (JournalReader::parse(whole.left(n), &r, nullptr))
                QVERIFY2(states.contains(r.text), qPrintable(QStringLiteral("cut at %1").arg(n)));
        }
        for (int i = 0; i < 3000; ++i) {
            QByteArray bad = whole;
            for (int k = rng.bounded(1, 4); k > 0; --k)
                bad[rng.bounded(bad.size())] = char(rng.bounded(256));
            RecoveredDocument r;
            QString error;
            if (!JournalReader::parse(bad, &r, &error))
                QVERIFY(!error.isEmpty());
        }
        // The last append torn by a power cut: zeros where its bytes were due.
        RecoveredDocument r;
        QVERIFY(JournalReader::parse(whole + QByteArray(40, '\0'), &r, nullptr));
        QCOMPARE(r.text, doc.toRawText());
    }

    void handWrittenJournals_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray start = journal::fileStart() + journal::headerRecord(header())
                                 + journal::snapshotRecord(QStringLiteral("abc"), 1);
        QTest::newRow("other version") << QByteArray("VIZIRO-JOURNAL 9\n") + start.mid(17) << "another version";
        QTest::newRow("not a journal") << QByteArray("<?php echo 1;") << "not a recovery journal";
        QTest::newRow("edit past the end") << start + journal::editRecord({2, 5, QString()}, 2) << "impossible edit";
        QTest::newRow("negative position") << start + journal::editRecord({-1, 0, "x"}, 2) << "impossible edit";
        QTest::newRow("no text") << journal::fileStart() + journal::headerRecord(header()) << "no text";
        QTest::newRow("edit before text")
            << journal::fileStart() + journal::headerRecord(header()) + journal::editRecord({0, 0, "x"}, 2)
                   + journal::snapshotRecord("abc", 1)
            << "impossible edit";
        QTest::newRow("second header") << start + journal::headerRecord(header()) << "out of order";
        QTest::newRow("relative path") << journal::fileStart() + journal::headerRecord(header("a.php"))
                                              + journal::snapshotRecord("abc", 1)
                                       << "header is damaged";
        QByteArray flipped = start + journal::editRecord({0, 0, "zz"}, 2) + journal::editRecord({0, 0, "y"}, 3);
        flipped[start.size() + 20] = char(flipped[start.size() + 20] ^ 0x40);
        QTest::newRow("bad checksum mid-file") << flipped << "damaged";
    }

    void handWrittenJournals()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        RecoveredDocument r;
        QString error;
        QVERIFY(!JournalReader::parse(bytes, &r, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // A journal held by a live editor is not anyone else's; once its
    // process is gone, the next editor takes it over.
    void lockKeepsLiveEditorsApart()
    {
        const QString path = JournalSlot::folder() + "/held.journal";
        QVERIFY(ovtest::writeFile(path, "x"));
        int ready[2];
        QVERIFY(pipe(ready) == 0);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            QLockFile lock(path + ".lock");
            lock.setStaleLockTime(0);
            const char ok = lock.tryLock(0) ? 'y' : 'n';
            if (write(ready[1], &ok, 1) != 1)
                _exit(1);
            pause();
            _exit(0);
        }
        char ok = 0;
        QCOMPARE(read(ready[0], &ok, 1), ssize_t(1));
        QCOMPARE(ok, 'y');
        QVERIFY(JournalSlot::takeOrphans().empty());
        // A second journal for the same file goes elsewhere.
        JournalSlot mine = JournalSlot::acquireFor("/tmp/held.php");
        QVERIFY(mine.isValid());
        QVERIFY(mine.path() != path);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        std::vector<JournalSlot> orphans = JournalSlot::takeOrphans();
        QCOMPARE(orphans.size(), size_t(1));
        QCOMPARE(orphans.front().path(), path);
        orphans.front().remove();
        QVERIFY(!QFileInfo::exists(path));
        ::close(ready[0]);
        ::close(ready[1]);
    }
};

QTEST_MAIN(JournalTest)
#include "tst_journal.moc"
