// The linear scanners against the analyser's patterns run literally by the
// regular expression engine, on real PHP and on generated hostile text.
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include "analysis/core/phpscanner.h"
#include "editor/core/textfile.h"

using ov::PhpScanner;

namespace {

enum Pattern { Definition, Variable, Call, Include };

const QRegularExpression &literal(Pattern p)
{
    using O = QRegularExpression;
    static const QRegularExpression def(QStringLiteral("\\bfunction(\\s)*((\\w)+|(\\w)+)(\\s)*\\(.*\\)"),
                                        O::InvertedGreedinessOption | O::DotMatchesEverythingOption
                                            | O::UseUnicodePropertiesOption);
    static const QRegularExpression var(QStringLiteral("\\$((\\w)+)\\b"), O::UseUnicodePropertiesOption);
    static const QRegularExpression call(QStringLiteral("\\b((\\w)+|(\\w))(\\s)*\\(.*\\)"),
                                         O::DotMatchesEverythingOption | O::UseUnicodePropertiesOption);
    static const QRegularExpression inc(
        QStringLiteral("\\b(include_once|include|require_once|require)\\s+('|\\\")(\\S+)('|\\\")"),
        O::UseUnicodePropertiesOption);
    switch (p) {
    case Definition: return def;
    case Variable: return var;
    case Call: return call;
    case Include: break;
    }
    return inc;
}

// One match as text: position and the captures the analyser uses.
QString fromRegex(Pattern p, const QString &text, int from)
{
    const QRegularExpressionMatch m = literal(p).match(text, from);
    if (!m.hasMatch())
        return QStringLiteral("none");
    const QString at = QString::number(m.capturedStart());
    switch (p) {
    case Definition: return at + QLatin1Char(' ') + m.captured(2);
    case Variable: return at + QLatin1Char(' ') + m.captured(0);
    case Call: return at + QLatin1Char(' ') + m.captured(1);
    case Include: break;
    }
    return at + QLatin1Char(' ') + m.captured(2) + m.captured(3) + m.captured(4);
}

QString fromScanner(Pattern p, const PhpScanner &s, int from)
{
    if (p == Include) {
        const auto m = s.findInclude(from);
        if (!m.found())
            return QStringLiteral("none");
        return QString::number(m.pos) + QLatin1Char(' ') + m.openQuote
            + s.text().mid(m.pathStart, m.pathLength).toString() + m.closeQuote;
    }
    const auto m = p == Definition ? s.findFunction(from) : p == Variable ? s.findVariable(from) : s.findCall(from);
    if (!m.found())
        return QStringLiteral("none");
    return QString::number(m.pos) + QLatin1Char(' ') + s.captured(m).toString();
}

// A whole scan as the analyser does it: restart one past each match start.
QStringList scan(Pattern p, const QString &text, bool viaRegex)
{
    const PhpScanner s(text);
    QStringList out;
    int from = 0;
    for (;;) {
        const QString m = viaRegex ? fromRegex(p, text, from) : fromScanner(p, s, from);
        if (m == QLatin1String("none"))
            break;
        out.append(m);
        from = m.section(QLatin1Char(' '), 0, 0).toInt() + 1;
    }
    return out;
}

QString hostileText(QRandomGenerator &rng, int tokens)
{
    static const QStringList pieces = {
        QStringLiteral("function"), QStringLiteral("function "), QStringLiteral("functionfoo"),
        QStringLiteral("function_exists"), QStringLiteral("include"), QStringLiteral("include_once"),
        QStringLiteral("require"), QStringLiteral("require_once"), QStringLiteral(" "), QStringLiteral("  "),
        QStringLiteral("\n"), QStringLiteral("\t"), QStringLiteral("("), QStringLiteral(")"), QStringLiteral("{"),
        QStringLiteral("}"), QStringLiteral("'"), QStringLiteral("\""), QStringLiteral("$"), QStringLiteral("a"),
        QStringLiteral("_"), QStringLiteral("x1"), QStringLiteral("."), QStringLiteral(";"), QStringLiteral(","),
        QStringLiteral("9"), QStringLiteral("a.php"), QStringLiteral("\u00e9t\u00e9"), QStringLiteral("\u00a0"),
        QStringLiteral("\u2028"), QStringLiteral("\u3000"), QStringLiteral("\u0660"), QStringLiteral("\u00b2"),
        QStringLiteral("\u2003"), QStringLiteral("\u0085"), QString::fromUcs4(U"\U0001D4B3"),
        QString::fromUcs4(U"\U0001F600"),
    };
    QString out;
    for (int i = 0; i < tokens; ++i)
        out += pieces.at(int(rng.bounded(pieces.size())));
    return out;
}

bool insidePair(const QString &text, int i)
{
    return i > 0 && i < text.size() && text.at(i).isLowSurrogate() && text.at(i - 1).isHighSurrogate();
}

} // namespace

