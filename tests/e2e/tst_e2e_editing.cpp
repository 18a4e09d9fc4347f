// Editing keys in the real window, where the clipboard and the focus are
// the X server's own.
#include <QTest>

#include "e2esession.h"

class TstE2eEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void pasteWithNothingCopied();
    void middleClickWithNothingSelected();
    void tabKeysStayInTheEditor();

private:
    e2e::XServer x;
};

void TstE2eEditing::initTestCase()
{
    QVERIFY2(x.start(), qPrintable(x.errorString()));
}

// A fresh X server has no clipboard owner: Ctrl+V pastes nothing, and the
// editor lives on to save what is typed next.
void TstE2eEditing::pasteWithNothingCopied()
{
    e2e::Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("a.php"), "x\n"));
    E2E_VERIFY(editor, editor.start({QStringLiteral("a.php")}));
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+v")));
    E2E_VERIFY(editor, editor.type(QStringLiteral("$y")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("alt+f"), QStringLiteral("s")}));
    QCOMPARE(editor.waitForFile(QStringLiteral("a.php"), "$yx\n"), QByteArray("$yx\n"));
}

// The middle button pastes the X selection, which has no owner either.
void TstE2eEditing::middleClickWithNothingSelected()
{
    e2e::Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("c.php"), "x\n"));
    E2E_VERIFY(editor, editor.start({QStringLiteral("c.php")}));
    // Below the text: the cursor goes to the end.
    E2E_VERIFY(editor, editor.click(600, 300, 2));
    E2E_VERIFY(editor, editor.type(QStringLiteral("$z")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("alt+f"), QStringLiteral("s")}));
    QCOMPARE(editor.waitForFile(QStringLiteral("c.php"), "x\n$z"), QByteArray("x\n$z"));
}

// Shift+Tab unindents and leaves the keyboard in the editor (handed on, it
// moved the focus to the toolbar); Tab then pads to the next stop.
void TstE2eEditing::tabKeysStayInTheEditor()
{
    e2e::Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("b.php"), "      x\n"));
    E2E_VERIFY(editor, editor.start({QStringLiteral("b.php")}));
    E2E_VERIFY(editor, editor.key(QStringLiteral("shift+Tab")));
    E2E_VERIFY(editor, editor.type(QStringLiteral("y")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("Tab")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("alt+f"), QStringLiteral("s")}));
    QCOMPARE(editor.waitForFile(QStringLiteral("b.php"), "y     x\n"), QByteArray("y     x\n"));
}

QTEST_GUILESS_MAIN(TstE2eEditing)
#include "tst_e2e_editing.moc"
