#include <QDirIterator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/core/textfile.h"
#include "search/core/textsearch.h"
#include "testutil.h"

using namespace ov;

namespace {

// What the editor's document search gives: the reference for the matcher.
QList<FindEntry> documentFindAll(const QString &fileName, const QTextDocument &doc, const QString &needle,
                                 bool matchCase, bool matchWord)
{
    QTextDocument::FindFlags flags;
    if (matchCase)
        flags |= QTextDocument::FindCaseSensitively;
    if (matchWord)
        flags |= QTextDocument::FindWholeWords;
    QList<FindEntry> out;
    QTextCursor hit(const_cast<QTextDocument *>(&doc));
    for (;;) {
        hit = doc.find(needle, hit, flags);
        if (hit.isNull())
            break;
        QTextCursor line(hit);
        line.select(QTextCursor::LineUnderCursor);
        FindEntry e;
        e.fileName = fileName;
        e.lineText = line.selectedText();
        e.startColumn = hit.selectionStart() - hit.block().position();
        e.endColumn = e.startColumn + (hit.selectionEnd() - hit.selectionStart());
        e.lineNumber = hit.block().blockNumber() + 1;
        out.append(e);
    }
    return out;
}

// Replace All as the document does it: replace, then search on after the inserted text.
QString documentReplaceAll(const QString &text, const QString &needle, const QString &dst, bool matchCase,
                           bool matchWord, int *count)
{
    QTextDocument doc;
    doc.setPlainText(text);
    QTextDocument::FindFlags flags;
    if (matchCase)
        flags |= QTextDocument::FindCaseSensitively;
    if (matchWord)
        flags |= QTextDocument::FindWholeWords;
    *count = 0;
    QTextCursor c(&doc);
    for (;;) {
        c = doc.find(needle, c, flags);
        if (c.isNull())
            break;
        c.insertText(dst);
        ++*count;
    }
    return doc.toPlainText();
}

QString describe(const QList<FindEntry> &entries)
{
    QStringList out;
    for (const FindEntry &e : entries)
        out << QStringLiteral("%1:%2-%3 [%4]").arg(e.lineNumber).arg(e.startColumn).arg(e.endColumn).arg(e.lineText.left(60));
    return out.join(u'\n');
}

QList<qsizetype> hitStarts(const QString &text, const QString &needle, bool matchCase, bool matchWord)
{
    const TextMatcher m(needle, matchCase, matchWord);
    const QString prepared = m.prepare(text);
    QList<qsizetype> out;
    for (qsizetype h = m.indexIn(prepared, 0); h >= 0; h = m.indexIn(prepared, h + m.length()))
        out << h;
    return out;
}

} // namespace

class TextSearchTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ovtest::isolate(); }

    void matching_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("matchWord");
        QTest::addColumn<QList<qsizetype>>("starts");
        using L = QList<qsizetype>;
        QTest::newRow("Foo any case") << "Foo foo FOO" << "Foo" << false << false << L{0, 4, 8};
        QTest::newRow("Foo match case") << "Foo foo FOO" << "Foo" << true << false << L{0};
        QTest::newRow("name in $name") << "$name" << "name" << false << true << L{1};
        QTest::newRow("name in name(") << "name(" << "name" << false << true << L{0};
        QTest::newRow("name in name_1") << "name_1" << "name" << false << true << L{0};
        QTest::newRow("name in names") << "names" << "name" << false << true << L{};
        QTest::newRow("name in name1") << "$name1" << "name" << false << true << L{};
        QTest::newRow("name after a letter") << "xname name" << "name" << false << true << L{6};
        QTest::newRow("rejected candidate skips one past its end") << "xa-a-" << "a-" << false << true << L{};
        QTest::newRow("empty text") << "abc" << "" << false << false << L{};
        QTest::newRow("no hit across a line end") << "ab\ncd" << "b\nc" << false << false << L{};
        QTest::newRow("no-break space matches a blank") << QString::fromUtf16(u"a\u00a0b a b") << "a b" << false << false << L{0, 4};
        QTest::newRow("no-break space never matches") << QString::fromUtf16(u"a\u00a0b") << QString::fromUtf16(u"a\u00a0b") << false << false << L{};
        QTest::newRow("kelvin sign folds to k") << QString::fromUtf16(u"\u212aelvin") << "kelvin" << false << false << L{0};
        QTest::newRow("non-overlapping") << "aaaa" << "aa" << false << false << L{0, 2};
    }

    void matching()
    {
        QFETCH(QString, text);
        QFETCH(QString, needle);
        QFETCH(bool, matchCase);
        QFETCH(bool, matchWord);
        QFETCH(QList<qsizetype>, starts);
        QCOMPARE(hitStarts(text, needle, matchCase, matchWord), starts);
        // The byte search agrees with the text search.
        const QList<FindEntry> fromBytes = TextMatcher(needle, matchCase, matchWord).findAllInBytes("f", text.toUtf8());
        QCOMPARE(fromBytes.size(), starts.size());
    }

    // Columns, line numbers and line texts equal the document search's, for
    // both the text and the byte paths, on texts that stress each rule.
    void agreesWithDocument_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("matchWord");
        QTest::newRow("tabs before the hit") << QByteArray("\tif ($x)\n\t\treturn $x; // return\n") << "return" << false << false;
        QTest::newRow("tabs and whole words") << QByteArray("a\treturn\treturn1\t_return_\n") << "return" << false << true;
        QTest::newRow("blank meets an expanded tab") << QByteArray("x\ty  x y\n") << "  " << false << false;
        QTest::newRow("tab in the search text") << QByteArray("x\ty\n") << "\t" << false << false;
        QTest::newRow("crlf") << QByteArray("one\r\ntwo ONE\r\none") << "one" << false << false;
        QTest::newRow("lone carriage return") << QByteArray("o\rne") << "one" << true << false;
        QTest::newRow("utf-8 text") << QByteArray("caf\xc3\xa9 Caf\xc3\x89\n\tcaf\xc3\xa9") << QString::fromUtf16(u"caf\u00e9") << false << false;
        QTest::newRow("ascii search in utf-8 file") << QByteArray("\xc3\xa9t\xc3\xa9 ete\n\tete") << "ete" << false << true;
        QTest::newRow("latin-1 file") << QByteArray("caf\xe9 cafe\n") << "cafe" << false << false;
        QTest::newRow("utf-16 file") << QByteArray("\xff\xfe" "a\0\t\0b\0\n\0a\0b\0", 14) << "b" << false << false;
        QTest::newRow("paragraph separator") << QByteArray("ab\xe2\x80\xa9" "ab") << "ab" << false << false;
        QTest::newRow("line separator") << QByteArray("ab\xe2\x80\xa8" "ab") << "ab" << false << false;
        QTest::newRow("surrogate pair") << QByteArray("\xf0\x90\x90\x80x \xf0\x90\x90\xa8X") << QString::fromUtf8("\xf0\x90\x90\x80x") << false << false;
        QTest::newRow("underscore is a boundary") << QByteArray("$a_b a_b\ta_b_c") << "b" << false << true;
        QTest::newRow("single character") << QByteArray("aAa\n\tA") << "a" << false << false;
        QTest::newRow("no final newline") << QByteArray("x\nfoo") << "foo" << true << true;
        QTest::newRow("empty lines") << QByteArray("\n\n\nfoo\n\n") << "FOO" << false << false;
        QTest::newRow("nul bytes") << QByteArray("a\0b\0ab", 6) << "ab" << false << false;
    }

    void agreesWithDocument()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, needle);
        QFETCH(bool, matchCase);
        QFETCH(bool, matchWord);
        const QString text = editorText(bytes);
        QTextDocument doc;
        doc.setPlainText(text);
        const QList<FindEntry> expected = documentFindAll("f.php", doc, needle, matchCase, matchWord);
        const TextMatcher m(needle, matchCase, matchWord);
        QCOMPARE(describe(m.findAll("f.php", text)), describe(expected));
        QCOMPARE(m.findAll("f.php", text), expected);
        QCOMPARE(m.findAllInBytes("f.php", bytes), expected);
        QCOMPARE(m.findAllInBytes("f.php", bytes, 1), expected.mid(0, 1));
    }

    // Long texts are searched eight characters at a time: the hits are
    // still those of QString's own search, characters outside ASCII that
    // fold to ASCII letters (the Kelvin sign, the long s) included.
    void agreesWithIndexOfOnLongText()
    {
        const QStringList pieces = {"return", "RETURN ", "retur", "n", "\u212Aey", "ke", "\u017Ft", "St",
                                    "a@b", "A@B", "\U00010400x", "\uFFFDk", "\u8000s", "\t", "\n", "  "};
        QString text;
        for (int i = 0; i < 400; ++i)
            text += pieces[(i * 7 + i / 3) % pieces.size()];
        for (const QString needle : {"return", "k", "key", "st", "a@b", "tr"}) {
            for (const bool matchCase : {false, true}) {
                const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
                QList<qsizetype> expected;
                for (qsizetype h = text.indexOf(needle, 0, cs); h >= 0; h = text.indexOf(needle, h + needle.size(), cs))
                    expected << h;
                QCOMPARE(hitStarts(text, needle, matchCase, false), expected);
            }
        }
    }

    // The same comparison on real PHP sources, for common and rare words,
    // with and without case and whole words, over the fast byte path.
    void agreesWithDocumentOnRealFiles()
    {
        const QString root = QStringLiteral("/usr/share/wordpress");
        if (!QFileInfo::exists(root))
            QSKIP("the wordpress sources are not installed");
        QStringList files;
        QDirIterator it(root, {QStringLiteral("*.php")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        files.sort();
        QVERIFY(files.size() > 100);
        struct Search { QString needle; bool matchCase; bool matchWord; };
        const QList<Search> searches = {
            {"return", false, true}, {"Return", true, false}, {"wp_", false, false}, {"e", false, true},
            {"=> ", false, false}, {QString::fromUtf16(u"\u00e9"), false, false}, {"post_id", false, true}, {"X", true, true}};
        // Every file with non-ASCII bytes or carriage returns, and every
        // tenth other file, keeps the document search's cost in bounds.
        int compared = 0, hits = 0;
        for (int i = 0; i < files.size(); ++i) {
            const QByteArray bytes = ovtest::readFile(files[i]);
            bool special = bytes.contains('\r');
            for (char c : bytes)
                special = special || uchar(c) >= 0x80;
            if (!special && i % 10)
                continue;
            QTextDocument doc;
            doc.setPlainText(editorText(bytes));
            for (const Search &s : searches) {
                const QList<FindEntry> expected = documentFindAll(files[i], doc, s.needle, s.matchCase, s.matchWord);
                const QList<FindEntry> got = TextMatcher(s.needle, s.matchCase, s.matchWord).findAllInBytes(files[i], bytes);
                if (got != expected)
                    QCOMPARE(describe(got), describe(expected));
                QCOMPARE(got, expected);
                hits += got.size();
            }
            ++compared;
        }
        QVERIFY(compared > 100);
        QVERIFY(hits > 10000);
    }

    void replaceAll_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<QString>("dst");
        QTest::addColumn<bool>("matchWord");
        QTest::newRow("plain") << "a foo b FOO" << "foo" << "bar" << false;
        QTest::newRow("replacement holds the text") << "foo foo" << "foo" << "foofoo" << false;
        QTest::newRow("inserted text makes a word boundary") << "-a-a" << "-a" << "-" << true;
        QTest::newRow("inserted letter breaks a word") << "a-a-" << "a-" << "x" << true;
        QTest::newRow("empty replacement joins") << "x-ab-ab" << "-ab" << "" << true;
        QTest::newRow("empty replacement at the start") << "abab ab" << "ab" << "" << true;
        QTest::newRow("across lines") << "ab\nab\n\nab" << "ab" << "c\nd" << true;
    }

    void replaceAll()
    {
        QFETCH(QString, text);
        QFETCH(QString, needle);
        QFETCH(QString, dst);
        QFETCH(bool, matchWord);
        int expectedCount = 0;
        const QString expected = documentReplaceAll(text, needle, dst, false, matchWord, &expectedCount);
        const TextMatcher m(needle, false, matchWord);
        const QList<qsizetype> hits = m.replaceAllHits(text, dst);
        QString result = text;
        for (qsizetype i = hits.size() - 1; i >= 0; --i)
            result.replace(hits[i], needle.size(), dst);
        QCOMPARE(hits.size(), expectedCount);
        QCOMPARE(result, expected);
    }

    // Find Next in one document: on from the cursor, around once, and no
    // further than the position recorded when the search began.
    void nextValid_data()
    {
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<qsizetype>("startPosition");
        QTest::addColumn<qsizetype>("expected");
        // "x.x.x.x": hits at 0, 2, 4, 6.
        QTest::newRow("after the cursor") << qsizetype(3) << qsizetype(3) << qsizetype(4);
        QTest::newRow("wraps to a hit before the start") << qsizetype(7) << qsizetype(3) << qsizetype(0);
        QTest::newRow("stops at the start") << qsizetype(1) << qsizetype(3) << qsizetype(-1);
        QTest::newRow("hit ending at the start is spent") << qsizetype(7) << qsizetype(1) << qsizetype(-1);
        QTest::newRow("start zero never stops") << qsizetype(7) << qsizetype(0) << qsizetype(0);
    }

    void nextValid()
    {
        QFETCH(qsizetype, from);
        QFETCH(qsizetype, startPosition);
        QFETCH(qsizetype, expected);
        const TextMatcher m("x", false, false);
        // The cursor after the last hit found: stepping from 3 means a hit ended at 3.
        QCOMPARE(m.nextValid(u"x.x.x.x", from, from, startPosition), expected);
    }
};

QTEST_MAIN(TextSearchTest)
#include "tst_textsearch.moc"
