// The ".cdb" file: its form, round trips, the reading rules and what a
// damaged or hostile database does.
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <ctime>
#include <sys/resource.h>

#include "analysis/core/codedatabase.h"
#include "analysis/core/fastcodedbreader.h"
#include "analysis/core/fileexistencechecker.h"
#include "analysis/core/passedbytes.h"
#include "testutil.h"

using namespace ov;

QByteArray referenceSerialize(const ov::FileDescriptions &files);

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

// `count` files that exist, each described in full.
FileDescriptions describedFiles(const QTemporaryDir &dir, int count)
{
    FileDescriptions files;
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QStringLiteral("f%1.php").arg(i));
        if (ovtest::writeFile(path, "<?php"))
            files.insert(path, fullDescription(path));
    }
    return files;
}

// A model's count, names and descriptions, the files in path order: the
// order of its table depends on how the table grew.
QByteArray contentOf(const CodeModel &model, int added)
{
    QByteArray out = QByteArray::number(added) + '\n' + model.projectFunctionNames().join(QLatin1Char(',')).toUtf8();
    const FileDescriptions &files = model.fileDescriptions();
    QStringList names = files.keys();
    names.sort();
    for (const QString &name : std::as_const(names))
        out += '\n' + CodeDatabase::serialize({{name, files.value(name)}});
    return out;
}

// What a reader made of `xml`.
QByteArray readBy(int (*parse)(const QByteArray &, CodeModel *), const QByteArray &xml)
{
    CodeModel model;
    const int added = parse(xml, &model);
    return contentOf(model, added);
}

// What FastCodeDbReader::readDocument made of `xml`, entry by entry.
QByteArray readWith(FastCodeDbReader::Readers readers, const QByteArray &xml)
{
    QList<PHPFileDescription> files;
    bool whole = false;
    std::vector<bool> present;
    if (!FastCodeDbReader::readDocument(xml, &files, &whole, &present, readers))
        return "refused";
    QByteArray out = whole ? "whole\n" : "not whole\n";
    if (present.size() != size_t(files.size()))
        return "present does not match the files";
    for (qsizetype i = 0; i < files.size(); ++i)
        out += (present[size_t(i)] ? "+ " : "- ") + CodeDatabase::serialize({{files[i].name, files[i]}});
    return out;
}

// Descriptions holding every character a declaration may hold.
FileDescriptions everyCharacter(const QString &path)
{
    PHPFileDescription d;
    d.name = path;
    d.time = QDateTime(QDate(2022, 3, 4), QTime(5, 6, 7, 89), Qt::LocalTime);
    for (int block = 0; block < 16; ++block) {
        PHPFunctionDefinition f;
        f.name = QStringLiteral("f%1").arg(block);
        for (int u = block * 0x1000; u < (block + 1) * 0x1000; ++u) {
            if (!QChar::isSurrogate(char32_t(u)))
                f.declaration.append(QChar(char16_t(u)));
        }
        f.arguments = {QStringLiteral("$\U0001F600"), QStringLiteral("a\tb\r\nc")};
        d.functions.insert(f.name, f);
    }
    return {{path, d}};
}

// The messages of the logging categories, for as long as it lives.
class LogCatcher
{
public:
    struct Message {
        QtMsgType type;
        QString category;
        QString text;
    };

    LogCatcher() : previous(qInstallMessageHandler(handle)) { caught.clear(); }
    ~LogCatcher() { qInstallMessageHandler(previous); }
    QList<Message> messages() const { return caught; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        caught.append({type, QString::fromLatin1(context.category), text});
    }
    static inline QList<Message> caught;
    QtMessageHandler previous;
};

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
    void writtenFileIsTheDocument();
    void writerMatchesXmlStreamWriter();
    void loneSurrogatesDoNotSpoilTheRest();
    void fastReaderAgreesWithCarefulReader_data();
    void fastReaderAgreesWithCarefulReader();
    void fastReaderAgreesOnDamage();
    void timesMatchQDateTime();
    void unchangedDatabaseIsNotRewritten();
    void bigDatabasesReadInHalves();
    void existenceCheckerAnswersInOrder();
    void damageIsLoggedForDevelopers();
    void knownNamesFollowEveryChange();
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
    // Room for the first piece only, or for most of the document: the
    // write fails in the first half, or in the second.
    const qsizetype size = CodeDatabase::serialize(big).size();
    for (const qsizetype room : {qsizetype(4096), size * 3 / 4}) {
        struct rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        struct rlimit small = saved;
        small.rlim_cur = rlim_t(room);
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        error.clear();
        const bool ok = CodeDatabase::write(db, big, &error);
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(!ok);
        QVERIFY(!error.isEmpty());
        QCOMPARE(ovtest::readFile(db), old);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList(QStringLiteral("p.cdb")));
}

