// PHP's syntax check as a developer meets it: an error typed and saved
// lands in Output, and its line there leads back to the error's place.
#include <QTest>

#include "e2esession.h"

class TstE2eSyntaxCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void outputLineLeadsToTheError();

private:
    e2e::XServer x;
};

void TstE2eSyntaxCheck::initTestCase()
{
    QVERIFY2(x.start(), qPrintable(x.errorString()));
}

void TstE2eSyntaxCheck::outputLineLeadsToTheError()
{
    const QByteArray clean = "<?php\n\nfunction greet($name)\n{\n    return 'Hello ' . $name;\n}\n";
    const QByteArray broken = "<?php\n\nfunction greet($name)\n{\n    return 'Hello ' . $name; +\n}\n";
    // The interpreter names line 6, where the "}" it did not expect stands.
    const QByteArray marked = "<?php\n\nfunction greet($name)\n{\n    return 'Hello ' . $name; +\n/**/}\n";
    e2e::Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("greet.php"), clean));
    E2E_VERIFY(editor, editor.start({QStringLiteral("greet.php")}));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("ctrl+Home"), QStringLiteral("Down"), QStringLiteral("Down"),
                                    QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("End")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral(" +")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("alt+f"), QStringLiteral("s")}));
    QCOMPARE(editor.waitForFile(QStringLiteral("greet.php"), broken), broken);

    // The first line of Output, in the default layout, once the check has
    // put it there: until then Return there opens nothing and the typing
    // goes to the list, so the file stays as it was and the step repeats.
    QByteArray now = broken;
    for (int attempt = 0; attempt < 10 && now == broken; ++attempt) {
        E2E_VERIFY(editor, editor.click(800, 497));
        E2E_VERIFY(editor, editor.key(QStringLiteral("Return")));
        E2E_VERIFY(editor, editor.type(QStringLiteral("/**/")));
        E2E_VERIFY(editor, editor.keys({QStringLiteral("alt+f"), QStringLiteral("s")}));
        now = editor.waitForFile(QStringLiteral("greet.php"), marked, 2000);
    }
    QCOMPARE(now, marked);
}

QTEST_GUILESS_MAIN(TstE2eSyntaxCheck)
#include "tst_e2e_syntaxcheck.moc"
