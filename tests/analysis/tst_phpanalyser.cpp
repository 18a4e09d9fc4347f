// What the analyser makes of PHP sources: definitions, includes, the two
// passes with their time-stamp test, and positions that fit the editor.
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

#include "analysis/core/codedatabase.h"
#include "analysis/core/phpanalyser.h"
#include "editor/core/textfile.h"
#include "testutil.h"

using namespace ov;

namespace {

QString dump(const PHPFunctionDefinition &f)
{
    QString decl = f.declaration;
    decl.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
        .arg(f.name, decl, f.arguments.join(QLatin1Char(',')))
        .arg(f.startPos)
        .arg(f.endPos)
        .arg(f.localVariables.join(QLatin1Char(',')), f.functionCalls.join(QLatin1Char(',')));
}

QStringList dump(const PHPFileDescription &d)
{
    QStringList out;
    for (const PHPFunctionDefinition &f : d.functions)
        out.append(dump(f));
    out.sort();
    return out;
}

const QSet<QString> kBuiltins = {QStringLiteral("strlen"), QStringLiteral("printf"),
                                 QStringLiteral("function_exists")};

// One project folder with an analyser over its own descriptions.
struct Fixture {
    QTemporaryDir dir;
    FileDescriptions descriptions;

    QString path(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    QString write(const QString &name, const QByteArray &bytes) const
    {
        QDir(dir.path()).mkpath(QFileInfo(path(name)).path());
        ovtest::writeFile(path(name), bytes);
        return QFileInfo(path(name)).canonicalFilePath();
    }
    // A whole run over `files`: names first, then the analysis.
    int run(const QStringList &files, QStringList *names = nullptr)
    {
        PhpAnalyser a(dir.path(), kBuiltins, &descriptions);
        a.startRun();
        for (const QString &f : files)
            a.collectFunctionNames(path(f));
        for (const QString &f : files)
            a.analysePHPFile(path(f));
        if (names)
            *names = a.projectFunctionNames();
        return a.filesRead();
    }
    PHPFileDescription desc(const QString &name) const { return descriptions.value(path(name)); }
};

} // namespace

class TestPhpAnalyser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void definitions_data();
    void definitions();
    void positionsFitTheEditor();
    void includes_data();
    void includes();
    void cyclicIncludesAnalysedOnce();
    void namePassOrderAndNesting();
    void unchangedFilesAreNotRead();
    void unreadableAndSpecialFilesSkipped();
    void bracketPairs_data();
    void bracketPairs();
    void bracketPairsAcrossBlocks();
    void builtinList();
    void golden();
    void wholeRunsAgree();
};

void TestPhpAnalyser::definitions_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty parameters and body")
        << QByteArray("<?php function f() {}")
        << QStringList{"f|function f()||6|20||"};
    QTest::newRow("array default split at every comma")
        << QByteArray("function f($a = array(1, 2), $b) { }")
        << QStringList{"f|function f($a = array(1, 2), $b)|$a=array(1,2),$b|0|35|$a,$b|"};
    QTest::newRow("variables in order, strings included, calls known only")
        << QByteArray("function f($a) { $c = strlen($a . \"$d\"); if ($c) unknown($c); printf('%d', $a); }")
        << QStringList{"f|function f($a)|$a|0|80|$a,$c,$d|strlen,printf"};
    QTest::newRow("abstract method before a normal one")
        << QByteArray("abstract class A { abstract function a(); function b() { strlen(1); } }")
        << QStringList{"b|function b()||42|68||strlen"};
    QTest::newRow("nested function: only the outer one, calling the inner")
        << QByteArray("function outer() { function inner() { } }")
        << QStringList{"outer|function outer()||0|40||inner"};
    QTest::newRow("methods with one name: the later wins")
        << QByteArray("class A { function get() { } } class B { function get($x) { } }")
        << QStringList{"get|function get($x)|$x|41|60|$x|"};
    QTest::newRow("function_ call with a body after it is a definition")
        << QByteArray("if (function_exists('x')) { strlen(1); }")
        << QStringList{"_exists|function_exists('x')|'x'|4|39||strlen"};
    QTest::newRow("function_ call inside a body is not")
        << QByteArray("function f() { if (function_exists('x')) { } }")
        << QStringList{"f|function f()||0|45||function_exists"};
    QTest::newRow("brace in a string ends the body early")
        << QByteArray("function f() { $s = '}'; strlen(1); } function g() { }")
        << QStringList{"f|function f()||0|21|$s|", "g|function g()||38|53||"};
    QTest::newRow("unbalanced body ends the scan")
        << QByteArray("function f() { if (1) { } function g() { }")
        << QStringList{"f|function f()||0|-1||"};
    QTest::newRow("declaration over several lines")
        << QByteArray("function f(\n  $a,\n  $b\n) {\n}")
        << QStringList{"f|function f(\\n  $a,\\n  $b\\n)|$a,$b|0|27|$a,$b|"};
    QTest::newRow("crlf and tabs counted as the editor does")
        << QByteArray("<?php\r\n\tfunction f()\r\n\t{\r\n\t}\r\n")
        << QStringList{"f|function f()||10|33||"};
    QTest::newRow("anonymous functions are not definitions")
        << QByteArray("$f = function ($a) { return $a; };")
        << QStringList{};
}