void TestCodeDatabase::writtenFileIsTheDocument()
{
    // A few files are written by one thread. Many are written in halves
    // that each run over many pieces; the first and the last entry are each
    // larger than a piece.
    QTemporaryDir dir;
    QStringList many;
    for (int i = 0; i < 40000; ++i)
        many.append(QStringLiteral("$local_variable_%1").arg(i));
    for (const int count : {3, 1500}) {
        FileDescriptions files;
        for (int i = 0; i < count; ++i) {
            const QString path = dir.filePath(QStringLiteral("f%1.php").arg(i));
            files.insert(path, fullDescription(path));
        }
        files.begin()->functions[QStringLiteral("f")].localVariables = many;
        auto last = files.begin();
        for (auto it = files.begin(); it != files.end(); ++it)
            last = it;
        last->includes = many;
        const QByteArray xml = CodeDatabase::serialize(files);

        const QString db = dir.filePath(QStringLiteral("p.cdb"));
        QVERIFY(ovtest::writeFile(db, "old"));
        QString error;
        QVERIFY2(CodeDatabase::write(db, files, &error), qPrintable(error));
        const QByteArray written = ovtest::readFile(db);
        QCOMPARE(written.size(), xml.size());
        QVERIFY(written == xml);
    }
}

void TestCodeDatabase::writerMatchesXmlStreamWriter()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.php"));
    QCOMPARE(CodeDatabase::serialize({}), referenceSerialize({}));
    FileDescriptions files = everyCharacter(path);
    files.insert(path + QLatin1Char('2'), fullDescription(path + QLatin1Char('2')));
    PHPFileDescription bare;
    bare.name = path + QLatin1Char('3');
    files.insert(bare.name, bare);   // no time, no children
    PHPFileDescription classOnly = fullDescription(path + QLatin1Char('4'));
    classOnly.functions.clear();
    classOnly.classes[QStringLiteral("Shop")].parents.clear();
    classOnly.classes[QStringLiteral("Shop")].members.clear();
    PHPClassDefinition empty;
    empty.name = QStringLiteral("Empty");
    classOnly.classes.insert(empty.name, empty);
    files.insert(classOnly.name, classOnly);
    QCOMPARE(CodeDatabase::serialize(files), referenceSerialize(files));
}

void TestCodeDatabase::loneSurrogatesDoNotSpoilTheRest()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.php"));
    QVERIFY(ovtest::writeFile(path, "<?php"));
    PHPFileDescription d = fullDescription(path);
    PHPFunctionDefinition &f = d.functions[QStringLiteral("f")];
    f.declaration = QStringLiteral("function f(") + QChar(0xD800) + QStringLiteral(")");
    f.localVariables.append(QString(QChar(0xDC00)) + QStringLiteral("$x"));
    CodeModel model;
    QCOMPARE(CodeDatabase::parse(CodeDatabase::serialize({{path, d}}), &model), 1);
    const PHPFileDescription back = model.getPHPFileDescription(path);
    QCOMPARE(back.functions.value(QStringLiteral("f")).declaration, QStringLiteral("function f()"));
    QCOMPARE(back.functions.value(QStringLiteral("f")).localVariables.last(), QStringLiteral("$x"));
    QCOMPARE(back.functions.value(QStringLiteral("g")).arguments, function(QStringLiteral("g")).arguments);
}

