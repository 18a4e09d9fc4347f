// The ".cdb" file: its form, round trips, the reading rules and what a
// damaged or hostile database does.
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

#include "analysis/core/codedatabase.h"
#include "testutil.h"

using namespace ov;

namespace {

PHPFunctionDefinition function(const QString &name)
{
    PHPFunctionDefinition f;
    f.name = name;
    f.declaration = QStringLiteral("function %1($a,\n  $b = \"<&>\")").arg(name);
    f.arguments = {QStringLiteral("$a"), QStringLiteral("$b=\"<&>\"")};
    f.startPos = 12;
    f.endPos = -1;
    f.localVariables = {QStringLiteral("$a"), QStringLiteral("$b"), QStringLiteral("$\u00e9t\u00e9")};
    f.functionCalls = {QStringLiteral("strlen"), QStringLiteral("other")};
    return f;
}

// Every field filled, on a file that exists.
PHPFileDescription fullDescription(const QString &path)
{
    PHPFileDescription d;
    d.name = path;
    d.time = QDateTime(QDate(2023, 4, 5), QTime(6, 7, 8), Qt::LocalTime);
    d.includes = {QStringLiteral("/x/a.php"), QStringLiteral("/x/b.php")};
    d.functions.insert(QStringLiteral("f"), function(QStringLiteral("f")));
    d.functions.insert(QStringLiteral("g"), function(QStringLiteral("g")));
    PHPClassDefinition c;
    c.name = QStringLiteral("Shop");
    c.declaration = QStringLiteral("class Shop extends Base");
    c.parents = {QStringLiteral("Base")};
    c.members = {QStringLiteral("$items")};
    c.methods.insert(QStringLiteral("add"), function(QStringLiteral("add")));
    c.startPos = 3;
    c.endPos = 99;
    d.classes.insert(c.name, c);
    d.functionCalls = {QStringLiteral("main")};
    return d;
}

void compareFunctions(const PHPFunctionDefinition &a, const PHPFunctionDefinition &b)
{
    QCOMPARE(a.name, b.name);
    QCOMPARE(a.declaration, b.declaration);
    QCOMPARE(a.arguments, b.arguments);
    QCOMPARE(a.startPos, b.startPos);
    QCOMPARE(a.endPos, b.endPos);
    QCOMPARE(a.localVariables, b.localVariables);
    QCOMPARE(a.functionCalls, b.functionCalls);
}

} // namespace

class TestCodeDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileName_data();
    void fileName();
    void roundTripKeepsEveryField();
    void timesKeepSecondsAndFractions();
    void documentForm();
    void readingRules();
    void damagedDatabases_data();
    void damagedDatabases();
    void truncatedKeepsWholeEntries();
    void failedWriteKeepsOldFile();
};

void TestCodeDatabase::fileName_data()
{
    QTest::addColumn<QString>("project");
    QTest::addColumn<QString>("database");
    QTest::newRow("plain") << "/w/shop.vuzar" << "/w/shop.cdb";
    QTest::newRow("dots share a database") << "/w/my.shop.vuzar" << "/w/my.cdb";
    QTest::newRow("no suffix") << "/w/site" << "/w/site.cdb";
}

void TestCodeDatabase::fileName()
{
    QFETCH(QString, project);
    QTEST(CodeDatabase::fileNameFor(project), "database");
}

