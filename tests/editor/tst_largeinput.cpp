// Large documents and very long lines: highlighting stays local to what is
// shown and edited, a long line opens, takes keys and saves back unchanged.
#include <QElapsedTimer>
#include <QPlainTextDocumentLayout>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "app/dodivez.h"
#include "editor/core/phphighlightengine.h"
#include "editor/mainview.h"
#include "editor/phpsyntaxhighlighter.h"
#include "editor/sourceedit.h"
#include "testutil.h"

using namespace ov;

namespace {

// The end state of every line as a fresh run of the line procedure gives it.
QVector<int> freshStates(const QTextDocument &doc)
{
    QVector<int> states;
    QVector<PhpFormat> formats;
    int state = -1;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        states << (state = PhpHighlightEngine::highlightLine(b.text(), state, &formats));
    return states;
}

QVector<int> recordedStates(const QTextDocument &doc)
{
    QVector<int> states;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        states << b.userState();
    return states;
}

// The colours a block should carry, as format ranges.
QList<QTextLayout::FormatRange> freshRanges(const PHPSyntaxHighlighter &h, const QTextBlock &block)
{
    QVector<PhpFormat> formats;
    PhpHighlightEngine::highlightLine(block.text(), block.previous().isValid() ? block.previous().userState() : -1,
                                      &formats);
    QList<QTextLayout::FormatRange> ranges;
    if (block.length() - 1 > PHPSyntaxHighlighter::LongLineLimit)
        return ranges;
    for (const PhpSpan &s : PhpHighlightEngine::spans(formats))
        ranges.append({s.start, s.length, h.formatFor(s.format)});
    return ranges;
}

bool waitComplete(const PHPSyntaxHighlighter &h)
{
    QElapsedTimer t;
    t.start();
    while (!h.isComplete() && t.elapsed() < 60000)
        QCoreApplication::processEvents();
    return h.isComplete();
}

QString phpLines(int n)
{
    QString text = "<?php\n";
    for (int i = 0; i < n; ++i)
        text += QStringLiteral("$a%1 = foo($b, \"s\"); // c\n").arg(i);
    return text;
}

} // namespace

class LargeInputTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    DODIvez *window = nullptr;

    MainView *view() const { return window->mainView(); }

    SourceEdit *open(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        if (!ovtest::writeFile(path, bytes) || !view()->addSource(path))
            return nullptr;
        QCoreApplication::processEvents();
        return view()->getSource(path);
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        window = new DODIvez(QString());
        window->resize(800, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void cleanupTestCase() { delete window; }
    void cleanup() { ovtest::discardAllTabs(view()); }

    // Only the lines on screen get colours; a keystroke re-does its own line,
    // not the document; the lines shown after a jump to the end are right.
    void largeDocumentIsHighlightedWhereShown()
    {
        const int lines = 60000;
        SourceEdit *e = open("big.php", (phpLines(lines) + "/* open\necho $x;\n").toUtf8());
        QVERIFY(e);
        PHPSyntaxHighlighter *h = view()->syntaxHighlighter();
        QTextDocument *doc = e->document();
        QTRY_VERIFY(!doc->findBlockByNumber(1).layout()->formats().isEmpty());
        QVERIFY(doc->findBlockByNumber(lines / 2).layout()->formats().isEmpty());

        QVERIFY(waitComplete(*h));
        QTextCursor c(doc->findBlockByNumber(lines / 2));
        e->setTextCursor(c);
        QCoreApplication::processEvents();
        const qint64 before = h->linesHighlighted();
        QTest::keyClick(e, Qt::Key_Z);
        QCoreApplication::processEvents();
        QVERIFY2(h->linesHighlighted() - before < 200, qPrintable(QString::number(h->linesHighlighted() - before)));
        QCOMPARE(doc->findBlockByNumber(lines / 2).layout()->formats(), freshRanges(*h, doc->findBlockByNumber(lines / 2)));

        e->moveCursor(QTextCursor::End);
        QCoreApplication::processEvents();
        const QTextBlock last = doc->lastBlock().previous();   // the file ends in a line end
        QCOMPARE(last.layout()->formats(), freshRanges(*h, last));
        QCOMPARE(last.layout()->formats().size(), 1);   // all of "echo $x;" inside the comment
        QVERIFY(waitComplete(*h));
        QCOMPARE(recordedStates(*doc), freshStates(*doc));
    }

    // An edit that changes the state of every following line (a comment
    // opened at the top) does a bounded part at once and the rest later;
    // both agree with a fresh highlighting, as do edits made meanwhile.
    void cascadingEditsMatchFreshHighlighting()
    {
        QRandomGenerator rng(7);
        QTextDocument doc;
        doc.setPlainText(phpLines(3000));
        doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
        PHPSyntaxHighlighter h;
        h.setDocument(&doc);
        QVERIFY(waitComplete(h));
        const QStringList pieces = {"/*", "*/", "?>", "<?php ", "\n", "x", "\"", "\n/*\n"};
        for (int step = 0; step < 30; ++step) {
            QTextCursor c(&doc);
            c.setPosition(rng.bounded(doc.characterCount() - 1));
            if (rng.bounded(4) == 0) {
                c.setPosition(qMin(doc.characterCount() - 1, c.position() + rng.bounded(40)), QTextCursor::KeepAnchor);
                c.removeSelectedText();
            } else {
                c.insertText(pieces[rng.bounded(int(pieces.size()))]);
            }
            if (rng.bounded(3) == 0)
                QVERIFY(waitComplete(h));
        }
        QVERIFY(waitComplete(h));
        QCOMPARE(recordedStates(doc), freshStates(doc));
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            QCOMPARE(b.layout()->formats(), freshRanges(h, b));
    }

    // One line of 1 MB: it opens, takes keys in its middle, saves back byte
    // for byte, and the line after it is coloured from its end state.
    void longLineOpensTypesAndSaves()
    {
        QByteArray line = "<?php /* ";
        while (line.size() < 1024 * 1024)
            line += "$a = array(1, 'b'); if ($c) { echo \"d\"; } ";
        const QByteArray bytes = line + "*/ echo $x;\necho $y;\n";
        QElapsedTimer t;
        t.start();
        SourceEdit *e = open("line.php", bytes);
        QVERIFY(e);
        QTextDocument *doc = e->document();
        QTextCursor c(doc);
        c.setPosition(line.size() / 2);
        e->setTextCursor(c);
        QTest::keyClicks(e, "xy");
        QCoreApplication::processEvents();
        QCOMPARE(doc->firstBlock().text().mid(line.size() / 2, 2), QStringLiteral("xy"));
        e->undo();
        e->undo();
        QCOMPARE(doc->firstBlock().text().size(), line.size() + QByteArray("*/ echo $x;").size());
        QVERIFY(doc->firstBlock().layout()->formats().isEmpty());   // too long to colour
        const QTextBlock second = doc->firstBlock().next();
        QTRY_COMPARE(second.layout()->formats(), freshRanges(*view()->syntaxHighlighter(), second));
        QVERIFY(!second.layout()->formats().isEmpty());
        QVERIFY(e->saveDocument());
        QCOMPARE(ovtest::readFile(dir.filePath("line.php")), bytes);
        QVERIFY2(t.elapsed() < 60000, qPrintable(QString::number(t.elapsed())));
    }
};

QTEST_MAIN(LargeInputTest)
#include "tst_largeinput.moc"
