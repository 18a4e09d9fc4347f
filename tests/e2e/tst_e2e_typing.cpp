// Typing into the real window: what reaches the document from a keyboard.
#include <QTest>

#include "e2esession.h"

class TstE2eTyping : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void typeAtOnceAfterStartUp();
    void editingKeysTypedForReal();

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

// The editing keys as a person types ordinary PHP: pairs typed over (with
// the Shift presses between), a brace block, Return between brackets,
// smart Home, Tab on a selection, Insert.
void TstE2eTyping::editingKeysTypedForReal()
{
    e2e::Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("k.php"), QByteArray()));
    E2E_VERIFY(editor, editor.start({QStringLiteral("k.php")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("echo \"hi\";\nprint_r($a['k']);\nif ($x) {$y = [\n1,")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("Down"), QStringLiteral("End")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral(";")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("Down"), QStringLiteral("End"), QStringLiteral("Return")}));
    // Home goes to the first word, then to the line start.
    E2E_VERIFY(editor, editor.type(QStringLiteral("    $z = 1;")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("Home"), QStringLiteral("Home")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("//")));
    // Tab indents the two lines the selection touches.
    E2E_VERIFY(editor, editor.keys({QStringLiteral("shift+Up"), QStringLiteral("Tab"), QStringLiteral("ctrl+End"),
                                    QStringLiteral("Return")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("abc")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("Left"), QStringLiteral("Left"), QStringLiteral("Insert")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("X")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("Insert")));
    E2E_VERIFY(editor, editor.type(QStringLiteral("Y")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+s")));
    const QByteArray expected = "echo \"hi\";\n"
                                "print_r($a['k']);\n"
                                "if ($x) {\n"
                                "    $y = [\n"
                                "        1,\n"
                                "    ];\n"
                                "    }\n"
                                "    //    $z = 1;\n"
                                "    aXYc";
    QCOMPARE(editor.waitForFile(QStringLiteral("k.php"), expected), expected);
}

QTEST_GUILESS_MAIN(TstE2eTyping)
#include "tst_e2e_typing.moc"
