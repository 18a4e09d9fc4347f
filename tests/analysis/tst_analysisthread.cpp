// Background runs: results equal a run done in place, runs stop promptly
// when the project goes away, start requests during a run are not lost,
// and the window's busy indicator and function lists follow the runs.
#include <QElapsedTimer>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "analysis/core/codedatabase.h"
#include "analysis/core/phpanalyser.h"
#include "analysis/core/projectloadingthread.h"
#include "analysis/fileparsingdialog.h"
#include "app/dodivez.h"
#include "editor/core/workers.h"
#include "project/core/projectfile.h"
#include "project/project.h"
#include "testutil.h"

using namespace ov;

namespace {

// A project of `count` PHP files that include one another and call each
// other's functions, big enough that a run takes a while.
struct Site {
    QTemporaryDir dir;
    QStringList files;
    QString projectFile;

    explicit Site(int count, int functionsPerFile = 40)
    {
        for (int i = 0; i < count; ++i) {
            QByteArray php = "<?php\ninclude 'f" + QByteArray::number((i + 1) % count) + ".php';\n";
            for (int k = 0; k < functionsPerFile; ++k) {
                php += "// caf\xc3\xa9 {" + QByteArray::number(k) + "}\nfunction fn_" + QByteArray::number(i) + "_"
                    + QByteArray::number(k) + "($a, $b = array(1, 2)) {\n\t$x = strlen($a);\n\tfn_"
                    + QByteArray::number((i + 1) % count) + "_" + QByteArray::number(k) + "($x);\n}\n";
            }
            const QString path = dir.filePath(QStringLiteral("f%1.php").arg(i));
            ovtest::writeFile(path, php);
            files.append(path);
        }
        projectFile = dir.filePath(QStringLiteral("site.vuzar"));
        ProjectFile project;
        project.root.name = QStringLiteral("site");
        for (const QString &f : files)
            project.root.children.append({ProjectNode::File, QString(), f, {}});
        project.write(projectFile);
    }

    AnalysisJob job(const FileDescriptions &descriptions = {}) const
    {
        AnalysisJob j;
        j.files = files;
        j.projectFolder = dir.path();
        j.descriptions = descriptions;
        j.builtins = {QStringLiteral("strlen")};
        return j;
    }
};

int functionCount(const FileDescriptions &files)
{
    int n = 0;
    for (const PHPFileDescription &d : files)
        n += int(d.functions.size());
    return n;
}

} // namespace

class TestAnalysisThread : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ovtest::isolate(); }
    void threadResultEqualsRunInPlace();
    void readingSideBySideOnASharedPool();
    void startDuringRunIsRefused();
    void stopIsPromptAndDropsResult();
    void quickRunsAnnounceStartBeforeEnd();
    void newerDescriptionsWin();
    void projectRunsAndUpdates();
    void requestsDuringRunGiveOneMoreRun();
    void closingDuringRunsManyTimes();
    void closingDuringABigFileDoesNotWait();
    void reopeningReadsNothingUnchanged();
    void forceUpdate();
    void indexTool();
};

void TestAnalysisThread::threadResultEqualsRunInPlace()
{
    Site site(20);
    AnalysisResult inPlace;
    QVERIFY(runAnalysis(site.job(), nullptr, &inPlace));
    QCOMPARE(inPlace.filesRead, 20);
    QCOMPARE(functionCount(inPlace.analysed), 20 * 40);

    ProjectLoadingThread thread;
    QSignalSpy finished(&thread, &ProjectLoadingThread::finished);
    QVERIFY(thread.startRun(site.job()));
    QVERIFY(finished.wait(20000));
    AnalysisResult viaThread;
    QVERIFY(thread.takeResult(&viaThread));
    QVERIFY(!thread.takeResult(&viaThread) || false);   // once only
    QCOMPARE(viaThread.projectFunctionNames, inPlace.projectFunctionNames);
    QCOMPARE(viaThread.analysed.keys().size(), inPlace.analysed.keys().size());
    for (auto it = inPlace.analysed.cbegin(); it != inPlace.analysed.cend(); ++it) {
        const PHPFileDescription other = viaThread.analysed.value(it.key());
        QCOMPARE(other.time, it->time);
        QCOMPARE(other.includes, it->includes);
        QCOMPARE(other.functions.keys().size(), it->functions.size());
    }
    const PHPFunctionDefinition f = inPlace.analysed.value(site.files.at(3)).functions.value(QStringLiteral("fn_3_7"));
    QCOMPARE(f.functionCalls, (QStringList{"strlen", "fn_4_7"}));
}

