// Typing into the real window: what reaches the document from a keyboard.
#include <QTest>

#include "e2esession.h"

class TstE2eTyping : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void typeAtOnceAfterStartUp();

private:
    e2e::XServer x;
};

void TstE2eTyping::initTestCase()
{
    QVERIFY2(x.start(), qPrintable(x.errorString()));
}

// The document named on the command line has the keyboard as soon as the
// window shows: no click first.
void TstE2eTyping::typeAtOnceAfterStartUp()
{
    e2e::Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("a.php"), "x\n"));
    E2E_VERIFY(editor, editor.start({QStringLiteral("a.php")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("$Total = 1; ")));
    // File > Save by its mnemonics.
    E2E_VERIFY(editor, editor.keys({QStringLiteral("alt+f"), QStringLiteral("s")}));
    QCOMPARE(editor.waitForFile(QStringLiteral("a.php"), "$Total = 1; x\n"), QByteArray("$Total = 1; x\n"));
}

QTEST_GUILESS_MAIN(TstE2eTyping)
#include "tst_e2e_typing.moc"