void TestPhpAnalyser::definitions()
{
    QFETCH(QByteArray, source);
    QFETCH(QStringList, expected);
    Fixture fx;
    fx.write(QStringLiteral("a.php"), source);
    fx.run({QStringLiteral("a.php")});
    const PHPFileDescription d = fx.desc(QStringLiteral("a.php"));
    QCOMPARE(d.name, fx.path(QStringLiteral("a.php")));
    QCOMPARE(dump(d), expected);
    QVERIFY(d.classes.isEmpty());
    QVERIFY(d.functionCalls.isEmpty());
}

void TestPhpAnalyser::positionsFitTheEditor()
{
    // Non-ASCII comments before a function: the position must be the
    // editor's character offset, not a byte offset.
    Fixture fx;
    const QByteArray bytes = QStringLiteral("<?php // h\u00e9llo w\u00f6rld \u2713\r\n\tfunction f() {}").toUtf8();
    fx.write(QStringLiteral("u.php"), bytes);
    fx.run({QStringLiteral("u.php")});
    const PHPFunctionDefinition f = fx.desc(QStringLiteral("u.php")).functions.value(QStringLiteral("f"));
    const QString editor = editorText(bytes);
    QCOMPARE(f.startPos, 27);   // 22 characters, a line end, a tab as four spaces
    QCOMPARE(editor.mid(f.startPos, 10), QStringLiteral("function f"));
    QCOMPARE(editor.at(f.endPos), QLatin1Char('}'));

    // A UTF-8 byte-order mark is not a character of the text.
    fx.write(QStringLiteral("bom.php"), QByteArray("\xEF\xBB\xBF") + "function g() {}");
    fx.run({QStringLiteral("bom.php")});
    QCOMPARE(fx.desc(QStringLiteral("bom.php")).functions.value(QStringLiteral("g")).startPos, 0);
}

void TestPhpAnalyser::includes_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QStringList>("expected");   // relative to the project folder

    QTest::newRow("project folder before the file's folder")
        << QByteArray("<?php include 'lib.php';") << QStringList{"lib.php"};
    QTest::newRow("beside the including file")
        << QByteArray("<?php require_once \"only.php\";") << QStringList{"sub/only.php"};
    QTest::newRow("relative path up")
        << QByteArray("<?php include '../lib.php';") << QStringList{"lib.php"};
    QTest::newRow("each target once, first occurrence order")
        << QByteArray("include 'only.php'; require 'lib.php'; include_once 'only.php';")
        << QStringList{"sub/only.php", "lib.php"};
    QTest::newRow("mixed quotes are ignored")
        << QByteArray("include 'lib.php\"; include \"lib.php';") << QStringList{};
    QTest::newRow("parentheses right after the keyword are ignored")
        << QByteArray("include('lib.php'); require ('only.php');") << QStringList{};
    QTest::newRow("missing target is ignored")
        << QByteArray("include 'missing.php';") << QStringList{};
}

void TestPhpAnalyser::includes()
{
    QFETCH(QByteArray, source);
    QFETCH(QStringList, expected);
    Fixture fx;
    fx.write(QStringLiteral("lib.php"), "<?php function top() {}");
    fx.write(QStringLiteral("sub/lib.php"), "<?php function nested() {}");
    fx.write(QStringLiteral("sub/only.php"), "<?php function only() {}");
    fx.write(QStringLiteral("sub/main.php"), source);
    fx.run({QStringLiteral("sub/main.php")});
    QStringList want;
    for (const QString &e : expected)
        want.append(QFileInfo(fx.path(e)).canonicalFilePath());
    QCOMPARE(fx.desc(QStringLiteral("sub/main.php")).includes, want);
    // Included files are analysed too, though no tree item names them.
    for (const QString &w : want)
        QVERIFY(fx.descriptions.contains(w));
}