// Runs that read with helpers from the pool they run on, while the pool
// has no thread free, complete (none waits for a thread) with the result
// of a run that reads one file after the other.
void TestAnalysisThread::readingSideBySideOnASharedPool()
{
    Site site(40);
    AnalysisJob one = site.job();
    one.threads = 1;
    AnalysisResult expected;
    QVERIFY(runAnalysis(one, nullptr, &expected));

    Workers workers(2);
    AnalysisJob several = site.job();
    several.threads = 4;
    several.pool = workers.pool();
    const auto run = [several] {
        AnalysisResult r;
        runAnalysis(several, nullptr, &r);
        return r;
    };
    QList<QFuture<AnalysisResult>> runs;
    for (int i = 0; i < 3; ++i)
        runs.append(workers.run(run));
    several.pool = nullptr;   // a pool of the run's own
    AnalysisResult own;
    QVERIFY(runAnalysis(several, nullptr, &own));
    runs.append(QtFuture::makeReadyFuture(own));
    for (QFuture<AnalysisResult> &f : runs) {
        const AnalysisResult r = f.result();
        QCOMPARE(r.filesRead, 40);
        QCOMPARE(r.projectFunctionNames, expected.projectFunctionNames);
        QCOMPARE(functionCount(r.analysed), functionCount(expected.analysed));
        QCOMPARE(r.analysed.value(site.files.at(5)).functions.value("fn_5_3").functionCalls,
                 expected.analysed.value(site.files.at(5)).functions.value("fn_5_3").functionCalls);
    }
}

void TestAnalysisThread::startDuringRunIsRefused()
{
    Site site(150);
    ProjectLoadingThread thread;
    QSignalSpy finished(&thread, &ProjectLoadingThread::finished);
    QVERIFY(thread.startRun(site.job()));
    QVERIFY(!thread.startRun(site.job()));
    QVERIFY(finished.wait(60000));
    QTRY_VERIFY(!thread.isBusy());
    AnalysisResult result;
    QVERIFY(thread.takeResult(&result));
    QCOMPARE(result.filesRead, 150);
}

void TestAnalysisThread::stopIsPromptAndDropsResult()
{
    Site site(150);
    ProjectLoadingThread thread;
    QRandomGenerator rng(7);
    for (int round = 0; round < 30; ++round) {
        QVERIFY(thread.startRun(site.job()));
        QThread::usleep(rng.bounded(20000));
        QElapsedTimer t;
        t.start();
        thread.stopRun();
        QVERIFY2(t.elapsed() < 2000, "a stop must wait for one file at most");
        QVERIFY(!thread.isBusy());
        AnalysisResult result;
        QVERIFY(!thread.takeResult(&result));
    }
}

// A run that ends before its owner gets back to the event loop still
// reports started() before finished(), or the busy indicator stays on.
void TestAnalysisThread::quickRunsAnnounceStartBeforeEnd()
{
    ProjectLoadingThread thread;
    QStringList order;
    connect(&thread, &ProjectLoadingThread::started, [&] { order << QStringLiteral("started"); });
    connect(&thread, &ProjectLoadingThread::finished, [&] { order << QStringLiteral("finished"); });
    for (int round = 0; round < 200; ++round) {
        order.clear();
        QVERIFY(thread.startRun(AnalysisJob()));
        QThread::usleep(200);   // the empty run ends meanwhile
        QTRY_COMPARE(order.size(), 2);
        QCOMPARE(order, QStringList({QStringLiteral("started"), QStringLiteral("finished")}));
        QVERIFY(!thread.isRunning());
    }
}

void TestAnalysisThread::newerDescriptionsWin()
{
    CodeModel model;
    PHPFileDescription gui;
    gui.name = QStringLiteral("/p/a.php");
    gui.time = QDateTime(QDate(2024, 1, 1), QTime(12, 0), Qt::LocalTime);
    gui.functions.insert(QStringLiteral("fresh"), {});
    model.setPHPFileDescription(gui.name, gui);

    AnalysisResult result;
    PHPFileDescription old = gui;
    old.time = gui.time.addSecs(-10);
    old.functions = {};
    result.analysed.insert(old.name, old);
    PHPFileDescription other;
    other.name = QStringLiteral("/p/b.php");
    result.analysed.insert(other.name, other);
    result.projectFunctionNames = {QStringLiteral("fresh"), QStringLiteral("b")};
    applyAnalysisResult(result, &model);
    QVERIFY(model.getPHPFileDescription(gui.name).functions.contains(QStringLiteral("fresh")));
    QCOMPARE(model.getPHPFileDescription(other.name).name, other.name);
    QVERIFY(model.isKnownFunction(QStringLiteral("b")));
}

