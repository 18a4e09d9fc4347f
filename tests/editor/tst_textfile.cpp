#include <QTest>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>

#include "editor/core/originallines.h"
#include "editor/core/textfile.h"
#include "testutil.h"

using namespace ov;

class TextFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("lineEnding");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii lf") << QByteArray("a\nb\n") << int(TextFormat::Utf8) << int(TextFormat::LF) << "a\nb\n";
        QTest::newRow("no final newline") << QByteArray("a\nb") << int(TextFormat::Utf8) << int(TextFormat::LF) << "a\nb";
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << int(TextFormat::Utf8) << int(TextFormat::CRLF) << "a\nb\n";
        QTest::newRow("utf8") << QByteArray("// \xc3\xa9t\xc3\xa9\n") << int(TextFormat::Utf8) << int(TextFormat::LF)
                              << QString::fromUtf8("// \xc3\xa9t\xc3\xa9\n");
        QTest::newRow("utf8 bom") << QByteArray("\xEF\xBB\xBFx\r\n") << int(TextFormat::Utf8Bom) << int(TextFormat::CRLF) << "x\n";
        QTest::newRow("latin1") << QByteArray("caf\xe9\n") << int(TextFormat::Latin1) << int(TextFormat::LF)
                                << QString::fromLatin1("caf\xe9\n");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe\x01\x7f", 5) << int(TextFormat::Latin1) << int(TextFormat::LF)
                                << QString::fromLatin1(QByteArray("\x00\xff\xfe\x01\x7f", 5));
        QTest::newRow("windows-1252 quotes and euro") << QByteArray("\x93hi\x94 \x80 caf\xe9") << int(TextFormat::Windows1252)
                                                      << int(TextFormat::LF)
                                                      << QString::fromUtf8("\xe2\x80\x9chi\xe2\x80\x9d \xe2\x82\xac caf\xc3\xa9");
        // The bytes Windows-1252 leaves undefined still come back.
        QTest::newRow("windows-1252 undefined bytes") << QByteArray("\x81\x8d\x8f\x90\x9d\x80") << int(TextFormat::Windows1252)
                                                      << int(TextFormat::LF)
                                                      << QString(QChar(0x81)) + QChar(0x8d) + QChar(0x8f) + QChar(0x90)
                                                             + QChar(0x9d) + QChar(0x20ac);
        QTest::newRow("utf16le bom") << QByteArray("\xFF\xFEh\0i\0\n\0", 8) << int(TextFormat::Utf16LE) << int(TextFormat::LF) << "hi\n";
        QTest::newRow("utf8 bom, invalid after") << QByteArray("\xEF\xBB\xBF\xff") << int(TextFormat::Latin1) << int(TextFormat::LF) << QString::fromLatin1("\xEF\xBB\xBF\xff");
        QTest::newRow("utf16 odd length") << QByteArray("\xFF\xFEh\0i", 5) << int(TextFormat::Latin1) << int(TextFormat::LF) << QString::fromLatin1(QByteArray("\xFF\xFEh\0i", 5));
        QTest::newRow("utf16be bom") << QByteArray("\xFE\xFF\0h\0i", 6) << int(TextFormat::Utf16BE) << int(TextFormat::LF) << "hi";
        QTest::newRow("tabs kept") << QByteArray("\tx") << int(TextFormat::Utf8) << int(TextFormat::LF) << "\tx";
    }

    void roundTrip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(int, lineEnding);
        QFETCH(QString, text);
        DecodedText d = decodeText(bytes);
        QCOMPARE(int(d.format.encoding), encoding);
        QCOMPARE(int(d.format.lineEnding), lineEnding);
        QCOMPARE(d.text, text);
        QCOMPARE(encodeText(d.text, &d.format), bytes);
    }

    // Mixed line ends become the majority style; lone CRs are dropped.
    void mixedLineEnds()
    {
        DecodedText d = decodeText("a\r\nb\r\nc\nd\re");
        QCOMPARE(d.text, QString("a\nb\nc\nde"));
        QCOMPARE(int(d.format.lineEnding), int(TextFormat::CRLF));
        QCOMPARE(encodeText(d.text, &d.format), QByteArray("a\r\nb\r\nc\r\nde"));
        d = decodeText("a\nb\nc\r\n");
        QCOMPARE(int(d.format.lineEnding), int(TextFormat::LF));
    }

    // What a one-byte encoding lacks is found; the save then asks.
    void unencodableCharacters()
    {
        const QString euro = QString::fromUtf8("ab\xe2\x82\xac");
        QCOMPARE(firstUnencodable(euro, TextFormat::Latin1), 2);
        QCOMPARE(firstUnencodable(euro, TextFormat::Windows1252), -1);
        QCOMPARE(firstUnencodable(euro, TextFormat::Utf8), -1);
        // A C1 control that Windows-1252 gives another meaning has no byte.
        QCOMPARE(firstUnencodable(QStringLiteral("a") + QChar(0x80), TextFormat::Windows1252), 1);
        QCOMPARE(firstUnencodable(QString::fromUtf8("x\xc4\x81"), TextFormat::Windows1252), 1);
        TextFormat f;
        f.encoding = TextFormat::Windows1252;
        QCOMPARE(encodeText(euro, &f), QByteArray("ab\x80"));
        QCOMPARE(int(f.encoding), int(TextFormat::Windows1252));
    }

    void latin1ThatCannotHoldTextBecomesUtf8()
    {
        TextFormat f;
        f.encoding = TextFormat::Latin1;
        const QString text = QString::fromUtf8("\xe2\x82\xac caf\xc3\xa9");
        const QByteArray out = encodeText(text, &f);
        QCOMPARE(int(f.encoding), int(TextFormat::Utf8));
        QCOMPARE(out, text.toUtf8());
    }

    void editorTextExpandsTabsAndDropsCR()
    {
        QCOMPARE(editorText("\tif (x) {\r\n\t\ty();\r\n"), QString("    if (x) {\n        y();\n"));
        // Plain ASCII takes a shorter way than other text: both agree.
        for (const QByteArray &bytes : {QByteArray("a\rb\r\r\n\t\x7f\x01"), QByteArray("a\rb\r\r\n\t\xc3\xa9"),
                                        QByteArray("\t\xe9\r\n"), QByteArray()})
            QCOMPARE(editorText(bytes), expandTabs(decodeText(bytes).text));
        // The ASCII way works on blocks of sixteen bytes: tabs and carriage
        // returns at and around block edges, runs of them, short tails, and
        // a non-ASCII byte found only in a later block.
        QRandomGenerator random(7);
        for (int length = 0; length < 80; ++length) {
            for (int round = 0; round < 20; ++round) {
                QByteArray bytes(length, 'x');
                for (char &c : bytes) {
                    const quint32 r = random.bounded(6);
                    c = r == 0 ? '\t' : r == 1 ? '\r' : r == 2 ? '\n' : char('a' + random.bounded(26));
                }
                if (round == 19 && length > 0)
                    bytes[length - 1] = '\xe9';
                QCOMPARE(editorText(bytes), expandTabs(decodeText(bytes).text));
            }
        }
        // UTF-8 is decoded on the way too: sequences at the edges of what
        // is well-formed, marks, noncharacters and cut-off sequences, mixed
        // with tabs and carriage returns, read as the full decoder reads them.
        const QByteArray pieces[] = {"\t", "\r", "x", "\xc2\x80", "\xdf\xbf", "\xc1\xbf", "\xe0\xa0\x80", "\xe0\x9f\xbf",
                                     "\xed\x9f\xbf", "\xed\xa0\x80", "\xef\xbb\xbf", "\xef\xb7\x90", "\xef\xbf\xbd",
                                     "\xef\xbf\xbe", "\xf0\x90\x80\x80", "\xf0\x8f\xbf\xbf", "\xf4\x8f\xbf\xbd",
                                     "\xf4\x90\x80\x80", "\xf5\x80", "\xe2\x82", "\x80", "\xff"};
        for (int round = 0; round < 4000; ++round) {
            QByteArray bytes;
            const int count = int(random.bounded(8));
            for (int k = 0; k < count; ++k) {
                const quint32 r = random.bounded(4);
                // Mostly well-formed, so that whole files decode this way.
                bytes += pieces[r == 0 ? random.bounded(int(std::size(pieces))) : r == 1 ? 3 + random.bounded(2) : 14];
                bytes += QByteArray(int(random.bounded(20)), 'a');
            }
            QCOMPARE(editorText(bytes), expandTabs(decodeText(bytes).text));
        }
        // Other text has its tabs expanded eight characters at a time too.
        for (int length = 0; length < 40; ++length) {
            QString text;
            for (int k = 0; k < length; ++k)
                text += k % 7 == 3 || k % 11 == 0 ? QChar(u'\t') : QChar(u'\u00e9');
            QString expected = text;
            expected.replace(u'\t', QStringLiteral("    "));
            QCOMPARE(expandTabs(text), expected);
        }
        QCOMPARE(expandTabs(QString(70000, u'\t') + u'\u00e9'), QString(280000, u' ') + u'\u00e9');
        // Counts kept per byte lane must not wrap on long files.
        const QByteArray tabby = QByteArray("\t\r\t\tab\r").repeated(3000);
        QCOMPARE(editorText(tabby), expandTabs(decodeText(tabby).text));
    }

    // What a save writes for the editor's text of a file read as `read`.
    void originalLinesRestoreUntouchedLines_data()
    {
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("edited"); // the editor's text, "~" for unedited
        QTest::addColumn<QString>("saved");
        QTest::newRow("unedited") << "\tif (x) {\n\t\techo \"a\tb\";\n\t}\n" << "~"
                                  << "\tif (x) {\n\t\techo \"a\tb\";\n\t}\n";
        QTest::newRow("edited line in the editor's form")
            << "\ta();\n\tb();\n" << "    a();\n    b(1);\n" << "\ta();\n    b(1);\n";
        QTest::newRow("new line like an old one keeps its tabs")
            << "\ta();\n" << "    a();\n    a();\n" << "\ta();\n\ta();\n";
        // Spaces where another line has tabs: each goes back as it was,
        // also when lines were added above.
        QTest::newRow("same look, different bytes")
            << "\tx;\n    x;\n\ty;\n    x;\n" << "~" << "\tx;\n    x;\n\ty;\n    x;\n";
        QTest::newRow("same look, lines added above")
            << "\ty;\n\tx;\n    x;\n" << "new\nnew\n    y;\n    x;\n    x;\n" << "new\nnew\n\ty;\n\tx;\n    x;\n";
        QTest::newRow("tab in the middle") << "a\tb\nc\n" << "c\na    b\n" << "c\na\tb\n";
        QTest::newRow("no tabs at all") << "a  b\n" << "a    b\n" << "a    b\n";
    }

    void originalLinesRestoreUntouchedLines()
    {
        QFETCH(QString, read);
        QFETCH(QString, edited);
        QFETCH(QString, saved);
        if (edited == QLatin1String("~"))
            edited = expandTabs(read);
        QCOMPARE(OriginalLines(read).restore(edited), saved);
    }

    void atomicWriteKeepsPermissionsAndLinks()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.php");
        QVERIFY(ovtest::writeFile(path, "old"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        QString error;
        QVERIFY(writeFileAtomically(path, "new", &error));
        QCOMPARE(ovtest::readFile(path), QByteArray("new"));
        QVERIFY(QFileInfo(path).permissions() & QFileDevice::ExeOwner);

        const QString link = dir.filePath("link.php");
        QVERIFY(QFile::link(path, link));
        QVERIFY(writeFileAtomically(link, "via link", &error));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ovtest::readFile(path), QByteArray("via link"));
    }

    void failedWriteLeavesOldFile()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!writeFileAtomically(dir.filePath("missing/dir/a.php"), "x", &error));
        QVERIFY(!error.isEmpty());

        // A file-size limit makes the write fail part-way: the old bytes stay.
        const QString path = dir.filePath("big.php");
        QVERIFY(ovtest::writeFile(path, "old content"));
        struct rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit lim = old;
        lim.rlim_cur = 1024;
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &lim);
        const bool ok = writeFileAtomically(path, QByteArray(1 << 20, 'x'), &error);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!ok);
        QVERIFY(!error.isEmpty());
        QCOMPARE(ovtest::readFile(path), QByteArray("old content"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary left behind
    }
};

QTEST_GUILESS_MAIN(TextFileTest)
#include "tst_textfile.moc"