void TestCodeDatabase::roundTripKeepsEveryField()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.php"));
    QVERIFY(ovtest::writeFile(path, "<?php"));
    PHPFileDescription d = fullDescription(path);
    d.includes.append(QString());   // empty names do not survive
    d.functions[QStringLiteral("f")].localVariables.insert(1, QString());

    FileDescriptions files{{path, d}};
    const QString db = dir.filePath(QStringLiteral("p.cdb"));
    QVERIFY(CodeDatabase::write(db, files));
    CodeModel model;
    QCOMPARE(CodeDatabase::read(db, &model), 1);

    const PHPFileDescription back = model.getPHPFileDescription(path);
    const PHPFileDescription want = fullDescription(path);
    QCOMPARE(back.name, path);
    QCOMPARE(back.time, want.time);
    QCOMPARE(back.includes, want.includes);
    QCOMPARE(back.functionCalls, want.functionCalls);
    QCOMPARE(back.functions.size(), 2);
    compareFunctions(back.functions.value(QStringLiteral("f")), want.functions.value(QStringLiteral("f")));
    compareFunctions(back.functions.value(QStringLiteral("g")), want.functions.value(QStringLiteral("g")));
    const PHPClassDefinition c = back.classes.value(QStringLiteral("Shop"));
    QCOMPARE(c.declaration, QStringLiteral("class Shop extends Base"));
    QCOMPARE(c.parents, QStringList{"Base"});
    QCOMPARE(c.members, QStringList{"$items"});
    QCOMPARE(c.startPos, 3);
    QCOMPARE(c.endPos, 99);
    compareFunctions(c.methods.value(QStringLiteral("add")), function(QStringLiteral("add")));

    // Function names are appended as they are read, without a check.
    QStringList names = model.projectFunctionNames();
    names.sort();
    QCOMPARE(names, (QStringList{"f", "g"}));
    QVERIFY(model.isKnownFunction(QStringLiteral("g")));
}