void TestAnalysisThread::projectRunsAndUpdates()
{
    Site site(100);
    DODIvez window(QString{});
    Project *project = window.project();
    QProgressBar *busy = window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QVERIFY(busy);
    QSignalSpy updated(project, &Project::projectUpdated);
    QVERIFY(project->getAllFunctionNames().contains(QStringLiteral("strlen")));
    const int builtins = int(project->getAllFunctionNames().size());

    // Queued after the window's own handler of the same signal.
    bool shownWhileRunning = false;
    connect(project->analysisThread(), &ProjectLoadingThread::started, this,
            [&] { shownWhileRunning = busy->isVisibleTo(&window); }, Qt::QueuedConnection);
    QVERIFY(project->loadProject(site.projectFile));
    QVERIFY(updated.wait(20000));
    QVERIFY(shownWhileRunning);
    QTRY_VERIFY(!busy->isVisibleTo(&window));
    QCOMPARE(project->getAllFunctionNames().size(), builtins + 100 * 40);
    QCOMPARE(project->findFunctionFiles(QStringLiteral("fn_2_1")), QStringList{site.files.at(2)});
    QCOMPARE(project->findFunctionDefinitions(QStringLiteral("fn_2_1")).size(), 1);
    QVERIFY(project->isKnownFunction(QStringLiteral("fn_99_39")));
    QVERIFY(!project->isBuiltinFunction(QStringLiteral("fn_99_39")));
    QVERIFY(project->findFunctionDefinitions(QStringLiteral("strlen")).isEmpty());
    QCOMPARE(project->parsingDialog()->message(), QStringLiteral("Scanning..."));

    project->closeProject();
    QCOMPARE(project->getAllFunctionNames().size(), builtins);
    QCOMPARE(project->getPHPFileDescription(site.files.at(0)).name, QString());
}

void TestAnalysisThread::requestsDuringRunGiveOneMoreRun()
{
    Site site(150);
    Project project(nullptr, nullptr);
    QSignalSpy updated(&project, &Project::projectUpdated);
    QSignalSpy started(project.analysisThread(), &ProjectLoadingThread::started);
    QVERIFY(project.loadProject(site.projectFile));
    QVERIFY(project.analysisThread()->isBusy());

    // A save during the run: the change must be analysed by a later run.
    ovtest::writeFile(site.files.at(0), "<?php function saved_during_run() {}");
    QFile f(site.files.at(0));
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.setFileTime(QDateTime::currentDateTime().addSecs(3), QFileDevice::FileModificationTime);
    f.close();
    for (int i = 0; i < 5; ++i)
        project.startUpdating();

    QTRY_COMPARE_WITH_TIMEOUT(updated.size(), 2, 60000);
    QTest::qWait(300);
    QCOMPARE(updated.size(), 2);
    QCOMPARE(started.size(), 2);
    QVERIFY(project.isKnownFunction(QStringLiteral("saved_during_run")));
    QCOMPARE(project.findFunctionFiles(QStringLiteral("saved_during_run")), QStringList{site.files.at(0)});
}

void TestAnalysisThread::closingDuringRunsManyTimes()
{
    Site site(120);
    Site other(3);
    Project project(nullptr, nullptr);
    QRandomGenerator rng(42);
    for (int round = 0; round < 40; ++round) {
        QVERIFY(project.loadProject(site.projectFile));
        QTest::qWait(int(rng.bounded(30)));
        QElapsedTimer t;
        t.start();
        if (round % 2) {
            project.closeProject();   // the next load closes the other way
            QVERIFY(project.getAllFunctionNames().size() == project.codeModel().builtinFunctions().size());
        } else {
            QVERIFY(project.loadProject(other.projectFile));
        }
        QVERIFY2(t.elapsed() < 2000, "closing must stop the run between files");
        QCoreApplication::processEvents();
    }
    // Nothing of the abandoned runs reaches the project open now.
    QVERIFY(project.loadProject(other.projectFile));
    QTRY_VERIFY_WITH_TIMEOUT(!project.analysisThread()->isBusy(), 20000);
    QTest::qWait(100);
    for (const PHPFileDescription &d : project.codeModel().fileDescriptions())
        QVERIFY2(d.name.startsWith(other.dir.path()), qPrintable(d.name));
    QVERIFY(project.isKnownFunction(QStringLiteral("fn_2_0")));
}