void TestCodeDatabase::fastReaderAgreesWithCarefulReader_data()
{
    QTest::addColumn<QByteArray>("xml");
    // The placeholder stands for an existing file's path.
    const QByteArray head = "<!DOCTYPE ZERivuRO>\n<Files>\n <File Name=\"@\" Time=\"2021-11-01T21:47:13\">\n  <Functions>\n";
    const QByteArray tail = "\n  </Functions>\n </File>\n</Files>\n";
    auto row = [&](const char *name, const QByteArray &function) {
        QTest::newRow(name) << head + function + tail;
    };
    row("plain", "<Function Name=\"f\" Declaration=\"function f()\" StartPos=\"1\" EndPos=\"-1\"/>");
    row("single quotes", "<Function Name='f' Declaration='a \"b\"' StartPos='1' EndPos='2'/>");
    row("blank before end", "<Function Name=\"f\" StartPos=\"1\" ><Arguments ><Argument Name=\"$a\" /></Arguments ></Function >");
    row("blanks around equals", "<Function Name = \"f\"/>");
    row("no blank between attributes", "<Function Name=\"f\"StartPos=\"1\"/>");
    row("references", "<Function Name=\"&#102;&#x67;&lt;&gt;&amp;&quot;&apos;&#9;&#10;&#13;\"/>");
    row("unknown entity", "<Function Name=\"&nbsp;\"/>");
    row("null reference", "<Function Name=\"&#0;\"/>");
    row("surrogate reference", "<Function Name=\"&#xD800;\"/>");
    row("huge reference", "<Function Name=\"&#x110000;\"/>");
    row("raw greater than", "<Function Name=\"a>b\"/>");
    row("raw less than", "<Function Name=\"a<b\"/>");
    row("raw tab", "<Function Name=\"a\tb\"/>");
    row("raw line break", "<Function Name=\"a\nb\"/>");
    row("raw delete", "<Function Name=\"a\x7f" "b\"/>");
    row("utf-8", "<Function Name=\"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"/>");
    row("c1 control", "<Function Name=\"\xc2\x85\"/>");
    row("noncharacter", "<Function Name=\"\xef\xbf\xbe\"/>");
    row("invalid utf-8", "<Function Name=\"\xc3\x28\"/>");
    row("overlong utf-8", "<Function Name=\"\xc0\xaf\"/>");
    row("encoded surrogate", "<Function Name=\"\xed\xa0\x80\"/>");
    row("cut utf-8", "<Function Name=\"\xe2\x82\"/>");
    row("duplicate attribute", "<Function Name=\"f\" Name=\"g\"/>");
    row("namespace", "<Function xmlns=\"urn:x\" Name=\"f\"/>");
    row("prefixed", "<x:Function Name=\"f\"/>");
    row("numbers", "<Function Name=\"f\" StartPos=\"+5\" EndPos=\" 7\"/>");
    row("big number", "<Function Name=\"f\" StartPos=\"99999999999\" EndPos=\"-0\"/>");
    row("repeated lists", "<Function Name=\"f\"><Arguments><Argument Name=\"$a\"/></Arguments><Arguments/></Function>");
    row("unknown child", "<Function Name=\"f\"><Other/></Function>");
    row("other entry tag", "<Function Name=\"f\"><Arguments><Arg Name=\"$a\"/></Arguments></Function>");
    row("entry with children", "<Function Name=\"f\"><Arguments><Argument Name=\"$a\"><x/></Argument></Arguments></Function>");
    row("text", "<Function Name=\"f\">text</Function>");
    row("comment", "<!-- c --><Function Name=\"f\"/>");
    row("cdata", "<Function Name=\"f\"><![CDATA[x]]></Function>");
    row("crlf between tags", "<Function Name=\"f\">\r\n<Arguments>\r\n<Argument Name=\"$a\"/>\r\n</Arguments>\r\n</Function>");
    row("mismatched end", "<Function Name=\"f\"><Arguments></Argument></Function>");
    row("same names twice", "<Function Name=\"f\" StartPos=\"1\"/><Function Name=\"f\" StartPos=\"2\"/>");
    QTest::newRow("time with zone") << QByteArray(head).replace("21:47:13", "21:47:13Z") + tail;
    QTest::newRow("no time") << QByteArray(head).replace(" Time=\"2021-11-01T21:47:13\"", "") + tail;
    QTest::newRow("byte order mark") << "\xef\xbb\xbf" + head + tail;
    QTest::newRow("xml declaration") << "<?xml version=\"1.0\"?>\n" + head + tail;
    QTest::newRow("other root") << QByteArray(head).replace("<Files>", "<Root>") + QByteArray(tail).replace("</Files>", "</Root>");
    QTest::newRow("garbage after the end") << head + tail + "<<&\x01";
    QTest::newRow("classes") << QByteArray(
        "<!DOCTYPE ZERivuRO>\n<Files><File Name=\"@\"><Includes><Include Name=\"/a\"/></Includes><Classes>"
        "<Class Name=\"C\" StartPos=\"1\"><Parents><Parent Name=\"B\"/></Parents><Members/><Methods>"
        "<Function Name=\"m\"/></Methods></Class><Class Name=\"D\"/></Classes><FunctionCalls>"
        "<FunctionCall Name=\"x\"/></FunctionCalls></File><File Name=\"/gone/x.php\"/><File/></Files>");
}

void TestCodeDatabase::fastReaderAgreesWithCarefulReader()
{
    QFETCH(QByteArray, xml);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.php"));
    QVERIFY(ovtest::writeFile(path, "<?php"));
    xml.replace('@', path.toUtf8());
    QCOMPARE(readBy(CodeDatabase::parse, xml), readBy(CodeDatabase::parseCarefully, xml));
}

void TestCodeDatabase::fastReaderAgreesOnDamage()
{
    QTemporaryDir dir;
    FileDescriptions files = describedFiles(dir, 3);
    QCOMPARE(files.size(), 3);
    const QString odd = dir.filePath(QStringLiteral("odd.php"));
    QVERIFY(ovtest::writeFile(odd, "<?php"));
    files.insert(odd, everyCharacter(odd).value(odd));
    const QByteArray xml = CodeDatabase::serialize(files);
    QCOMPARE(readBy(CodeDatabase::parse, xml), readBy(CodeDatabase::parseCarefully, xml));

    const QByteArray small = CodeDatabase::serialize({{odd + QLatin1Char('x'), fullDescription(dir.filePath("f0.php"))}});
    for (int cut = 0; cut < small.size(); ++cut) {
        const QByteArray damaged = small.left(cut);
        QCOMPARE(readBy(CodeDatabase::parse, damaged), readBy(CodeDatabase::parseCarefully, damaged));
    }
    QRandomGenerator random(7);
    const QByteArray noise = "<>/&;\"'= \n\t#x0aZ\xc3\x80\xff";
    for (int round = 0; round < 3000; ++round) {
        QByteArray damaged = small;
        for (int k = 1 + round % 3; k > 0; --k)
            damaged[random.bounded(int(damaged.size()))] = noise.at(random.bounded(int(noise.size())));
        QCOMPARE(readBy(CodeDatabase::parse, damaged), readBy(CodeDatabase::parseCarefully, damaged));
    }
}

void TestCodeDatabase::timesMatchQDateTime()
{
    // A zone with summer time, so that gaps and repeated hours occur.
    const QByteArray savedZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const QStringList texts = {
        "2021-11-01T21:47:13", "2024-02-29T23:59:58.250", "1999-12-31T23:59:59.999", "1000-01-01T00:00:00",
        "0999-06-01T12:00:00", "2024-03-31T02:30:00", "2024-10-27T02:30:00", "2023-02-29T10:00:00",
        "2024-01-01T24:00:00", "2024-01-01T12:60:00", "2024-01-01T12:00:60", "2024-01-01T12:00:00Z",
        "2024-01-01T12:00:00+02:00", "2024-01-01T12:00:00.5", "2024-01-01T12:00:00.0500", "2024-01-01 12:00:00",
        "2024-1-01T12:00:00", "", "not a time", "9999-12-31T23:59:59.000"};
    for (const QString &text : texts) {
        const QDateTime fast = CodeDatabase::timeFromString(text);
        const QDateTime qt = QDateTime::fromString(text, Qt::ISODate);
        QCOMPARE(fast.isValid(), qt.isValid());
        if (!qt.isValid())
            continue;
        QCOMPARE(fast.toMSecsSinceEpoch(), qt.toMSecsSinceEpoch());
        QCOMPARE(fast.timeSpec(), qt.timeSpec());
        QCOMPARE(CodeDatabase::timeToString(fast), CodeDatabase::timeToString(qt));
    }
    // Every 37 minutes and some milliseconds across two years of summer times.
    QDateTime t(QDate(2023, 1, 1), QTime(0, 0), Qt::LocalTime);
    for (int i = 0; i < 2 * 365 * 24 * 60 / 37; ++i, t = t.addMSecs(37 * 60 * 1000 + (i % 3 ? 0 : 7))) {
        const QString want = t.toString(t.time().msec() ? Qt::ISODateWithMs : Qt::ISODate);
        QCOMPARE(CodeDatabase::timeToString(t), want);
        QCOMPARE(CodeDatabase::timeToString(t.toUTC()), want);
        QCOMPARE(CodeDatabase::timeFromString(want), QDateTime::fromString(want, Qt::ISODate));
    }
    if (savedZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedZone);
    tzset();
}

void TestCodeDatabase::unchangedDatabaseIsNotRewritten()
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.php"));
    const QString b = dir.filePath(QStringLiteral("b.php"));
    QVERIFY(ovtest::writeFile(a, "<?php"));
    QVERIFY(ovtest::writeFile(b, "<?php"));
    const QString db = dir.filePath(QStringLiteral("p.cdb"));
    const QByteArray good = CodeDatabase::serialize({{a, fullDescription(a)}, {b, fullDescription(b)}});
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);

    // Whether saving after reading `bytes` (and doing `meanwhile`) writes the file.
    auto rewrites = [&](const QByteArray &bytes, const std::function<void(CodeModel &)> &meanwhile) {
        ovtest::writeFile(db, bytes);
        QFile file(db);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(old, QFileDevice::FileModificationTime);
        file.close();
        CodeModel model;
        CodeDatabase::read(db, &model);
        meanwhile(model);
        if (!CodeDatabase::save(db, &model))
            return false;
        CodeModel back;
        CodeDatabase::read(db, &back);
        if (CodeDatabase::serialize(back.fileDescriptions()).size() != CodeDatabase::serialize(model.fileDescriptions()).size())
            qWarning("the file does not hold the model");
        return QFileInfo(db).lastModified() != old;
    };
    auto nothing = [](CodeModel &) {};
    QVERIFY(!rewrites(good, nothing));
    QVERIFY(rewrites(good, [&](CodeModel &m) { m.setPHPFileDescription(a, fullDescription(a)); }));
    QVERIFY(rewrites(good, [&](CodeModel &) { ovtest::writeFile(db, "<Files/>"); }));
    QVERIFY(rewrites(QByteArray(good).replace("b.php", "gone.php"), nothing));
    QVERIFY(rewrites(QByteArray(good).replace("Name=\"$b\"", "Name=\"\""), nothing));
    QVERIFY(rewrites(QByteArray(good).replace("Name=\"g\"", "Name=\"f\""), nothing));
    QVERIFY(rewrites(QByteArray(good).replace("<Include Name=\"/x/b.php\"/>", "</Includes><Includes><Include Name=\"/y\"/>"), nothing));
    QVERIFY(rewrites("<?xml version=\"1.0\"?>\n" + good, nothing));
    QVERIFY(rewrites(good, [&](CodeModel &m) {
        CodeModel more;
        more.setPHPFileDescription(a, fullDescription(a));
        CodeDatabase::read(db, &more);
        m = more;
    }));

    // Written once, the same model is not written again; elsewhere it is.
    CodeModel model;
    model.setPHPFileDescription(a, fullDescription(a));
    QVERIFY(CodeDatabase::save(db, &model));
    const QDateTime written = QFileInfo(db).lastModified();
    QTest::qSleep(20);
    QVERIFY(CodeDatabase::save(db, &model));
    QCOMPARE(QFileInfo(db).lastModified(), written);
    const QString other = dir.filePath(QStringLiteral("q.cdb"));
    QVERIFY(CodeDatabase::save(other, &model));
    QVERIFY(QFileInfo::exists(other));
    model.clear();
    QVERIFY(CodeDatabase::save(db, &model));
    QCOMPARE(ovtest::readFile(db), CodeDatabase::serialize({}));
}

