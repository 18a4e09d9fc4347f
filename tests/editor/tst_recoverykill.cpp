// The editor killed while it types: started again, it recovers the text as
// it stood at most two seconds before the kill, never anything else. This
// program is also the editor that gets killed (run with --child).
#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "app/dodivez.h"
#include "editor/core/documentjournal.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "project/project.h"
#include "project/projectlistitem.h"
#include "testutil.h"

using namespace ov;

namespace {

const qint64 AllowedAgeMs = 2000;

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

QByteArray hashOf(const QString &text)
{
    return QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char *>(text.constData()),
                                                   text.size() * 2),
                                    QCryptographicHash::Sha1)
        .toHex();
}

// --- the editor that gets killed ---

int logFd = -1;

void logLine(const QByteArray &line)
{
    const QByteArray l = line + '\n';
    if (::write(logFd, l.constData(), size_t(l.size())) != l.size())
        _exit(3);
}

// Opens the file (recovering what a journal holds), logs the text, then
// types at random, logging each state, until killed.
int typeUntilKilled(const QString &file, const QString &log, quint32 seed)
{
    logFd = ::open(QFile::encodeName(log).constData(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    ovtest::isolate();
    Dialogs::queueAnswer(QMessageBox::Yes); // the default: recover
    auto *window = new DODIvez(file);
    SourceEdit *editor = window->mainView()->getSource(file);
    if (!editor)
        return 2;
    for (const Dialogs::Call &c : Dialogs::calls())
        if (c.kind != "question")
            logLine("X " + c.text.toUtf8().replace('\n', ' '));
    logLine("R " + QByteArray::number(nowMs()) + ' ' + hashOf(editor->document()->toRawText()));
    QTextCursor end(editor->document());
    end.movePosition(QTextCursor::End);
    editor->setTextCursor(end);

    static QRandomGenerator rng(seed);
    static std::function<void()> typeOne;
    typeOne = [editor] {
        const int what = rng.bounded(100);
        if (what < 8)
            QTest::keyClick(editor, Qt::Key_Backspace);
        else if (what < 14)
            QTest::keyClick(editor, Qt::Key_Return);
        else if (what < 24)
            QTest::keyClick(editor, ' ');
        else
            QTest::keyClick(editor, char('a' + rng.bounded(26)));
        logLine("S " + QByteArray::number(nowMs()) + ' ' + hashOf(editor->document()->toRawText()));
        // Mostly typing, now and then a pause longer than the journal's.
        const int delay = rng.bounded(100) < 6 ? rng.bounded(400, 3000) : rng.bounded(10, 150);
        QTimer::singleShot(delay, typeOne);
    };
    QTimer::singleShot(0, typeOne);
    return qApp->exec();
}

// Adds a file and a bookmark to the project, says so once that turn of the
// event loop is over, and waits to be killed.
int editProjectUntilKilled(const QString &projectFile, const QString &php, const QString &log)
{
    logFd = ::open(QFile::encodeName(log).constData(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    ovtest::isolate();
    auto *window = new DODIvez(projectFile);
    Project *project = window->project();
    project->addFileItem(php, project->getRootItem());
    project->setBookmarks(php, {4});
    QTimer::singleShot(0, [] { QTimer::singleShot(0, [] { logLine("P"); }); });
    return qApp->exec();
}

int killRounds()
{
    const int n = qEnvironmentVariableIntValue("VIZIRO_RECOVERY_KILL_ROUNDS");
    return n > 0 ? n : 12;
}

struct State {
    qint64 ms;
    QByteArray hash;
};

} // namespace

class RecoveryKillTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    static QStringList logLines(const QString &log, qsizetype *offset)
    {
        const QByteArray all = ovtest::readFile(log);
        const QByteArray fresh = all.mid(*offset);
        const qsizetype end = fresh.lastIndexOf('\n') + 1;
        *offset += end;
        return QString::fromUtf8(fresh.left(end)).split('\n', Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        QDir(JournalSlot::folder()).removeRecursively();
    }

    void killWhileTyping()
    {
        const int rounds = killRounds();
        const QString file = dir.filePath("typed.php");
        const QString log = dir.filePath("typed.log");
        QByteArray start = "<?php\n";
        for (int i = 0; i < 200; ++i)
            start += "function f" + QByteArray::number(i) + "($a) {\n    return $a + " + QByteArray::number(i) + ";\n}\n";
        QVERIFY(ovtest::writeFile(file, start));

        QRandomGenerator rng(20261207);
        QList<State> timeline;
        QSet<QByteArray> allowed; // what the next start may recover
        qsizetype offset = 0;
        int latest = 0, older = 0, early = 0;
        int startUpMs = 300;
        for (int round = 0; round <= rounds; ++round) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(),
                        {"--child", file, log, QString::number(rng.generate())});
            QVERIFY(child.waitForStarted());
            QByteArray recovered;
            if (round == 0 || round == rounds) {
                // The first start times the start-up (slow in sanitized
                // builds), the last one only recovers.
                QElapsedTimer wait;
                wait.start();
                while (!ovtest::readFile(log).mid(offset).contains("R ") && wait.elapsed() < 30000)
                    QThread::msleep(20);
                startUpMs = int(wait.elapsed());
                if (round == 0)
                    QThread::msleep(rng.bounded(100, 3000));
            } else {
                QThread::msleep(rng.bounded(startUpMs / 2, startUpMs + 3000));
            }
            const qint64 killedAt = nowMs();
            ::kill(pid_t(child.processId()), SIGKILL);
            child.waitForFinished();

            for (const QString &line : logLines(log, &offset)) {
                const QStringList f = line.split(' ');
                QVERIFY2(f[0] != "X", qPrintable("round " + QString::number(round) + ": " + line));
                if (f.size() < 3)
                    continue;
                const QByteArray hash = f[2].toLatin1();
                if (f[0] == "R") {
                    recovered = hash;
                    if (!allowed.isEmpty()) {
                        QVERIFY2(allowed.contains(hash),
                                 qPrintable(QStringLiteral("round %1: recovered a text that did not stand in the "
                                                           "last two seconds before the kill").arg(round)));
                        if (!timeline.isEmpty() && hash == timeline.last().hash)
                            ++latest;
                        else
                            ++older;
                    }
                }
                timeline.append({f[1].toLongLong(), hash});
            }
            if (recovered.isEmpty()) {
                ++early; // killed before it had opened the file: the journal is as it was
                continue;
            }
            // The state current two seconds before the kill, and every later one.
            allowed.clear();
            for (int i = int(timeline.size()) - 1; i >= 0; --i) {
                allowed.insert(timeline[i].hash);
                if (timeline[i].ms <= killedAt - AllowedAgeMs)
                    break;
            }
        }
        QVERIFY(latest + older > 0);
        qInfo("%d kills: %d recovered the last text typed, %d an earlier one of the last two seconds, %d came "
              "before the file was open",
              rounds, latest, older, early);
    }

    void projectChangesSurviveAKill()
    {
        const QString project = dir.filePath("kill.vuzar");
        const QString php = dir.filePath("kill.php");
        const QString log = dir.filePath("project.log");
        QVERIFY(ovtest::writeFile(php, "<?php\n"));
        QVERIFY(ovtest::writeFile(project, "<!DOCTYPE RODadazozOZO>\n<Project Name=\"kill\"/>\n"));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {"--project", project, php, log});
        QVERIFY(child.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(ovtest::readFile(log).contains("P"), 30000);
        ::kill(pid_t(child.processId()), SIGKILL);
        child.waitForFinished();
        const QByteArray written = ovtest::readFile(project);
        QVERIFY2(written.contains("kill.php"), written.constData());
        QVERIFY2(written.contains("4"), written.constData());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--child") == 0)
        return typeUntilKilled(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                               QByteArray(argv[4]).toUInt());
    if (argc == 5 && qstrcmp(argv[1], "--project") == 0)
        return editProjectUntilKilled(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                                      QString::fromLocal8Bit(argv[4]));
    // A round takes about two seconds: many outlast the test library's watchdog.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(qMax(300000, killRounds() * 10000)));
    RecoveryKillTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recoverykill.moc"