// The run is in the middle of a file as big as the analyser takes: closing
// returns to the event loop at once, and a run started while the stopped
// one still reads its file gets a correct result of its own.
void TestAnalysisThread::closingDuringABigFileDoesNotWait()
{
    QTemporaryDir bigDir;
    const QString big = bigDir.filePath(QStringLiteral("big.php"));
    QVERIFY(ovtest::writeBigFile(big, PhpAnalyser::MaxFileSize,
                                 "<?php\nfunction big_one($a) { strlen($a); }\n/*\n", "a long comment line\n"));
    ProjectFile bigProject;
    bigProject.root.name = QStringLiteral("big");
    bigProject.root.children.append({ProjectNode::File, QString(), big, {}});
    const QString bigProjectFile = bigDir.filePath(QStringLiteral("big.vuzar"));
    QVERIFY(bigProject.write(bigProjectFile));
    Site site(3);

    Project project(nullptr, nullptr);
    for (int round = 0; round < 2; ++round) {
        QVERIFY(project.loadProject(bigProjectFile));
        QTest::qWait(40);   // inside the big file
        QVERIFY(project.analysisThread()->isBusy());
        QElapsedTimer t;
        t.start();
        if (round == 0)
            project.closeProject();
        else
            QVERIFY(project.loadProject(site.projectFile));
        QCoreApplication::processEvents();
        QVERIFY2(t.elapsed() < 50, qPrintable(QStringLiteral("took %1 ms").arg(t.elapsed())));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!project.analysisThread()->isBusy(), 20000);
    // The stopped runs end too; nothing of theirs arrives.
    Workers::instance()->pool()->waitForDone();
    QTest::qWait(50);
    QVERIFY(project.isKnownFunction(QStringLiteral("fn_2_39")));
    QVERIFY(!project.isKnownFunction(QStringLiteral("big_one")));
    QCOMPARE(project.codeModel().fileDescriptions().keys().size(), 3);
    QVERIFY(!project.analysisThread()->isRunning());
}

void TestAnalysisThread::reopeningReadsNothingUnchanged()
{
    Site site(15);
    {
        Project project(nullptr, nullptr);
        QSignalSpy updated(&project, &Project::projectUpdated);
        QVERIFY(project.loadProject(site.projectFile));
        QVERIFY(updated.wait(20000));
        QVERIFY(project.saveProject());
        QVERIFY(QFileInfo::exists(CodeDatabase::fileNameFor(site.projectFile)));
    }
    Project project(nullptr, nullptr);
    QSignalSpy updated(&project, &Project::projectUpdated);
    QVERIFY(project.loadProject(site.projectFile));
    // The database alone knows every function before the run ends.
    QVERIFY(project.isKnownFunction(QStringLiteral("fn_14_0")));
    QVERIFY(updated.wait(20000));
    QCOMPARE(project.lastRunFilesRead(), 0);
    QVERIFY(project.isKnownFunction(QStringLiteral("fn_14_0")));
}

void TestAnalysisThread::forceUpdate()
{
    Site site(2);
    Project project(nullptr, nullptr);
    QSignalSpy updated(&project, &Project::projectUpdated);
    QVERIFY(project.loadProject(site.projectFile));
    QVERIFY(updated.wait(20000));

    // Same time stamp, new content: only a forced update sees it.
    const QDateTime time = QFileInfo(site.files.at(1)).lastModified();
    ovtest::writeFile(site.files.at(1), "<?php function forced() {}");
    QFile f(site.files.at(1));
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.setFileTime(time, QFileDevice::FileModificationTime);
    f.close();
    project.forceUpdatePHPFile(site.files.at(1));
    QCOMPARE(project.getPHPFileDescription(site.files.at(1)).functions.keys(), QStringList{"forced"});
    QCOMPARE(updated.size(), 1);

    // A file without a description is analysed like any new one.
    const QString loose = site.dir.filePath(QStringLiteral("loose.php"));
    ovtest::writeFile(loose, "<?php function loose() {}");
    project.forceUpdatePHPFile(loose);
    QCOMPARE(project.getPHPFileDescription(loose).name, loose);
}

void TestAnalysisThread::indexTool()
{
    const QString tool = QStringLiteral(VIZIRO_BUILD_DIR "/viziro-index");
    Site site(12);
    const QByteArray projectBytes = ovtest::readFile(site.projectFile);
    QProcess p;
    p.start(tool, {site.projectFile});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QString line = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    QVERIFY2(line.contains(QRegularExpression(QStringLiteral("^files=12 read=12 functions=480 ms=\\d+$"))),
             qPrintable(line));

    p.start(tool, {site.projectFile});
    QVERIFY(p.waitForFinished(60000));
    line = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    QVERIFY2(line.startsWith(QStringLiteral("files=12 read=0 functions=480 ")), qPrintable(line));
    QCOMPARE(ovtest::readFile(site.projectFile), projectBytes);

    // What the tool wrote is what the editor reads.
    CodeModel model;
    QCOMPARE(CodeDatabase::read(CodeDatabase::fileNameFor(site.projectFile), &model), 12);

    for (const QStringList &args : {QStringList{site.dir.filePath(QStringLiteral("none.vuzar"))},
                                    QStringList{site.files.at(0)}, QStringList{}}) {
        p.start(tool, args);
        QVERIFY(p.waitForFinished(60000));
        QVERIFY(p.exitCode() != 0);
        QVERIFY(!p.readAllStandardError().isEmpty());
    }
}

QTEST_MAIN(TestAnalysisThread)
#include "tst_analysisthread.moc"
