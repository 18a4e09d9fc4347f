// The editor killed while the user types, started again: the question about
// the unsaved changes takes Return as "recover", and saving writes them.
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QTest>
#include <QThread>

#include "e2esession.h"

class TstE2eRecovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void returnRecoversAfterAKill();

private:
    // Whether a journal in the editor's data folder holds `text`.
    static bool journalHolds(const e2e::Editor &editor, const QByteArray &text);
    e2e::XServer x;
};

void TstE2eRecovery::initTestCase()
{
    QVERIFY2(x.start(), qPrintable(x.errorString()));
}

bool TstE2eRecovery::journalHolds(const e2e::Editor &editor, const QByteArray &text)
{
    QDirIterator it(editor.dataPath(), {QStringLiteral("*.journal")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text))
            return true;
    }
    return false;
}

void TstE2eRecovery::returnRecoversAfterAKill()
{
    e2e::Editor editor(x);
    QVERIFY(editor.writeFile(QStringLiteral("a.php"), "<?php\necho 1;\n"));
    E2E_VERIFY(editor, editor.start({QStringLiteral("a.php")}));
    E2E_VERIFY(editor, editor.keys({QStringLiteral("ctrl+End")}));
    E2E_VERIFY(editor, editor.type(QStringLiteral("typed before the kill")));
    // On disk within a moment of the pause.
    const QDeadlineTimer deadline(10000);
    while (!journalHolds(editor, "typed before the kill") && !deadline.hasExpired())
        QThread::msleep(50);
    QVERIFY(journalHolds(editor, "typed before the kill"));
    editor.kill();

    E2E_VERIFY(editor, editor.launch({QStringLiteral("a.php")}));
    const QString question = editor.waitForWindow(QStringLiteral("Recover Document"), 30000);
    E2E_VERIFY(editor, !question.isEmpty());
    E2E_VERIFY(editor, editor.focus(question));
    E2E_VERIFY(editor, editor.key(QStringLiteral("Return")));
    E2E_VERIFY(editor, editor.waitForMainWindow());
    E2E_VERIFY(editor, editor.waitForTitle(QStringLiteral("Viziro")));
    // File > Save by its mnemonics.
    E2E_VERIFY(editor, editor.keys({QStringLiteral("alt+f"), QStringLiteral("s")}));
    const QByteArray expected = "<?php\necho 1;\ntyped before the kill";
    QCOMPARE(editor.waitForFile(QStringLiteral("a.php"), expected), expected);
}

QTEST_GUILESS_MAIN(TstE2eRecovery)
#include "tst_e2e_recovery.moc"