void TestPhpAnalyser::cyclicIncludesAnalysedOnce()
{
    Fixture fx;
    const QString self = fx.write(QStringLiteral("self.php"), "<?php include 'self.php'; function s() {}");
    const QString a = fx.write(QStringLiteral("a.php"), "<?php include 'b.php'; function fa() { fb(); }");
    const QString b = fx.write(QStringLiteral("b.php"), "<?php include 'a.php'; function fb() { fa(); }");
    QStringList names;
    QCOMPARE(fx.run({QStringLiteral("self.php"), QStringLiteral("a.php"), QStringLiteral("b.php")}, &names), 3);
    QCOMPARE(fx.descriptions.value(self).includes, QStringList{self});
    QCOMPARE(fx.descriptions.value(a).includes, QStringList{b});
    QCOMPARE(fx.descriptions.value(b).includes, QStringList{a});
    QCOMPARE(fx.descriptions.value(a).functions.value(QStringLiteral("fa")).functionCalls, QStringList{"fb"});
    QCOMPARE(fx.descriptions.value(b).functions.value(QStringLiteral("fb")).functionCalls, QStringList{"fa"});
    QCOMPARE(names, (QStringList{"s", "fb", "fa"}));

    // A name holding a NUL names no file, though stat() would look only at
    // the part before it: including "nul.php\0x" must not go round again.
    const QString nul = fx.write(QStringLiteral("nul.php"),
                                 QByteArray("<?php include 'nul.php") + '\0' + "x'; function n() {}");
    std::atomic<bool> stop{false}, done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 100 && !done; ++i)
            QThread::msleep(50);
        stop = true;
    });
    PhpAnalyser analyser(fx.dir.path(), kBuiltins, &fx.descriptions);
    analyser.setStopFlag(&stop);
    analyser.startRun();
    analyser.collectFunctionNames(nul);
    analyser.analysePHPFile(nul);
    done = true;
    const bool stopped = stop;
    watchdog.join();
    QVERIFY(!stopped);
    QCOMPARE(analyser.visitedFiles(), QStringList{nul});
    QCOMPARE(fx.descriptions.value(nul).functions.keys(), QStringList{"n"});
}

void TestPhpAnalyser::namePassOrderAndNesting()
{
    Fixture fx;
    fx.write(QStringLiteral("lib.php"), "<?php function lib() {}");
    fx.write(QStringLiteral("main.php"),
             "<?php include 'lib.php'; abstract function ab(); function outer() { function inner() {} }");
    QStringList names;
    fx.run({QStringLiteral("main.php"), QStringLiteral("lib.php")}, &names);
    // Included files' names come first; bodiless and nested ones count.
    QCOMPARE(names, (QStringList{"lib", "ab", "outer", "inner"}));
    QCOMPARE(fx.desc(QStringLiteral("main.php")).functions.keys(), QStringList{"outer"});
}

void TestPhpAnalyser::unchangedFilesAreNotRead()
{
    Fixture fx;
    fx.write(QStringLiteral("lib.php"), "<?php function lib() {}");
    fx.write(QStringLiteral("main.php"), "<?php include 'lib.php'; function main() { lib(); }");
    const QStringList files{QStringLiteral("main.php")};
    QStringList names;
    QCOMPARE(fx.run(files, &names), 2);

    // Both passes trust current descriptions, including the names of
    // files reached only through includes.
    QCOMPARE(fx.run(files, &names), 0);
    QCOMPARE(names, (QStringList{"main", "lib"}));
    QCOMPARE(fx.desc(QStringLiteral("main.php")).functions.value(QStringLiteral("main")).functionCalls,
             QStringList{"lib"});

    // A changed file reached only through a current file's includes is
    // read and brought up to date.
    const PHPFileDescription before = fx.desc(QStringLiteral("lib.php"));
    QFile f(fx.path(QStringLiteral("lib.php")));
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    f.close();
    QCOMPARE(fx.run(files, &names), 1);
    QVERIFY(fx.desc(QStringLiteral("lib.php")).time > before.time);
    QCOMPARE(fx.run(files, &names), 0);

    // An older stored time (a reload that kept whole seconds) counts as changed.
    PHPFileDescription d = fx.desc(QStringLiteral("main.php"));
    d.time = d.time.addSecs(-1);
    fx.descriptions.insert(d.name, d);
    QCOMPARE(fx.run(files, &names), 1);
    QCOMPARE(fx.run(files, &names), 0);
}

