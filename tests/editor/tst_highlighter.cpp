#include <QFontMetrics>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include "editor/core/phphighlightengine.h"
#include "editor/phpsyntaxhighlighter.h"
#include "sourceeditfixture.h"
#include "testutil.h"

using namespace ov;

namespace {

const char kinds[] = ".TKVCBS";   // indexed by PhpFormat

struct Case {
    QString name;
    QStringList lines;
};

// "## name" opens a case; "#" lines before the first case are comments.
QVector<Case> readCases()
{
    QVector<Case> cases;
    const QString all = QString::fromUtf8(ovtest::readFile(VIZIRO_TEST_DATA "/highlight.cases"));
    for (const QString &line : all.split('\n')) {
        if (line.startsWith("## "))
            cases.append({line.mid(3), {}});
        else if (!cases.isEmpty())
            cases.last().lines.append(line);
    }
    if (!cases.isEmpty() && cases.last().lines.value(cases.last().lines.size() - 1).isEmpty())
        cases.last().lines.removeLast();   // the file's final newline
    return cases;
}

// The kind of every character of a block, read back from the layout. Line
// and block comments share one look, so both read as block comments.
QString mask(const QTextBlock &block, const PHPSyntaxHighlighter &h)
{
    QString m(block.length() - 1, '.');
    for (const QTextLayout::FormatRange &r : block.layout()->formats()) {
        char kind = '?';
        for (int k = int(sizeof kinds) - 2; k >= 1 && kind == '?'; --k)
            if (r.format == h.formatFor(PhpFormat(k)))
                kind = kinds[k];
        for (int i = r.start; i < r.start + r.length && i < m.size(); ++i)
            m[i] = QLatin1Char(kind);
    }
    return m;
}

// "> line" and "= mask state" for every line of the document.
QStringList describe(QTextDocument &doc, const PHPSyntaxHighlighter &h)
{
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        out << "> " + b.text();
        out << "= " + mask(b, h) + ' ' + QString::number(b.userState());
    }
    return out;
}

// The engine alone, line by line: the golden table's own form.
QStringList engineDescribe(const QStringList &lines)
{
    QStringList out;
    int state = -1;
    QVector<PhpFormat> formats;
    for (const QString &line : lines) {
        state = PhpHighlightEngine::highlightLine(line, state, &formats);
        QString m;
        for (PhpFormat f : formats)
            m += QLatin1Char(kinds[int(f)]);
        out << "> " + line << "= " + m + ' ' + QString::number(state);
    }
    return out;
}

QStringList foldComments(QStringList described)
{
    for (QString &line : described)
        if (line.startsWith("= "))
            line.replace('C', 'B');
    return described;
}

// Attaching highlights on the next pass of the event loop, as in the editor.
// A document reports edits only once it has a layout, as an editor's has.
void attach(PHPSyntaxHighlighter &h, QTextDocument *doc)
{
    doc->documentLayout();
    h.setDocument(doc);
    QCoreApplication::processEvents();
}

QStringList highlighted(const QStringList &lines)
{
    QTextDocument doc;
    doc.setPlainText(lines.join('\n'));
    PHPSyntaxHighlighter h;
    attach(h, &doc);
    return describe(doc, h);
}

QMap<QString, QStringList> readGolden()
{
    QMap<QString, QStringList> golden;
    QString name;
    const QString all = QString::fromUtf8(ovtest::readFile(VIZIRO_TEST_DATA "/highlight.golden"));
    for (const QString &line : all.split('\n')) {
        if (line.startsWith("## "))
            name = line.mid(3);
        else if (!name.isEmpty() && !line.isEmpty())
            golden[name] << line;
    }
    return golden;
}

QString randomPhpLine(QRandomGenerator &rng)
{
    static const QStringList pieces = {"<?php", "?>", "<?", "<?=", "/*", "*/", "//", "#", "\"", "'", "\\",
                                       "$a", "echo", "if", "x", " ", "{", "}", "\"s\"", "'t'", "$this"};
    QString line;
    const int n = rng.bounded(8);
    for (int i = 0; i < n; ++i)
        line += pieces[rng.bounded(int(pieces.size()))];
    return line;
}

} // namespace

class HighlighterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ovtest::isolate(); }

    void golden_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("expected");
        const QMap<QString, QStringList> golden = readGolden();
        const QVector<Case> cases = readCases();
        QVERIFY(cases.size() > 30);
        for (const Case &c : cases)
            QTest::newRow(qPrintable(c.name)) << c.lines << golden.value(c.name);
    }

    // Each document of the table, highlighted once, again in place, and
    // again after moving the highlighter away and back as tab switches do.
    void golden()
    {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, expected);
        QCOMPARE(engineDescribe(lines), expected);
        expected = foldComments(expected);
        QTextDocument doc;
        doc.setPlainText(lines.join('\n'));
        PHPSyntaxHighlighter h;
        attach(h, &doc);
        QCOMPARE(describe(doc, h), expected);
        h.rehighlight();
        QCOMPARE(describe(doc, h), expected);
        QTextDocument other;
        other.setPlainText("<?php /* elsewhere");
        attach(h, &other);
        attach(h, &doc);
        QCOMPARE(describe(doc, h), expected);
    }

    void regenerateGolden()
    {
        if (!qEnvironmentVariableIsSet("VIZIRO_REGENERATE"))
            QSKIP("set VIZIRO_REGENERATE to rewrite highlight.golden");
        QStringList out{"# Written by highlight-regen.sh from highlight.cases: \"> line\", then",
                        "# \"= kinds state\" with . plain, T tag, K keyword, V variable,",
                        "# C line comment, B block comment, S string."};
        for (const Case &c : readCases())
            out << "## " + c.name << engineDescribe(c.lines) << QString();
        QVERIFY(ovtest::writeFile(VIZIRO_TEST_DATA "/highlight.golden", out.join('\n').toUtf8()));
    }

    // Edits re-highlight only from the changed line on, so every line's
    // colours after a chain of edits must equal a fresh highlighting.
    void editsMatchFreshHighlighting()
    {
        QRandomGenerator rng(20261207);
        for (int round = 0; round < 40; ++round) {
            QStringList lines;
            for (int i = 0; i < 12; ++i)
                lines << randomPhpLine(rng);
            QTextDocument doc;
            doc.setPlainText(lines.join('\n'));
            PHPSyntaxHighlighter h;
            attach(h, &doc);
            for (int step = 0; step < 25; ++step) {
                QTextCursor c(&doc);
                const int len = doc.characterCount() - 1;
                const int at = rng.bounded(len + 1);
                c.setPosition(at);
                switch (rng.bounded(4)) {
                case 0: c.insertText(randomPhpLine(rng)); break;
                case 1: c.insertText("\n" + randomPhpLine(rng)); break;
                case 2:
                    c.setPosition(qMin(len, at + rng.bounded(6)), QTextCursor::KeepAnchor);
                    c.removeSelectedText();
                    break;
                default: doc.undo(); break;
                }
                const QStringList fresh = highlighted(doc.toPlainText().split('\n'));
                QCOMPARE(describe(doc, h), fresh);
            }
        }
    }

    void openingTagEditsRecolourFollowingLines()
    {
        QTextDocument doc;
        doc.setPlainText("<?php\necho $a;\necho $b;\n<?php echo $c;");
        PHPSyntaxHighlighter h;
        attach(h, &doc);
        QTextCursor c(&doc);
        c.setPosition(5, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        QStringList now = describe(doc, h);
        QCOMPARE(now[3], "= ........ 0");
        QCOMPARE(now[5], "= ........ 0");
        QCOMPARE(now[7], "= TTTTT.KKKK.VV. 256");
        doc.undo();
        now = describe(doc, h);
        QCOMPARE(now[3], "= KKKK.VV. 256");
        QCOMPARE(now[5], "= KKKK.VV. 256");
    }

    // Lines built to make a naive matcher quadratic must still finish.
    void hostileLongLines_data()
    {
        QTest::addColumn<QString>("line");
        const int n = 40000;
        QTest::newRow("closing tags in strings") << "<?php \"" + QString("?>").repeated(n) + "\"";
        QTest::newRow("closing tags after comment start") << "<?php /*" + QString("?>").repeated(n);
        QTest::newRow("unpaired quotes") << "<?php " + QString("\"'").repeated(n);
        QTest::newRow("escaped quotes") << "<?php '" + QString("\\'").repeated(n);
        QTest::newRow("comments and strings") << "<?php " + QString("/*\"*/'").repeated(n);
        QTest::newRow("hashes in strings") << "<?php \"" + QString("#//").repeated(n) + "\"";
        QTest::newRow("short tags") << QString("<?x ?>").repeated(n);
        QTest::newRow("keywords") << "<?php " + QString("if $a ").repeated(n);
        QTest::newRow("one word") << "<?php " + QString("a").repeated(8 * n);
    }

    void hostileLongLines()
    {
        QFETCH(QString, line);
        QVector<PhpFormat> formats;
        const int state = PhpHighlightEngine::highlightLine(line, -1, &formats);
        QCOMPARE(formats.size(), line.size());
        QVERIFY(state == 0 || (state & PhpHighlightEngine::PhpBits));
    }

    // Variables and tags stand out in colour and weight, in the editor's
    // own fixed-pitch font: what follows them stays in its column.
    void variablesKeepTheColumns()
    {
        QTemporaryDir dir;
        auto editor = ovtest::makeEditor(dir, QStringLiteral("<?php\n$iiii = 1;\n$mmmm = 2;"));
        QVERIFY(editor);
        PHPSyntaxHighlighter h(nullptr);
        h.setDocument(editor->document());
        h.rehighlight();
        QCOMPARE(mask(editor->document()->findBlockByNumber(1), h), QStringLiteral("VVVVV....."));
        QCOMPARE(h.formatFor(PhpFormat::Variable).fontWeight(), int(QFont::Bold));
        QCOMPARE(h.formatFor(PhpFormat::Variable).foreground().color(), QColor(Qt::darkGray).darker(200));
        const auto xOfEquals = [&](int line) {
            QTextCursor c(editor->document()->findBlockByNumber(line));
            c.setPosition(c.position() + 6);
            return editor->cursorRect(c).left();
        };
        QCOMPARE(xOfEquals(1), xOfEquals(2));
        QTextCursor afterTag(editor->document()->firstBlock());
        afterTag.movePosition(QTextCursor::EndOfBlock);
        const int cell = QFontMetrics(editor->font()).horizontalAdvance(QLatin1Char('m'));
        QCOMPARE(editor->cursorRect(afterTag).left() - xOfEquals(1) + 6 * cell, 5 * cell);
    }
};

QTEST_MAIN(HighlighterTest)
#include "tst_highlighter.moc"
