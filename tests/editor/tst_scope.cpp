#include <QDir>
#include <QTemporaryDir>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/core/scopefinder.h"
#include "editor/core/textfile.h"
#include "editor/sourceedit.h"
#include "testutil.h"

using namespace ov;

namespace {

// "@" marks the cursor in the table's texts.
int cursorOf(QString &text)
{
    const int at = int(text.indexOf('@'));
    text.remove(at, 1);
    return at;
}

QString randomText(QRandomGenerator &rng, int length)
{
    static const QStringList pieces = {"{", "}", "(", ")", "[", "]", "<", ">", "->", "=>", "\n", "\n", " ",
                                       "a", "$x", "<?php", "?>", "\n    "};
    QString text;
    while (text.size() < length)
        text += pieces[rng.bounded(int(pieces.size()))];
    return text;
}

// The joined WordPress sources, as an editor would hold them, up to `limit` characters.
QString wordpressText(int limit)
{
    QString text;
    QStringList files;
    QDirIterator it("/usr/share/wordpress", {"*.php"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    for (const QString &f : files) {
        text += editorText(ovtest::readFile(f));
        if (text.size() >= limit)
            break;
    }
    return text.left(limit);
}

// Every type and the innermost choice at `pos`, fast against straightforward.
void compareAt(ScopeFinder &finder, const QString &text, int pos)
{
    int s[4], e[4], r[4];
    for (int t = 0; t < 4; ++t) {
        int fs, fe;
        r[t] = ScopeSearch::find(text, pos, s[t], e[t], t);
        const int fr = finder.find(pos, fs, fe, t);
        if (fr != r[t] || fs != s[t] || fe != e[t])
            QFAIL(qPrintable(QString("type %1 at %2: fast %3 %4 %5, straightforward %6 %7 %8")
                                 .arg(t).arg(pos).arg(fr).arg(fs).arg(fe).arg(r[t]).arg(s[t]).arg(e[t])));
    }
    int ns, ne, nt, fs, fe, ft;
    const int nr = ScopeSearch::innermost(s, e, r, ns, ne, nt);
    const int fr = finder.findInnermost(pos, fs, fe, ft);
    QCOMPARE(QList<int>({fr, fs, fe, ft}), QList<int>({nr, ns, ne, nt}));
}

// A random edit of the kinds an editor makes, small and large.
void randomEdit(QTextDocument &doc, QRandomGenerator &rng)
{
    QTextCursor c(&doc);
    const int len = doc.characterCount() - 1;
    c.setPosition(rng.bounded(len + 1));
    switch (rng.bounded(9)) {
    case 0:
    case 1: c.insertText(randomText(rng, 1 + rng.bounded(3))); break;
    case 2: c.insertText(randomText(rng, rng.bounded(4000))); break;   // a paste of many lines
    case 3: c.insertText(QString(9000 + rng.bounded(3000), '{') + "\n"); break;   // a long line
    case 4:
        c.setPosition(qMin(len, c.position() + rng.bounded(3)), QTextCursor::KeepAnchor);
        c.removeSelectedText();
        break;
    case 5:
        c.setPosition(qMin(len, c.position() + rng.bounded(len / 3 + 1)), QTextCursor::KeepAnchor);
        c.removeSelectedText();
        break;
    case 6: doc.undo(); break;
    case 7: doc.redo(); break;
    default: {
        c.beginEditBlock();   // several changes reported as one
        c.insertText("\n(\n");
        c.setPosition(rng.bounded(doc.characterCount()));
        c.insertText("]>\n}");
        c.endEditBlock();
    }
    }
}

// What a scope mark shows: the character it selects ("" when empty, at
// `where`), its foreground and background.
QString describe(const QTextEdit::ExtraSelection &sel)
{
    const QTextCursor &c = sel.cursor;
    const QString where = c.hasSelection() ? QString("char %1").arg(c.selectionStart())
                                           : QString("empty %1").arg(c.position());
    QString colours = sel.format.foreground().color().name();
    if (c.hasSelection())
        colours += " on " + sel.format.background().color().name();
    return where + ' ' + colours;
}

} // namespace

class ScopeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ovtest::isolate(); }