void TestPhpAnalyser::unreadableAndSpecialFilesSkipped()
{
    Fixture fx;
    fx.write(QStringLiteral("main.php"),
             "<?php include '/dev/zero'; include '" + fx.dir.path().toUtf8() + "'; function m() {}");
    PHPFileDescription stale;
    stale.name = fx.path(QStringLiteral("gone.php"));
    fx.descriptions.insert(stale.name, stale);
    QCOMPARE(fx.run({QStringLiteral("main.php"), QStringLiteral("gone.php"), QStringLiteral("none.php")}), 1);
    // A run never removes descriptions.
    QVERIFY(fx.descriptions.contains(stale.name));
    QVERIFY(!fx.descriptions.contains(QStringLiteral("/dev/zero")));
    QCOMPARE(fx.desc(QStringLiteral("main.php")).functions.keys(), QStringList{"m"});
}

void TestPhpAnalyser::bracketPairs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("parentheses");
    QTest::addColumn<int>("open");
    QTest::addColumn<int>("close");
    QTest::newRow("nested pair from 0") << QStringLiteral("{ { } } }") << 0 << false << 0 << 6;
    QTest::newRow("no opening after from") << QStringLiteral("{ { } } }") << 3 << false << -1 << -1;
    QTest::newRow("inner closed only") << QStringLiteral("{ {  }") << 0 << false << 0 << -1;
    QTest::newRow("from an inner bracket") << QStringLiteral("{ { } } }") << 1 << false << 2 << 4;
    QTest::newRow("parentheses ignore braces") << QStringLiteral("f( { ( } ) )") << 0 << true << 1 << 11;
    QTest::newRow("nothing at all") << QString() << 0 << true << -1 << -1;
}

void TestPhpAnalyser::bracketPairs()
{
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(bool, parentheses);
    int open = 7, close = 7;
    PhpAnalyser::findBracketPair(text, from, parentheses, open, close);
    QTEST(open, "open");
    QTEST(close, "close");
}

// Brackets are counted several characters at a time: pairs that open,
// nest and close at every offset of random text agree with a plain count.
void TestPhpAnalyser::bracketPairsAcrossBlocks()
{
    const QString alphabet = QStringLiteral("{}(){}()ab \n\u00e9");
    QRandomGenerator random(11);
    for (int length = 0; length < 70; ++length) {
        QString text;
        for (int i = 0; i < length; ++i)
            text += alphabet.at(int(random.bounded(alphabet.size())));
        for (bool parentheses : {false, true}) {
            const QChar opening = parentheses ? u'(' : u'{';
            const QChar closing = parentheses ? u')' : u'}';
            for (int from = 0; from <= length; ++from) {
                int expectedOpen = int(text.indexOf(opening, from)), expectedClose = -1;
                for (int i = expectedOpen + 1, depth = 1; expectedOpen >= 0 && i < length; ++i) {
                    depth += text.at(i) == opening ? 1 : text.at(i) == closing ? -1 : 0;
                    if (depth == 0) {
                        expectedClose = i;
                        break;
                    }
                }
                int open, close;
                PhpAnalyser::findBracketPair(text, from, parentheses, open, close);
                QCOMPARE(open, expectedOpen);
                QCOMPARE(close, expectedClose);
            }
        }
    }
}

void TestPhpAnalyser::builtinList()
{
    const QByteArray list = "strlen(string $string): int\r\n\r\n"
                            "array_map(?callable $callback, array $array, array ...$arrays): array\n"
                            "no parenthesis here\r"
                            "int  count (Countable|array $value, int $mode = COUNT_NORMAL)\n";
    const QSet<QString> names = PhpAnalyser::parseBuiltinList(list);
    QCOMPARE(names, (QSet<QString>{"strlen", "array_map", "count"}));

    // The shipped list sits beside the executables.
    const QSet<QString> shipped = PhpAnalyser::loadBuiltinFunctions();
    QVERIFY(shipped.contains(QStringLiteral("strlen")));
    QVERIFY(shipped.contains(QStringLiteral("array_map")));
    QVERIFY(!shipped.contains(QStringLiteral("if")));
}