void TestCodeDatabase::timesKeepSecondsAndFractions()
{
    const QDateTime whole(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::LocalTime);
    QCOMPARE(CodeDatabase::timeToString(whole), QStringLiteral("2024-02-29T23:59:58"));
    const QDateTime fraction = whole.addMSecs(250);
    QCOMPARE(CodeDatabase::timeToString(fraction), QStringLiteral("2024-02-29T23:59:58.250"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.php"));
    QVERIFY(ovtest::writeFile(path, "<?php"));
    PHPFileDescription d;
    d.name = path;
    d.time = fraction;
    CodeModel model;
    CodeDatabase::parse(CodeDatabase::serialize({{path, d}}), &model);
    QCOMPARE(model.getPHPFileDescription(path).time, fraction);
}

void TestCodeDatabase::documentForm()
{
    QCOMPARE(CodeDatabase::serialize({}), QByteArray("<!DOCTYPE ZERivuRO>\n<Files/>\n"));

    PHPFileDescription d;
    d.name = QStringLiteral("/p/a.php");
    d.time = QDateTime(QDate(2023, 1, 2), QTime(3, 4, 5), Qt::LocalTime);
    PHPFunctionDefinition bare;
    bare.name = QStringLiteral("f");
    bare.declaration = QStringLiteral("function f()");
    bare.startPos = 0;
    bare.endPos = 15;
    d.functions.insert(bare.name, bare);
    d.includes = {QStringLiteral("/p/b.php")};
    QCOMPARE(QString::fromUtf8(CodeDatabase::serialize({{d.name, d}})),
             QStringLiteral("<!DOCTYPE ZERivuRO>\n"
                            "<Files>\n"
                            " <File Name=\"/p/a.php\" Time=\"2023-01-02T03:04:05\">\n"
                            "  <Includes>\n"
                            "   <Include Name=\"/p/b.php\"/>\n"
                            "  </Includes>\n"
                            "  <Functions>\n"
                            "   <Function Name=\"f\" Declaration=\"function f()\" StartPos=\"0\" EndPos=\"15\"/>\n"
                            "  </Functions>\n"
                            " </File>\n"
                            "</Files>\n"));
}

void TestCodeDatabase::readingRules()
{
    QTemporaryDir dir;
    const QString here = dir.filePath(QStringLiteral("here.php"));
    QVERIFY(ovtest::writeFile(here, "<?php"));
    const QByteArray xml = "<?xml version=\"1.0\"?>\n"
                           "<AnyRoot>\n"
                           " <File Name=\"" + here.toUtf8() + "\" Time=\"not a time\">\n"
                           "  <Unknown><Function Name=\"no\"/></Unknown>\n"
                           "  <Includes><Include Name=\"\"/><Whatever Name=\"/any/tag.php\"/></Includes>\n"
                           "  <Functions>\n"
                           "   <Func Name=\"h\" StartPos=\"x\" EndPos=\"-1\"><Arguments><Argument Name=\"$a\"/></Arguments></Func>\n"
                           "  </Functions>\n"
                           " </File>\n"
                           " <File Name=\"" + dir.filePath(QStringLiteral("gone.php")).toUtf8() + "\">\n"
                           "  <Functions><Function Name=\"gone\"/></Functions>\n"
                           " </File>\n"
                           " <File><Functions><Function Name=\"nameless\"/></Functions></File>\n"
                           " <Other Name=\"" + here.toUtf8() + "\"/>\n"
                           "</AnyRoot>\n";
    CodeModel model;
    QCOMPARE(CodeDatabase::parse(xml, &model), 1);
    QCOMPARE(model.fileDescriptions().size(), 1);
    const PHPFileDescription d = model.getPHPFileDescription(here);
    QVERIFY(!d.time.isValid());   // so the file counts as changed
    QCOMPARE(d.includes, QStringList{"/any/tag.php"});
    const PHPFunctionDefinition h = d.functions.value(QStringLiteral("h"));
    QCOMPARE(h.startPos, 0);
    QCOMPARE(h.endPos, -1);
    QCOMPARE(h.arguments, QStringList{"$a"});
    QCOMPARE(model.projectFunctionNames(), QStringList{"h"});
}

void TestCodeDatabase::damagedDatabases_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not xml") << QByteArray("\x00\x01garbage<<<", 12);
    QTest::newRow("binary") << QByteArray(4096, '\xff');
    QByteArray deep = "<Files><File Name=\"/etc/hostname\">";
    for (int i = 0; i < 200000; ++i)
        deep += "<a>";
    QTest::newRow("deep nesting") << deep;
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE ZERivuRO [\n<!ENTITY a \"aaaaaaaaaaaaaaaaaaaa\">\n";
    for (int i = 1; i < 12; ++i)
        laughs += QByteArray("<!ENTITY ") + char('a' + i) + " \"" + QByteArray(10, '&').replace("&", QByteArray("&") + char('a' + i - 1) + ";") + "\">\n";
    laughs += "]>\n<Files><File Name=\"&l;\"/></Files>\n";
    QTest::newRow("entity expansion") << laughs;
    QTest::newRow("another version") << QByteArray("<Database version=\"9\"><Entry path=\"/etc/hostname\"/></Database>");
}

void TestCodeDatabase::damagedDatabases()
{
    QFETCH(QByteArray, xml);
    CodeModel model;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(CodeDatabase::parse(xml, &model), 0);
    QVERIFY(model.fileDescriptions().isEmpty());
    QVERIFY(timer.elapsed() < 10000);
}

void TestCodeDatabase::truncatedKeepsWholeEntries()
{
    QTemporaryDir dir;
    FileDescriptions files;
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
        const QString path = dir.filePath(QStringLiteral("f%1.php").arg(i));
        QVERIFY(ovtest::writeFile(path, "<?php"));
        files.insert(path, fullDescription(path));
        paths.append(path);
    }
    const QByteArray xml = CodeDatabase::serialize(files);
    // Cut inside the last "File": the two before it are whole.
    const int lastFile = int(xml.lastIndexOf("<File "));
    CodeModel model;
    QCOMPARE(CodeDatabase::parse(xml.left(lastFile + 200), &model), 2);
    for (auto it = model.fileDescriptions().cbegin(); it != model.fileDescriptions().cend(); ++it)
        QCOMPARE(it->functions.size(), 2);
}

void TestCodeDatabase::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    QString error;
    QVERIFY(!CodeDatabase::write(dir.filePath(QStringLiteral("missing/p.cdb")), {}, &error));
    QVERIFY(!error.isEmpty());

    // A write that runs out of room leaves the old database whole.
    const QString db = dir.filePath(QStringLiteral("p.cdb"));
    QVERIFY(CodeDatabase::write(db, {}));
    const QByteArray old = ovtest::readFile(db);
    const QString path = dir.filePath(QStringLiteral("a.php"));
    FileDescriptions big;
    for (int i = 0; i < 2000; ++i) {
        PHPFileDescription d = fullDescription(path + QString::number(i));
        big.insert(d.name, d);
    }
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const bool ok = CodeDatabase::write(db, big, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY(!ok);
    QCOMPARE(ovtest::readFile(db), old);
}

QTEST_GUILESS_MAIN(TestCodeDatabase)
#include "tst_codedatabase.moc"