    void findOneType_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::newRow("inside parentheses") << "foo(a@, b)" << 1 << 0 << 3 << 8;
        QTest::newRow("right after the opener") << "{@ x }" << 0 << 0 << 0 << 4;
        QTest::newRow("right before the closer") << "{ x @}" << 0 << 0 << 0 << 4;
        QTest::newRow("after a closed inner pair") << "{ { a }@ }" << 0 << 0 << 0 << 8;
        QTest::newRow("nested pairs are skipped") << "( ( ) @ ( ) )" << 1 << 0 << 0 << 11;
        QTest::newRow("first character opens") << "{\n  @x\n}" << 0 << 0 << 0 << 6;
        QTest::newRow("opener only") << "{ a @b" << 0 << -3 << 0 << -1;
        QTest::newRow("closer only") << "a @ }" << 0 << -2 << -1 << 3;
        QTest::newRow("neither") << "a @ b" << 0 << -1 << -1 << -1;
        QTest::newRow("inner closer before an unmatched opener") << "{ } @{" << 0 << -1 << -1 << -1;
        QTest::newRow("strings and comments count") << "\"{\" /* ( */ @ ) }" << 0 << 0 << 1 << 15;
        QTest::newRow("arrows are angle closers") << "<?php $a->b(@);" << 3 << -1 << -1 << -1;
        QTest::newRow("arrow after the cursor") << "{ @$a->b(); }" << 3 << -2 << -1 << 5;
        QTest::newRow("unknown type means braces") << "{ (@) }" << 7 << 0 << 0 << 5;
        QTest::newRow("across lines") << "function f() {\n    if ($x) {\n        @\n    }\n}" << 0 << 0 << 27 << 42;
        QTest::newRow("cursor at the start") << "@{ }" << 0 << -10 << -1 << -1;
        QTest::newRow("cursor at the end") << "{ }@" << 0 << -10 << -1 << -1;
        QTest::newRow("empty text") << "@" << 0 << -10 << -1 << -1;
    }

    // The same table through the straightforward search and the finder.
    void findOneType()
    {
        QFETCH(QString, text);
        QFETCH(int, type);
        QFETCH(int, result);
        QFETCH(int, start);
        QFETCH(int, end);
        const int pos = cursorOf(text);
        int s, e;
        QCOMPARE(ScopeSearch::find(text, pos, s, e, type), result);
        QCOMPARE(QList<int>({s, e}), QList<int>({start, end}));
        QTextDocument doc(text);
        ScopeFinder finder(&doc);
        s = e = 99;
        QCOMPARE(finder.find(pos, s, e, type), result);
        QCOMPARE(QList<int>({s, e}), QList<int>({start, end}));
    }

    void innermost_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::newRow("call inside a block") << "{ foo(a@, b); }" << 1 << 0 << 5 << 10;
        QTest::newRow("block without angles") << "{@ x; }" << 0 << 0 << 0 << 5;
        QTest::newRow("arrow beats the braces") << "{@ $a->b(); }" << 3 << -2 << -1 << 5;
        QTest::newRow("enclosing block after a closed one") << "{ { a }@ }" << 0 << 0 << 0 << 8;
        QTest::newRow("nearest opener wins") << "([@])" << 2 << 0 << 1 << 2;
        QTest::newRow("nearest closer wins") << "[ ( @ ] )" << 2 << 0 << 0 << 5;
        QTest::newRow("a missing closer never wins") << "[ ( @ ]" << 1 << -3 << 2 << -1;
        QTest::newRow("lone opener") << "x { a @ b" << 0 << -3 << 2 << -1;
        QTest::newRow("nothing at all") << "a @ b" << 0 << -1 << -1 << -1;
        QTest::newRow("outside") << "@{}" << 0 << -10 << -1 << -1;
    }

    void innermost()
    {
        QFETCH(QString, text);
        QFETCH(int, type);
        QFETCH(int, result);
        QFETCH(int, start);
        QFETCH(int, end);
        const int pos = cursorOf(text);
        QTextDocument doc(text);
        ScopeFinder finder(&doc);
        int s, e, t;
        QCOMPARE(finder.findInnermost(pos, s, e, t), result);
        QCOMPARE(QList<int>({t, s, e}), QList<int>({type, start, end}));
    }

    void editorMarks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        const QString red = QColor(Qt::darkRed).name(), black = QColor(Qt::black).name();
        const QString gray = QColor(Qt::lightGray).name(), yellow = QColor(Qt::yellow).name();
        QTest::newRow("pair") << "if (foo(a@, b)) {}" << "char 7 " + red + " on " + gray << "char 12 " + red + " on " + gray;
        QTest::newRow("arrow closes before the brace") << "{@ $a->b(); }" << "empty 1 " + black
                                                       << "char 5 " + red + " on " + yellow;
        QTest::newRow("lone opener") << "x { a @b" << "char 2 " + red + " on " + yellow << "empty 6 " + black;
        QTest::newRow("no bracket") << "a @b" << "empty 2 " + black << "empty 2 " + black;
    }

    // The marks after the cursor moves there, as the user sees them.
    void editorMarks()
    {
        QFETCH(QString, text);
        QFETCH(QString, start);
        QFETCH(QString, end);
        const int pos = cursorOf(text);
        QTemporaryDir dir;
        QVERIFY(ovtest::writeFile(dir.filePath("a.php"), text.toUtf8()));
        SourceEdit editor(dir.filePath("a.php"), nullptr);
        QTextCursor c = editor.textCursor();
        c.setPosition(pos);
        editor.setTextCursor(c);
        QTextEdit::ExtraSelection s, e;
        editor.getScope(s, e);
        QCOMPARE(describe(s), start);
        QCOMPARE(describe(e), end);
        QCOMPARE(s.format.fontWeight(), int(QFont::Black));
        const QList<QTextEdit::ExtraSelection> shown = editor.extraSelections();
        QCOMPARE(shown.size(), 3);
        QCOMPARE(describe(shown[1]), start);
        QCOMPARE(describe(shown[2]), end);

        // At either end of the text the marks stay as they were.
        c.setPosition(0);
        editor.setTextCursor(c);
        editor.getScope(s, e);
        QCOMPARE(describe(s), start);
        c.movePosition(QTextCursor::End);
        editor.setTextCursor(c);
        editor.getScope(s, e);
        QCOMPARE(describe(e), end);
    }

    // Typing keeps the marks right: the index follows the edits.
    void editorMarksFollowEdits()
    {
        QTemporaryDir dir;
        QVERIFY(ovtest::writeFile(dir.filePath("a.php"), "<?php\nfunction f() {\n    g();\n}\n"));
        SourceEdit editor(dir.filePath("a.php"), nullptr);
        QTextCursor c = editor.textCursor();
        c.setPosition(27);   // between "g(" and ")"
        editor.setTextCursor(c);
        editor.insertPlainText("[x");
        int s, e, t;
        QCOMPARE(editor.findScopeTypeForCursor(editor.textCursor().position(), s, e, t), int(ScopeNoEnd));
        QCOMPARE(QList<int>({t, s}), QList<int>({2, 27}));
        editor.insertPlainText("]");
        QCOMPARE(editor.findScopeForCursor(28, s, e, 1), int(ScopeFound));
        QCOMPARE(QList<int>({s, e}), QList<int>({26, 30}));
        while (editor.document()->isUndoAvailable())
            editor.undo();
        QCOMPARE(editor.findScopeTypeForCursor(27, s, e, t), int(ScopeFound));
        QCOMPARE(QList<int>({t, s, e}), QList<int>({1, 26, 27}));
    }

    // Generated text under random edits: small and large inserts, long
    // lines, removals across many lines, undo and redo, grouped changes.
    void fastEqualsStraightforwardOnGeneratedText()
    {
        QRandomGenerator rng(7);
        for (int round = 0; round < 6; ++round) {
            QTextDocument doc(randomText(rng, 20000 + rng.bounded(40000)));
            ScopeFinder finder(&doc);
            for (int step = 0; step < 60; ++step) {
                randomEdit(doc, rng);
                const QString text = doc.toPlainText();
                for (int probe = 0; probe < 8; ++probe) {
                    compareAt(finder, text, rng.bounded(int(text.size()) + 1));
                    if (QTest::currentTestFailed())
                        return;
                }
            }
            doc.setPlainText(randomText(rng, 3000));
            const QString text = doc.toPlainText();
            for (int pos = 0; pos <= text.size(); pos += 7)
                compareAt(finder, text, pos);
        }
    }

    void fastEqualsStraightforwardOnWordPress()
    {
        const QString source = wordpressText(1000000);
        if (source.isEmpty())
            QSKIP("the WordPress sources are not installed");
        QTextDocument doc(source);
        ScopeFinder finder(&doc);
        QRandomGenerator rng(11);
        for (int step = 0; step < 40; ++step) {
            if (step % 4 == 3)
                randomEdit(doc, rng);
            const QString text = doc.toPlainText();
            int pos = rng.bounded(int(text.size()) + 1);
            // A cursor walking locally, as arrow keys move it.
            for (int move = 0; move < 5; ++move) {
                compareAt(finder, text, pos);
                if (QTest::currentTestFailed())
                    return;
                pos = qBound(0, pos + rng.bounded(-80, 80), int(text.size()));
            }
        }
    }
};

QTEST_MAIN(ScopeTest)
#include "tst_scope.moc"