class TestPhpScanner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesLiteralPatterns_data();
    void matchesLiteralPatterns();
    void hostileTextFromEveryOffset();
    void limitStopsAtBound();
    void wordpressSources();
};

void TestPhpScanner::matchesLiteralPatterns_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain definition") << QStringLiteral("function foo($a) { bar(1); }");
    QTest::newRow("no space before name") << QStringLiteral("functionfoo() {}");
    QTest::newRow("function_ call") << QStringLiteral("if (function_exists('x')) {}");
    QTest::newRow("anonymous function") << QStringLiteral("$f = function ($a) { return $a; };");
    QTest::newRow("name then junk") << QStringLiteral("function foo bar() {}");
    QTest::newRow("no closing paren anywhere") << QStringLiteral("function foo( { $x ");
    QTest::newRow("space before paren") << QStringLiteral("function  foo\n  (\n) {}");
    QTest::newRow("word glued before") << QStringLiteral("myfunction foo() {} _function bar() {}");
    QTest::newRow("variables") << QStringLiteral("$a $_b $ $$c $9 $a1.$b");
    QTest::newRow("include quotes") << QStringLiteral("include 'a.php'; require_once \"b.php\";");
    QTest::newRow("include mixed quotes") << QStringLiteral("include 'a.php\"; include \"x'.'y\".'z';");
    QTest::newRow("include parentheses") << QStringLiteral("include('a.php'); require ( 'b.php' );");
    QTest::newRow("include glued") << QStringLiteral("include_once'a.php' xinclude 'b.php' include_oncex 'c'");
    QTest::newRow("include quote only") << QStringLiteral("include ' x'; include '' ; include ''';");
    QTest::newRow("unicode words") << QStringLiteral("function \u00e9t\u00e9() { \u00fcber(); $\u00e7a; }");
    QTest::newRow("crlf and tabs") << QStringLiteral("function\tf(\r\n$a)\r\n{\r\n\tg ($a);\r\n}");
}

void TestPhpScanner::matchesLiteralPatterns()
{
    QFETCH(QString, text);
    for (Pattern p : {Definition, Variable, Call, Include})
        QCOMPARE(scan(p, text, false), scan(p, text, true));
}

void TestPhpScanner::hostileTextFromEveryOffset()
{
    QRandomGenerator rng(20240607);
    for (int round = 0; round < 400; ++round) {
        const QString text = hostileText(rng, 1 + int(rng.bounded(60)));
        const PhpScanner s(text);
        for (int from = 0; from <= text.size(); ++from) {
            if (insidePair(text, from))
                continue;
            for (Pattern p : {Definition, Variable, Call, Include}) {
                const QString mine = fromScanner(p, s, from);
                const QString theirs = fromRegex(p, text, from);
                if (mine != theirs) {
                    qWarning() << "pattern" << p << "from" << from << "text" << text;
                    QCOMPARE(mine, theirs);
                }
            }
        }
    }
}

void TestPhpScanner::limitStopsAtBound()
{
    const QString text = QStringLiteral("{ a(); $x; } b(); $y;");
    const PhpScanner s(text);
    const int close = int(text.indexOf(QLatin1Char('}')));
    QCOMPARE(s.findCall(0, close).pos, 2);
    QVERIFY(!s.findCall(3, close).found());
    QVERIFY(s.findCall(3).found());
    QVERIFY(!s.findVariable(8, close).found());
    QCOMPARE(s.findVariable(8).pos, int(text.indexOf(QLatin1String("$y"))));
}

void TestPhpScanner::wordpressSources()
{
    const QString root = QStringLiteral("/usr/share/wordpress");
    if (!QFileInfo::exists(root))
        QSKIP("the wordpress package is not installed");
    QDirIterator it(root, {QStringLiteral("*.php")}, QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    qint64 matches = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        QByteArray bytes;
        QVERIFY(ov::readFileBytes(path, &bytes, nullptr));
        const QString text = ov::editorText(bytes);
        for (Pattern p : {Definition, Variable, Call, Include}) {
            const QStringList mine = scan(p, text, false);
            const QStringList theirs = scan(p, text, true);
            if (mine != theirs)
                qWarning() << "differs in" << path << "pattern" << p;
            QCOMPARE(mine, theirs);
            matches += mine.size();
        }
        ++files;
    }
    qInfo() << files << "files," << matches << "matches alike";
    QVERIFY(files > 100);
}

QTEST_GUILESS_MAIN(TestPhpScanner)
#include "tst_phpscanner.moc"
