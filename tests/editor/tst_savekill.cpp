// A save killed at any moment leaves the old file or the new one, never a mix.
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "editor/core/textfile.h"
#include "testutil.h"

using namespace ov;

class SaveKillTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killDuringSave()
    {
        const int rounds = qEnvironmentVariableIntValue("VIZIRO_KILL_ROUNDS") > 0
                               ? qEnvironmentVariableIntValue("VIZIRO_KILL_ROUNDS")
                               : 1000;
        QTemporaryDir dir;
        const QString path = dir.filePath("big.php");
        // Two large documents of different lengths, in the editor's own encoding path.
        QString textA, textB;
        for (int i = 0; i < 40000; ++i) {
            textA += QStringLiteral("<?php echo \"line %1 caf\u00e9\";\n").arg(i);
            textB += QStringLiteral("// other %1\n").arg(i * 7);
        }
        TextFormat format;
        format.lineEnding = TextFormat::CRLF;
        const QByteArray bytesA = encodeText(textA, &format);
        const QByteArray bytesB = encodeText(textB, &format);
        QVERIFY(ovtest::writeFile(path, bytesA));

        // Kill within about three saves' time, however fast this build writes
        // and forks: a sanitized process forks slowly, so a child's first save
        // is timed from the fork.
        QElapsedTimer clock;
        clock.start();
        for (int k = 0; k < 2; ++k) {
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                QString error;
                _exit(writeFileAtomically(path, k == 0 ? bytesB : bytesA, &error) ? 0 : 1);
            }
            int status = 0;
            waitpid(child, &status, 0);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        QCOMPARE(ovtest::readFile(path), bytesA);
        const int saveUs = int(qMax<qint64>(clock.nsecsElapsed() / 2000, 200));

        QRandomGenerator rng(20261207);
        int sawA = 0, sawB = 0, completed = 0;
        bool onDiskIsA = true;
        for (int round = 0; round < rounds; ++round) {
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                // Saves the other version, then alternates, until killed.
                for (int k = 0;; ++k) {
                    QString error;
                    writeFileAtomically(path, ((k % 2) == 0) == onDiskIsA ? bytesB : bytesA, &error);
                }
            }
            usleep(rng.bounded(100, 3 * saveUs));
            kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);

            const QByteArray now = ovtest::readFile(path);
            const bool changed = (now == bytesA) != onDiskIsA;
            if (now == bytesA)
                ++sawA;
            else if (now == bytesB)
                ++sawB;
            else
                QFAIL(qPrintable(QStringLiteral("round %1: file is neither version (%2 bytes)").arg(round).arg(now.size())));
            if (changed) {
                ++completed;
                onDiskIsA = !onDiskIsA;
            }
        }
        qInfo("%d kills: %d after a completed save, %d during the first", rounds, completed, rounds - completed);
        QVERIFY(sawA > 0 && sawB > 0);
    }
};

QTEST_GUILESS_MAIN(SaveKillTest)
#include "tst_savekill.moc"
