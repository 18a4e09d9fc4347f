// Large documents and very long lines: highlighting stays local to what is
// shown and edited, a long line opens, takes keys and saves back unchanged.
#include <QElapsedTimer>
#include <QImage>
#include <QScrollBar>
#include <QtMath>
#include <QPlainTextDocumentLayout>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "app/dodivez.h"
#include "editor/core/phphighlightengine.h"
#include "editor/longlinelayout.h"
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

// One line of `size` characters of minified-looking PHP, without tabs.
QByteArray longLine(int size)
{
    QByteArray line = "<?php ";
    while (line.size() < size)
        line += "$a=array(1,'b');if($c){echo \"d\";} ";
    line.truncate(size);
    return line;
}

qint64 medianKeystrokeNs(SourceEdit *e, int count)
{
    QVector<qint64> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        QTest::keyClick(e, Qt::Key_K);
        QCoreApplication::processEvents();
        times << t.nsecsElapsed();
    }
    std::sort(times.begin(), times.end());
    return times[count / 2];
}

// Whether any pixel of `image` between x0 and x1 (exclusive) in the rows
// of `rows` is dark.
bool hasInk(const QImage &image, qreal x0, qreal x1, const QRect &rows)
{
    for (int x = qCeil(x0); x < qFloor(x1); ++x)
        for (int y = rows.top(); y <= rows.bottom(); ++y)
            if (x >= 0 && x < image.width() && y >= 0 && y < image.height() && qGray(image.pixel(x, y)) < 110)
                return true;
    return false;
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

    // Typing, deleting and selecting in the middle of a 3 MB line, then
    // undoing it all: the text is right after every step and the saved
    // bytes are the ones expected.
    void editingInLongLineKeepsTextExact()
    {
        const QByteArray original = longLine(3 * 1024 * 1024);
        SourceEdit *e = open("edit.php", original + "\nnext\n");
        QVERIFY(e);
        QTextDocument *doc = e->document();
        QString expected = QString::fromLatin1(original);
        const int mid = int(original.size()) / 2;
        e->goToPosition(mid);
        const auto line = [doc] { return doc->firstBlock().text(); };

        QTest::keyClicks(e, "xyz");
        expected.insert(mid, "xyz");
        QCOMPARE(e->textCursor().position(), mid + 3);
        QTest::keyClick(e, Qt::Key_Backspace);
        expected.remove(mid + 2, 1);
        QTest::keyClick(e, Qt::Key_Left);
        QTest::keyClick(e, Qt::Key_Left);
        QTest::keyClick(e, Qt::Key_Delete);
        expected.remove(mid, 1);
        QCOMPARE(line(), expected);
        QCOMPARE(e->textCursor().position(), mid);

        // A selection made with the keys is replaced by what is typed.
        QTest::keyClick(e, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(e, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(e->textCursor().selectedText(), expected.mid(mid, 2));
        QTest::keyClick(e, Qt::Key_Q);
        expected.replace(mid, 2, "q");
        QCOMPARE(line(), expected);
        // End goes to the end of the last word first, then to the line's end.
        int wordEnd = int(expected.size());
        while (expected.at(wordEnd - 1) == QLatin1Char(' '))
            --wordEnd;
        QTest::keyClick(e, Qt::Key_End);
        QCOMPARE(e->textCursor().position(), wordEnd);
        if (wordEnd != expected.size()) {
            QTest::keyClick(e, Qt::Key_End);
            QCOMPARE(e->textCursor().position(), int(expected.size()));
        }
        QTest::keyClick(e, Qt::Key_Home);
        QCOMPARE(e->textCursor().position(), 0);
        QTest::keyClick(e, Qt::Key_Down);
        QCOMPARE(e->textCursor().block().text(), QStringLiteral("next"));

        QVERIFY(e->saveDocument());
        QCOMPARE(ovtest::readFile(dir.filePath("edit.php")), expected.toLatin1() + "\nnext\n");
        while (doc->isUndoAvailable())
            doc->undo();
        QCOMPARE(line(), QString::fromLatin1(original));
    }

    // In a line longer than the engine can place (about four million
    // characters), the cursor's rectangle, a click and the drawing agree:
    // a click lands on the character drawn under it.
    void pointsAndPositionsAgreeInLongLine()
    {
        QByteArray line = longLine(4500 * 1024);
        const int at = 4400 * 1024;
        line.replace(at - 8, 20, "        MMMM        ");
        SourceEdit *e = open("far.php", line + "\n");
        QVERIFY(e);
        e->setFocus();
        e->goToPosition(at - 4);   // the cursor among the spaces before the mark
        QCoreApplication::processEvents();
        const QRect first = e->cursorRect();
        QVERIFY(e->viewport()->rect().contains(first.center()));
        QTextCursor c = e->textCursor();
        c.setPosition(at);
        const QRect markStart = e->cursorRect(c);
        c.setPosition(at + 4);
        const QRect markEnd = e->cursorRect(c);
        c.setPosition(at + 12);
        const QRect blankEnd = e->cursorRect(c);
        const qreal cell = (markEnd.left() - markStart.left()) / 4.0;
        QVERIFY(cell > 2);
        QVERIFY(qAbs(markStart.left() - first.left() - 4 * cell) <= 1);

        const QImage image = e->viewport()->grab().toImage();
        const QRect rows(0, markStart.top() + 2, 1, markStart.height() - 4);
        // Ink in the four cells of the mark and none in the blank cells on
        // either side (the cursor stands four cells before the mark).
        QVERIFY(hasInk(image, markStart.left(), markStart.left() + cell, rows));
        QVERIFY(hasInk(image, markEnd.left() - cell, markEnd.left(), rows));
        QVERIFY(!hasInk(image, first.left() + 2, markStart.left() - 1, rows));
        QVERIFY(!hasInk(image, markEnd.left() + 2, blankEnd.left() - 1, rows));

        const int y = markStart.center().y();
        QTest::mouseClick(e->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(markStart.left() + 1, y));
        QCOMPARE(e->textCursor().position(), at);
        QTest::mouseClick(e->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(qRound(markStart.left() + 2.8 * cell), y));
        QCOMPARE(e->textCursor().position(), at + 3);
        QTest::mouseClick(e->viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(markStart.left() + 1, y));
        QCOMPARE(e->textCursor().selectedText(), QStringLiteral("MMM"));
        QTest::mouseDClick(e->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(qRound(markStart.left() + 1.5 * cell), y));
        QCOMPARE(e->textCursor().selectedText(), QStringLiteral("MMMM"));
        QTest::mouseClick(e->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(markStart.left() + 1, y));
        QTest::keyClick(e, Qt::Key_W);
        QCOMPARE(e->document()->firstBlock().text().mid(at - 1, 6), QStringLiteral(" wMMMM"));
    }

    // The cost of a keystroke does not grow with the line it lands in.
    void keystrokeCostDoesNotGrowWithLineLength()
    {
        SourceEdit *small = open("small.php", longLine(200 * 1024) + "\n");
        QVERIFY(small);
        small->goToPosition(100 * 1024);
        medianKeystrokeNs(small, 3);   // warm up
        const qint64 smallNs = medianKeystrokeNs(small, 15);
        ovtest::discardAllTabs(view());
        SourceEdit *big = open("big.php", longLine(4 * 1024 * 1024) + "\n");
        QVERIFY(big);
        big->goToPosition(2 * 1024 * 1024);
        medianKeystrokeNs(big, 3);
        const qint64 bigNs = medianKeystrokeNs(big, 15);
        QVERIFY2(bigNs < 5 * smallNs + 20'000'000,
                 qPrintable(QStringLiteral("200 KB: %1 us, 4 MB: %2 us").arg(smallNs / 1000).arg(bigNs / 1000)));
    }

    // Up and Down between a short line and a long one keep the column; a
    // line that grows past the limit and shrinks back stays editable.
    void movingBetweenShortAndLongLines()
    {
        const QByteArray shortLine = "0123456789";
        SourceEdit *e = open("mixed.php", shortLine + "\n" + longLine(LongLineLayout::Limit + 10) + "\n" + shortLine + "\n");
        QVERIFY(e);
        QTextDocument *doc = e->document();
        e->goToPosition(6);
        QTest::keyClick(e, Qt::Key_Down);
        QCOMPARE(e->textCursor().positionInBlock(), 6);
        QCOMPARE(e->textCursor().blockNumber(), 1);
        QTest::keyClick(e, Qt::Key_Down);
        QCOMPARE(e->textCursor().blockNumber(), 2);
        QCOMPARE(e->textCursor().positionInBlock(), 6);
        QTest::keyClick(e, Qt::Key_Up);
        QTest::keyClick(e, Qt::Key_Up);
        QCOMPARE(e->textCursor().position(), 6);

        // Shrinking the long line below the limit hands it back to the engine.
        QTextCursor c(doc->findBlockByNumber(1));
        c.movePosition(QTextCursor::EndOfBlock);
        c.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, 20);
        c.removeSelectedText();
        QVERIFY(!LongLineLayout::isLong(doc->findBlockByNumber(1)));
        QCoreApplication::processEvents();
        QVERIFY(doc->findBlockByNumber(1).layout()->lineCount() > 0);
        c.insertText(QString(30, QLatin1Char('z')));
        QVERIFY(LongLineLayout::isLong(doc->findBlockByNumber(1)));
        QCOMPARE(doc->findBlockByNumber(1).layout()->lineCount(), 0);
        e->setTextCursor(c);
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(doc->findBlockByNumber(1).text().right(3), QStringLiteral("zzz"));
        QCOMPARE(doc->findBlockByNumber(1).length() - 1, LongLineLayout::Limit + 19);

        // Enter in the middle of an indented long line indents the new line
        // as deep.
        QTextCursor start(doc->findBlockByNumber(1));
        start.insertText(QStringLiteral("    "));
        const QString before = doc->findBlockByNumber(1).text();
        e->goToPosition(doc->findBlockByNumber(1).position() + 1000);
        QTest::keyClick(e, Qt::Key_Return);
        QCOMPARE(doc->findBlockByNumber(1).text(), before.left(1000));
        QCOMPARE(doc->findBlockByNumber(2).text(), QStringLiteral("    ") + before.mid(1000));
        QCOMPARE(e->textCursor().position(), doc->findBlockByNumber(2).position() + 4);
    }
};

QTEST_MAIN(LargeInputTest)
#include "tst_largeinput.moc"