void TestCodeDatabase::bigDatabasesReadInHalves()
{
    QTemporaryDir dir;
    const FileDescriptions files = describedFiles(dir, 600);
    QCOMPARE(files.size(), 600);
    const QByteArray xml = CodeDatabase::serialize(files);
    QVERIFY(xml.size() > 1024 * 1024);
    QCOMPARE(xml, referenceSerialize(files));   // written in halves too
    const QByteArray want = readBy(CodeDatabase::parseCarefully, xml);
    QVERIFY(want.startsWith("600\n"));
    QCOMPARE(readBy(CodeDatabase::parse, xml), want);

    // Damage before, at and after the place where the halves meet.
    const qsizetype split = xml.indexOf("\n <File ", xml.size() / 2);
    for (const qsizetype at : {qsizetype(1000), split - 3, split, split + 2, split + 500, xml.size() - 20}) {
        for (const char c : {'<', '&', '\xff'}) {
            QByteArray damaged = xml;
            damaged[at] = c;
            QCOMPARE(readBy(CodeDatabase::parse, damaged), readBy(CodeDatabase::parseCarefully, damaged));
        }
    }
    const QByteArray cut = xml.left(split + 100);
    QCOMPARE(readBy(CodeDatabase::parse, cut), readBy(CodeDatabase::parseCarefully, cut));

    // One reader with the files looked for beside it reads what two halves read.
    auto sameWithOneReader = [](const QByteArray &doc) {
        const QByteArray two = readWith(FastCodeDbReader::Readers::Two, doc);
        return two == readWith(FastCodeDbReader::Readers::One, doc) && two != "present does not match the files";
    };
    QVERIFY(sameWithOneReader(xml));
    QVERIFY(readWith(FastCodeDbReader::Readers::One, xml).startsWith("whole\n+ "));
    QVERIFY(sameWithOneReader(cut));
    for (const qsizetype at : {split - 3, split + 500}) {
        QByteArray damaged = xml;
        damaged[at] = '\xff';
        QVERIFY(sameWithOneReader(damaged));
    }

    // Each half looks for its own files: deleted ones drop out of both,
    // and the rest keep their places.
    int deleted = 0;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (++deleted % 100 == 0)
            QVERIFY(QFile::remove(it.key()));
    }
    const QByteArray fewer = readBy(CodeDatabase::parseCarefully, xml);
    QVERIFY(fewer.startsWith("594\n"));
    QCOMPARE(readBy(CodeDatabase::parse, xml), fewer);
    QVERIFY(sameWithOneReader(xml));
    QCOMPARE(readWith(FastCodeDbReader::Readers::One, xml).count("\n- "), 6);

    // Read from its file, each half hands back what it has read; damage
    // found after that sends the careful reader to the file again.
    const FileDescriptions many = describedFiles(dir, 2400);
    const QByteArray big = CodeDatabase::serialize(many);
    const qsizetype middle = big.indexOf("\n <File ", big.size() / 2);
    QVERIFY(middle > 2 * 1024 * 1024);
    const QString path = dir.filePath(QStringLiteral("big.cdb"));
    for (const qsizetype at : {qsizetype(-1), middle - 20, big.size() - 20}) {
        QByteArray doc = big;
        if (at >= 0)
            doc[at] = '<';
        QVERIFY(ovtest::writeFile(path, doc));
        CodeModel model;
        const int added = CodeDatabase::read(path, &model);
        QCOMPARE(contentOf(model, added), readBy(CodeDatabase::parseCarefully, doc));
    }
    QVERIFY(ovtest::writeFile(path, big));
    PassedBytes passed;
    QVERIFY(passed.read(path, nullptr));
    QCOMPARE(passed.bytes(), big);
    const char *const begin = passed.bytes().constData();
    const char *const handedBack = passed.release(begin + 10, begin + 1024 * 1024);
    QVERIFY(passed.anyReleased() && handedBack > begin + 10 && handedBack <= begin + 1024 * 1024);
    QCOMPARE(passed.bytes().mid(handedBack - begin), big.mid(handedBack - begin));
}

