// The command line as a user gives it: several paths, the last one at a
// line and column.
#include <QTest>

#include "e2esession.h"

class TstE2eCmdline : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(x.start(), qPrintable(x.errorString())); }
    void typesWhereTheLastPathPoints();

private:
    e2e::XServer x;
};

// `viziro a.php b.php:2:3`: typing goes into b.php, at line 2, column 3.
void TstE2eCmdline::typesWhereTheLastPathPoints()
{
    e2e::Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("a.php"), "a\n"));
    QVERIFY(editor.writeFile(QStringLiteral("b.php"), "one\ntwo\nthree\n"));
    E2E_VERIFY(editor, editor.start({QStringLiteral("a.php"), QStringLiteral("b.php:2:3")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("_")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("alt+f"), QStringLiteral("s")}));
    QCOMPARE(editor.waitForFile(QStringLiteral("b.php"), "one\ntw_o\nthree\n"), QByteArray("one\ntw_o\nthree\n"));
    QCOMPARE(editor.readFile(QStringLiteral("a.php")), QByteArray("a\n"));
}

QTEST_GUILESS_MAIN(TstE2eCmdline)
#include "tst_e2e_cmdline.moc"