void TestPhpAnalyser::golden()
{
    // Every description of the sample site, dumped; regenerate with
    // tests/analysis/update-golden.sh after a deliberate change.
    const QString sample = QStringLiteral(VIZIRO_TEST_DATA "/site");
    const QString goldenPath = QStringLiteral(VIZIRO_TEST_DATA "/site.golden");
    FileDescriptions descriptions;
    PhpAnalyser a(sample, PhpAnalyser::loadBuiltinFunctions(), &descriptions);
    QStringList files;
    for (const QFileInfo &fi : QDir(sample).entryInfoList({QStringLiteral("*.php")}, QDir::Files, QDir::Name))
        files.append(fi.canonicalFilePath());
    a.startRun();
    for (const QString &f : files)
        a.collectFunctionNames(f);
    for (const QString &f : files)
        a.analysePHPFile(f);

    QStringList lines{QStringLiteral("names: ") + a.projectFunctionNames().join(QLatin1Char(' '))};
    QStringList keys = descriptions.keys();
    keys.sort();
    for (const QString &key : keys) {
        const PHPFileDescription d = descriptions.value(key);
        QString rel = QDir(sample).relativeFilePath(key);
        QStringList inc;
        for (const QString &i : d.includes)
            inc.append(QDir(sample).relativeFilePath(i));
        lines.append(QStringLiteral("file: ") + rel + QStringLiteral(" includes: ") + inc.join(QLatin1Char(' ')));
        for (const QString &f : dump(d))
            lines.append(QStringLiteral("  ") + f);
    }
    const QByteArray actual = lines.join(QLatin1Char('\n')).toUtf8() + '\n';
    if (qEnvironmentVariableIsSet("VIZIRO_UPDATE_GOLDEN"))
        QVERIFY(ovtest::writeFile(goldenPath, actual));
    QCOMPARE(QString::fromUtf8(actual), QString::fromUtf8(ovtest::readFile(goldenPath)));
}

void TestPhpAnalyser::wholeRunsAgree()
{
    // Files calling functions of later files, include chains and cycles,
    // files reached only through includes, missing and unreadable entries.
    Fixture site;
    QStringList files;
    for (int i = 0; i < 24; ++i) {
        const QByteArray next = QByteArray::number((i + 1) % 24);
        QByteArray text = "<?php\ninclude 'f" + next + ".php';\nrequire_once \"only" + QByteArray::number(i % 3)
            + ".php\";\n";
        for (int k = 0; k < 5; ++k)
            text += "function f" + QByteArray::number(i) + "_" + QByteArray::number(k) + "($a) {\n\t$b = f" + next
                + "_" + QByteArray::number(k) + "($a) + strlen($a) + only" + QByteArray::number(i % 3) + "();\n}\n";
        site.write(QStringLiteral("f%1.php").arg(i), text);
        files.append(site.path(QStringLiteral("f%1.php").arg(i)));
    }
    for (int i = 0; i < 3; ++i)
        site.write(QStringLiteral("only%1.php").arg(i), "<?php function only" + QByteArray::number(i) + "() { f0_0(); }");
    QDir(site.dir.path()).mkpath(QStringLiteral("folder.php"));
    files << site.path(QStringLiteral("folder.php")) << site.path(QStringLiteral("gone.php")) << files.at(5);

    struct Outcome {
        QByteArray database;
        QStringList names, visited;
        int read = 0;
        bool operator==(const Outcome &o) const
        {
            return database == o.database && names == o.names && visited == o.visited && read == o.read;
        }
    };
    // `threads` 0: the passes called file by file.
    auto run = [&](const FileDescriptions &start, int threads, FileDescriptions *after) {
        FileDescriptions descriptions = start;
        PhpAnalyser a(site.dir.path(), kBuiltins, &descriptions);
        if (threads == 0) {
            a.startRun();
            for (const QString &f : files)
                a.collectFunctionNames(f);
            for (const QString &f : files)
                a.analysePHPFile(f);
        } else {
            a.analyseProject(files, threads);
        }
        if (after)
            *after = descriptions;
        return Outcome{CodeDatabase::serialize(descriptions), a.projectFunctionNames(), a.visitedFiles(), a.filesRead()};
    };

    FileDescriptions first;
    const Outcome cold = run({}, 0, &first);
    QCOMPARE(cold.read, 27);
    QVERIFY(run({}, 1, nullptr) == cold);
    QVERIFY(run({}, 4, nullptr) == cold);

    // Some files change, one of them reached only through includes.
    const QDateTime later = QDateTime::currentDateTime().addSecs(60);
    for (const QString &name : {QStringLiteral("f3.php"), QStringLiteral("f17.php"), QStringLiteral("only1.php")}) {
        QFile f(site.path(name));
        QVERIFY(f.open(QIODevice::Append));
        f.write("function added() { strlen(); }\n");
        // Written out first: the close would otherwise stamp the file with
        // the present, which within the first run's second is no change.
        QVERIFY(f.flush());
        QVERIFY(f.setFileTime(later, QFileDevice::FileModificationTime));
    }
    const Outcome warm = run(first, 0, nullptr);
    QCOMPARE(warm.read, 3);
    QVERIFY(run(first, 1, nullptr) == warm);
    QVERIFY(run(first, 4, nullptr) == warm);
}

QTEST_GUILESS_MAIN(TestPhpAnalyser)
#include "tst_phpanalyser.moc"