void TestCodeDatabase::existenceCheckerAnswersInOrder()
{
    QTemporaryDir dir;
    QStringList names;
    std::vector<bool> want;
    // More than one batch, with missing, empty and directory names between.
    for (int i = 0; i < 100; ++i) {
        const QString path = dir.filePath(QStringLiteral("f%1.php").arg(i));
        const bool exists = i % 3 != 0;
        if (exists)
            QVERIFY(ovtest::writeFile(path, "<?php"));
        names << (i % 17 == 5 ? QString() : path);
        want.push_back(exists && i % 17 != 5);
    }
    names << dir.path();
    want.push_back(true);
    FileExistenceChecker checker;
    for (const QString &name : std::as_const(names))
        checker.check(name);
    QCOMPARE(checker.results(), want);

    FileExistenceChecker idle;
    QVERIFY(idle.results().empty());
    {
        FileExistenceChecker dropped;   // never asked for its results
        dropped.check(names.first());
    }
}

void TestCodeDatabase::damageIsLoggedForDevelopers()
{
    // The user is told nothing; a developer finds which database, where and
    // why in the analysis category. A project without one yet is no failure.
    QTemporaryDir dir;
    const QByteArray xml = CodeDatabase::serialize(describedFiles(dir, 2));
    const QString damaged = dir.filePath(QStringLiteral("damaged.cdb"));
    QVERIFY(ovtest::writeFile(damaged, xml.left(xml.lastIndexOf("<File ") + 100)));
    CodeModel model;
    QList<LogCatcher::Message> messages;
    {
        LogCatcher log;
        QCOMPARE(CodeDatabase::read(dir.filePath(QStringLiteral("none.cdb")), &model), 0);
        QCOMPARE(CodeDatabase::read(damaged, &model), 1);
        messages = log.messages();
    }
    // Debug messages, such as the one of the missing database, are off
    // unless a developer's logging rules turn them on.
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        QCOMPARE(messages.size(), 1);
    messages.removeIf([](const LogCatcher::Message &m) { return m.type == QtDebugMsg; });
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].type, QtWarningMsg);
    QCOMPARE(messages[0].category, QStringLiteral("viziro.analysis"));
    QVERIFY2(messages[0].text.contains(damaged) && messages[0].text.contains(QStringLiteral("line ")),
             qPrintable(messages[0].text));
}

void TestCodeDatabase::knownNamesFollowEveryChange()
{
    // The model makes its set of names only when asked: names that came
    // after it was made are known, names replaced are not.
    CodeModel model;
    model.setBuiltinFunctions({QStringLiteral("strlen")});
    model.setProjectFunctionNames({QStringLiteral("a")});
    QVERIFY(model.isKnownFunction(QStringLiteral("a")) && model.isKnownFunction(QStringLiteral("strlen")));
    model.appendProjectFunctionName(QStringLiteral("b"));
    QVERIFY(model.isKnownFunction(QStringLiteral("b")));
    model.setProjectFunctionNames({QStringLiteral("c")});
    QVERIFY(!model.isKnownFunction(QStringLiteral("a")) && model.isKnownFunction(QStringLiteral("c")));
    model.clear();
    QVERIFY(!model.isKnownFunction(QStringLiteral("c")) && model.isKnownFunction(QStringLiteral("strlen")));
    model.appendProjectFunctionName(QStringLiteral("d"));
    QVERIFY(model.isKnownFunction(QStringLiteral("d")));
}

QTEST_GUILESS_MAIN(TestCodeDatabase)
#include "tst_codedatabase.moc"
