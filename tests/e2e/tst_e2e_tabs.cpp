// Saving a tab-indented file from the real window: only the lines the
// user changed change on disk.
#include <QTest>

#include "e2esession.h"

class TstE2eTabs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void untouchedLinesKeepTheirTabs();

private:
    e2e::XServer x;
};

void TstE2eTabs::initTestCase()
{
    QVERIFY2(x.start(), qPrintable(x.errorString()));
}

void TstE2eTabs::untouchedLinesKeepTheirTabs()
{
    const QByteArray original = "<?php\n"
                                "function login_header( $title ) {\n"
                                "\tif ( $title ) {\n"
                                "\t\techo \"<h1>\t$title</h1>\";\n"
                                "\t}\n"
                                "}\n";
    e2e::Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("wp-login.php"), original));
    E2E_VERIFY(editor, editor.start({QStringLiteral("wp-login.php")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("// 1")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("Return"), QStringLiteral("alt+f"), QStringLiteral("s")}));
    const QByteArray expected = "// 1\n" + original;
    QCOMPARE(editor.waitForFile(QStringLiteral("wp-login.php"), expected), expected);
}

QTEST_GUILESS_MAIN(TstE2eTabs)
#include "tst_e2e_tabs.moc"
