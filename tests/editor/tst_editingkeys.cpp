#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/core/editingkeys.h"

using namespace ov;

namespace {

// Smart Home and End as the word moves of QTextCursor define them: the
// reference for lines short enough to lay out.
int referenceHome(QTextDocument *doc, const QTextBlock &line, int before)
{
    QTextCursor probe(line);
    probe.movePosition(QTextCursor::EndOfWord);
    if (probe.position() != line.position())
        return line.position();
    probe.movePosition(QTextCursor::WordRight);
    Q_UNUSED(doc);
    return probe.block() == line && probe.position() != before ? probe.position() : line.position();
}

int referenceEnd(QTextDocument *doc, const QTextBlock &line, int before)
{
    const int lineEnd = line.position() + line.length() - 1;
    QTextCursor probe(doc);
    probe.setPosition(lineEnd);
    probe.movePosition(QTextCursor::StartOfWord);
    if (probe.position() != lineEnd || line.text().trimmed().isEmpty())
        return lineEnd;
    probe.movePosition(QTextCursor::WordLeft);
    probe.movePosition(QTextCursor::EndOfWord);
    return probe.block() == line && probe.position() != before ? probe.position() : lineEnd;
}

} // namespace

class EditingKeysTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The character scans behind Home and End land where the word moves do,
    // from every position of the line.
    void homeEndFollowWordMoves_data()
    {
        QTest::addColumn<QString>("line");
        for (const char *line : {"    foo", "foo", "foo   ", "    ", "", "  $a = f($b);  ", "x;", "a  b  ", "\tx\t",
                                 "  (foo)  ", "// note: done.  "})
            QTest::newRow(line) << QString::fromLatin1(line);
        QTest::newRow("no-break spaces") << QStringLiteral("\u00a0\u00a0y\u00a0");
    }
    void homeEndFollowWordMoves()
    {
        QFETCH(QString, line);
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("above\n") + line + QStringLiteral("\nbelow"));
        const QTextBlock block = doc.findBlockByNumber(1);
        for (int at = block.position(); at < block.position() + block.length(); ++at) {
            QCOMPARE(EditingKeys::homeTarget(block, at), referenceHome(&doc, block, at));
            QCOMPARE(EditingKeys::endTarget(block, at), referenceEnd(&doc, block, at));
        }
    }

    // A line too long for the engine: Home and End go round the same way,
    // and the indentation a new line takes is measured the same way.
    void longLineKeysAsShortOnes()
    {
        const QString middle(EditingKeys::ScanLimit * 3, QLatin1Char('x'));
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("      ") + middle + QStringLiteral(" end   "));
        const QTextBlock line = doc.firstBlock();
        const int start = line.position();
        const int end = start + line.length() - 1;
        const int mid = start + 1000;
        QCOMPARE(EditingKeys::homeTarget(line, mid), start + 6);
        QCOMPARE(EditingKeys::homeTarget(line, start + 6), start);
        QCOMPARE(EditingKeys::endTarget(line, mid), end - 3);
        QCOMPARE(EditingKeys::endTarget(line, end - 3), end);
        QCOMPARE(EditingKeys::indentationWidth(line), 6);
    }

    // The closers on a bare document: a pair typed, text typed inside, the
    // closer typed over; a brace block taken back by "}" at once.
    void closersWithoutWidget()
    {
        QTextDocument doc;
        QTextCursor cursor(&doc);
        EditingKeys keys;
        const auto type = [&](const QString &text) {
            for (const QChar c : text) {
                QKeyEvent e(QEvent::KeyPress, c.unicode(), Qt::NoModifier, QString(c));
                if (!keys.handleKey(&e, cursor))
                    cursor.insertText(QString(c));
                keys.prunePendingPairs(cursor.position());
            }
        };
        type(QStringLiteral("f(\"a\")"));
        QCOMPARE(doc.toPlainText(), QStringLiteral("f(\"a\")"));
        QCOMPARE(cursor.position(), 6);
        type(QStringLiteral("{}"));
        QCOMPARE(doc.toPlainText(), QStringLiteral("f(\"a\"){}"));
    }
};

QTEST_MAIN(EditingKeysTest)
#include "tst_editingkeys.moc"
