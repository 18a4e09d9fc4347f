// The keyboard commands in the real window: files, tabs, search and the
// project's keys, each checked by what ends up on disk.
#include <QTest>

#include "e2esession.h"

using e2e::Editor;

class TstE2eShortcuts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fileTabAndSearchKeys();
    void projectKeys();

private:
    e2e::XServer x;
};

void TstE2eShortcuts::initTestCase()
{
    QVERIFY2(x.start(), qPrintable(x.errorString()));
}

void TstE2eShortcuts::fileTabAndSearchKeys()
{
    Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("a.php"), "one\n"));
    QVERIFY(editor.writeFile(QStringLiteral("b.php"), "1\n2\n3\n"));
    E2E_VERIFY(editor, editor.start({QStringLiteral("a.php")}));

    // New file wants a project.
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+n")));
    E2E_VERIFY(editor, editor.waitForDialog(QStringLiteral("^Error$")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("Return")));
    E2E_VERIFY(editor, editor.backToMainWindow());

    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+o")));
    E2E_VERIFY(editor, editor.waitForDialog(QStringLiteral("^Open File$")));
    E2E_VERIFY(editor, editor.type(editor.path(QStringLiteral("b.php")) + QLatin1Char('\n')));
    E2E_VERIFY(editor, editor.backToMainWindow());

    // b.php: line 3, comment it, save.
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+g")));
    E2E_VERIFY(editor, editor.waitForDialog(QStringLiteral("^Go To Line$")));
    E2E_VERIFY(editor, editor.type(QStringLiteral("3\n")));
    E2E_VERIFY(editor, editor.backToMainWindow());
    E2E_VERIFY(editor, editor.type(QStringLiteral("C")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("ctrl+slash"), QStringLiteral("ctrl+s")}));
    QCOMPARE(editor.waitForFile(QStringLiteral("b.php"), "1\n2\n//C3\n"), QByteArray("1\n2\n//C3\n"));

    // a.php saved as c.php: the dialog starts beside it, with its name.
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+Tab")));
    E2E_VERIFY(editor, editor.type(QStringLiteral("A")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+shift+s")));
    E2E_VERIFY(editor, editor.waitForDialog(QStringLiteral("^Save file$")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+a")));
    E2E_VERIFY(editor, editor.type(QStringLiteral("c.php\n")));
    E2E_VERIFY(editor, editor.backToMainWindow());
    QCOMPARE(editor.waitForFile(QStringLiteral("c.php"), "Aone\n"), QByteArray("Aone\n"));
    QCOMPARE(editor.readFile(QStringLiteral("a.php")), QByteArray("one\n"));

    // Round the two tabs and back to b.php, then uncomment there.
    E2E_VERIFY(editor, editor.keys({QStringLiteral("ctrl+Next"), QStringLiteral("ctrl+shift+Tab"),
                                    QStringLiteral("ctrl+Prior")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("Z")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("ctrl+shift+slash"), QStringLiteral("ctrl+s")}));
    QCOMPARE(editor.waitForFile(QStringLiteral("b.php"), "1\n2\n  CZ3\n"), QByteArray("1\n2\n  CZ3\n"));

    // Close b.php; c.php is left. Replace's box gives F3 its text.
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+w")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+f")));
    E2E_VERIFY(editor, editor.waitForDialog(QStringLiteral("^Find and Replace$")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("Escape")));
    E2E_VERIFY(editor, editor.backToMainWindow());
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+h")));
    E2E_VERIFY(editor, editor.waitForDialog(QStringLiteral("^Find and Replace$")));
    E2E_VERIFY(editor, editor.type(QStringLiteral("one")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("Escape")));
    E2E_VERIFY(editor, editor.backToMainWindow());
    E2E_VERIFY(editor, editor.key(QStringLiteral("F3")));
    E2E_VERIFY(editor, editor.type(QStringLiteral("1")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+s")));
    QCOMPARE(editor.waitForFile(QStringLiteral("c.php"), "A1\n"), QByteArray("A1\n"));

    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+q")));
    E2E_VERIFY(editor, editor.waitForExit());
}

// A project opened from the command line: its file opened from the tree
// with Return, "<?php" typed and Return, Go To Declaration, bookmarks.
void TstE2eShortcuts::projectKeys()
{
    Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("p.vuzar"), "<!DOCTYPE RODadazozOZO>\n"
                                                        "<Project Name=\"p\">\n"
                                                        " <File Name=\"a.php\"/>\n"
                                                        " <File Name=\"lib.php\"/>\n"
                                                        "</Project>\n"));
    QVERIFY(editor.writeFile(QStringLiteral("a.php"), QByteArray()));
    QVERIFY(editor.writeFile(QStringLiteral("lib.php"), "<?php\nfunction zqhelper()\n{\n}\n"));
    E2E_VERIFY(editor, editor.start({QStringLiteral("p.vuzar")}));

    // A click on the tree's empty part gives it the keyboard; the first
    // file is the open project item's first child.
    E2E_VERIFY(editor, editor.click(120, 200));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("Home"), QStringLiteral("Down"), QStringLiteral("Return")}));
    // The completion popup for "zq" shows once the analysis knows zqhelper:
    // until it does, "zq" is typed again.
    bool known = false;
    for (int attempt = 0; attempt < 30 && !known; ++attempt) {
        E2E_VERIFY(editor, editor.type(QStringLiteral("zq")));
        known = editor.waitForWindowCount(2, 1000);
        E2E_VERIFY(editor, editor.keys({QStringLiteral("Escape"), QStringLiteral("BackSpace"),
                                        QStringLiteral("BackSpace")}));
    }
    E2E_VERIFY(editor, known);
    E2E_VERIFY(editor, editor.type(QStringLiteral("<?php\nzqhelper();\n")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+s")));
    QCOMPARE(editor.waitForFile(QStringLiteral("a.php"), "<?php\nzqhelper();\n"),
             QByteArray("<?php\nzqhelper();\n"));

    E2E_VERIFY(editor, editor.keys({QStringLiteral("Up"), QStringLiteral("F12")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("Q")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("ctrl+F2"), QStringLiteral("ctrl+Home"), QStringLiteral("F2")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("B")));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("ctrl+End"), QStringLiteral("shift+F2")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("P")));
    E2E_VERIFY(editor, editor.key(QStringLiteral("ctrl+s")));
    const QByteArray lib = "<?php\nPBQfunction zqhelper()\n{\n}\n";
    QCOMPARE(editor.waitForFile(QStringLiteral("lib.php"), lib), lib);
}

QTEST_GUILESS_MAIN(TstE2eShortcuts)
#include "tst_e2e_shortcuts.moc"
