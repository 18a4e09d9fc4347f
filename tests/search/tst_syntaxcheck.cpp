#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolTip>

#include "app/dodivez.h"
#include "editor/addinfopanel.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "editor/syntaxmarks.h"
#include "project/project.h"
#include "search/core/syntaxchecker.h"
#include "search/output.h"
#include "search/syntaxcheck.h"
#include "testutil.h"

using namespace ov;

Q_DECLARE_METATYPE(ov::SyntaxCheckResult::Status)

#if defined(__SANITIZE_THREAD__)
// QProcess starts its children with vfork: until the child runs the
// interpreter it shares our memory, and ThreadSanitizer then takes this
// process for a forked child that must start no thread. It is not one.
extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}
#endif

namespace {

const QByteArray BrokenAtLine2 = "<?php\nfunction f( {\n}\n";
const QByteArray BrokenAtLine3 = "<?php\n$a = 1;\n$b = [1, 2;\n";
const QByteArray Clean = "<?php\necho 'fine';\n";

// Runs the checker until it is idle and returns what it reported.
QList<SyntaxCheckResult> checkNow(SyntaxChecker &checker, const QStringList &files)
{
    QList<SyntaxCheckResult> results;
    QObject::connect(&checker, &SyntaxChecker::checked, &checker,
                     [&results](const SyntaxCheckResult &r) { results.append(r); });
    QSignalSpy finished(&checker, &SyntaxChecker::finished);
    checker.check(files);
    if (checker.isBusy() && !finished.wait(20000))
        qWarning("the check did not finish");
    checker.disconnect(&checker);
    return results;
}

// What the installed interpreter prints for a file under some ini settings.
QByteArray lintOutput(const QStringList &settings, const QString &file, int *exitCode)
{
    QProcess php;
    php.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args;
    for (const QString &setting : settings)
        args << QStringLiteral("-d") << setting;
    php.start(SyntaxChecker::findInterpreter(QString()), args << QStringLiteral("-l") << file);
    php.waitForFinished(20000);
    *exitCode = php.exitCode();
    return php.readAll();
}

} // namespace

class SyntaxCheckTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray savedPath;
    DODIvez *window = nullptr;

    QString path(const QString &name) const { return dir.filePath(name); }

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString file = path(name);
        QDir().mkpath(QFileInfo(file).path());
        if (!ovtest::writeFile(file, bytes))
            qFatal("cannot write %s", qPrintable(file));
        return file;
    }

    // An interpreter that takes its time before the real one answers.
    QString slowInterpreter(const QString &seconds)
    {
        const QString script = write(QStringLiteral("bin/slow-php-") + seconds,
                                     "#!/bin/sh\nsleep " + seconds.toUtf8() + "\nexec php \"$@\"\n");
        QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeUser);
        return script;
    }

    SyntaxCheck *checking() const { return window->syntaxCheck(); }

    QStringList outputLines() const
    {
        QStringList lines;
        for (int i = 0; i < window->output()->count(); ++i)
            lines << window->output()->item(i)->text();
        return lines;
    }

    // Types `text` over the whole document and saves it; waits for the check.
    SourceEdit *saveAs(SourceEdit *editor, const QByteArray &text)
    {
        editor->selectAll();
        editor->insertPlainText(QString::fromUtf8(text));
        QSignalSpy shown(checking(), &SyntaxCheck::resultShown);
        window->save();
        if (!shown.wait(20000))
            qWarning("no check result after saving");
        return editor;
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        QVERIFY(dir.isValid());
        savedPath = qgetenv("PATH");
        if (SyntaxChecker::findInterpreter(QString()).isEmpty())
            QFAIL("these tests need the PHP interpreter (php-cli) on the PATH");
    }

    void init()
    {
        Dialogs::clear();
        QSettings().remove(SyntaxCheck::interpreterKey());
        qputenv("PATH", savedPath);
        window = new DODIvez(QString());
    }

    void cleanup()
    {
        ovtest::discardAllTabs(window->mainView());
        delete window;
        window = nullptr;
        qputenv("PATH", savedPath);
    }

    // ---- the checker and its reading of the interpreter ----

    void checksRealFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<SyntaxCheckResult::Status>("status");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");

        QTest::newRow("unclosed parameter list") << "plain.php" << BrokenAtLine2 << SyntaxCheckResult::Errors << 2
                                                 << "Parse error: syntax error";
        QTest::newRow("string open at the end") << "open.php" << QByteArray("<?php\n$x = \"abc\n")
                                                << SyntaxCheckResult::Errors << 3 << "Parse error: syntax error";
        QTest::newRow("function declared twice")
            << "twice.php" << QByteArray("<?php\nfunction a() {}\nfunction a() {}\n") << SyntaxCheckResult::Errors
            << 3 << "Fatal error: Cannot redeclare a()";
        QTest::newRow("clean file") << "clean.php" << Clean << SyntaxCheckResult::Clean << 0 << "";
        // With `--` before it the interpreter would lint its empty standard
        // input and call this file clean.
        QTest::newRow("leading dash") << "-dash.php" << BrokenAtLine3 << SyntaxCheckResult::Errors << 3
                                      << "Parse error: syntax error";
        QTest::newRow("spaces, quotes, umlaut") << "a b \"q\" 'q' %1 \xc3\xbc in x on line 7.php" << BrokenAtLine3
                                                << SyntaxCheckResult::Errors << 3 << "Parse error: syntax error";
        QTest::newRow("missing file") << "" << QByteArray() << SyntaxCheckResult::Errors << 0
                                      << "Could not open input file";
    }

    void checksRealFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(SyntaxCheckResult::Status, status);
        QFETCH(int, line);
        QFETCH(QString, message);

        const QString file = name.isEmpty() ? path(QStringLiteral("missing.php"))
                                            : write(QStringLiteral("real/") + name, bytes);
        SyntaxChecker checker;
        const QList<SyntaxCheckResult> results = checkNow(checker, {file});
        QCOMPARE(results.size(), 1);
        const SyntaxCheckResult &result = results.first();
        QCOMPARE(result.fileName, file);
        QCOMPARE(result.status, status);
        if (status == SyntaxCheckResult::Clean) {
            QVERIFY(result.errors.isEmpty());
            return;
        }
        QCOMPARE(result.errors.size(), 1);
        const SyntaxError &error = result.errors.first();
        QCOMPARE(error.line, line);
        QVERIFY2(error.message.startsWith(message), qPrintable(error.message));
        if (line > 0) {
            // The place is said by the line's own fields, not in the message.
            QVERIFY2(!error.message.endsWith(file) && !error.message.contains(QLatin1String(" on line ")),
                     qPrintable(error.message));
            QCOMPARE(error.text(), file + QLatin1Char(':') + QString::number(line) + QStringLiteral(": ") + error.message);
        }
    }

    // Every way the user's ini files may make the interpreter report an
    // error reads the same. PHP 7 worded its errors differently.
    void readsEveryWording_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QByteArray>("printed");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");

        const QString now = QStringLiteral("Parse error: syntax error, unexpected token \"{\", expecting variable");
        QTest::newRow("displayed") << QStringList{"display_errors=1", "log_errors=0", "html_errors=0"}
                                   << QByteArray() << 0 << now;
        QTest::newRow("logged") << QStringList{"display_errors=0", "log_errors=1", "error_log="} << QByteArray()
                                << 0 << now;
        QTest::newRow("logged and displayed") << QStringList{"display_errors=1", "log_errors=1", "error_log="}
                                              << QByteArray() << 0 << now;
        QTest::newRow("html markup") << QStringList{"display_errors=1", "log_errors=0", "html_errors=1"}
                                     << QByteArray() << 0 << now;
        QTest::newRow("php 7")
            << QStringList() << QByteArray("PHP Parse error:  syntax error, unexpected '{', expecting variable "
                                           "(T_VARIABLE) in FILE on line 2\nErrors parsing FILE\n")
            << 255 << "Parse error: syntax error, unexpected '{', expecting variable (T_VARIABLE)";
        QTest::newRow("unknown form kept whole")
            << QStringList() << QByteArray("Segmentation fault\n") << 139 << "Segmentation fault";
        QTest::newRow("warnings of a clean file")
            << QStringList() << QByteArray("PHP Deprecated:  Something old in FILE on line 4\nNo syntax errors "
                                           "detected in FILE\n")
            << 0 << "";
    }

    void readsEveryWording()
    {
        QFETCH(QStringList, settings);
        QFETCH(QByteArray, printed);
        QFETCH(int, exitCode);
        QFETCH(QString, message);

        const QString file = write(QStringLiteral("wording/in x.php"), BrokenAtLine2);
        if (!settings.isEmpty())
            printed = lintOutput(settings, file, &exitCode);
        printed.replace("FILE", file.toUtf8());
        const SyntaxCheckResult result = parseLintOutput(file, printed, exitCode);
        if (message.isEmpty()) {
            QCOMPARE(result.status, SyntaxCheckResult::Clean);
            return;
        }
        QCOMPARE(result.status, SyntaxCheckResult::Errors);
        QCOMPARE(result.errors.size(), 1);
        QCOMPARE(result.errors.first().message, message);
        QCOMPARE(result.errors.first().line, settings.isEmpty() && exitCode != 255 ? 0 : 2);
    }

    void recognisesPhpFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("php");
        QTest::newRow("a.php") << "a.php" << QByteArray() << true;
        QTest::newRow("A.PHTML") << "A.PHTML" << QByteArray() << true;
        QTest::newRow("config.inc") << "config.inc" << QByteArray() << true;
        QTest::newRow("style.css") << "style.css" << QByteArray("<?php") << false;
        QTest::newRow("tool with shebang") << "tool" << QByteArray("#!/usr/bin/env php\n<?php") << true;
        QTest::newRow("tool with tag") << "tool" << QByteArray("<?php\n") << true;
        QTest::newRow("shell tool") << "tool" << QByteArray("#!/bin/sh\n# php\n") << false;
        QTest::newRow("README") << "README" << QByteArray("About php") << false;
    }

    void recognisesPhpFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, head);
        QFETCH(bool, php);
        QCOMPARE(isPhpSource(name, head), php);
    }

    void noInterpreterNoCheck()
    {
        SyntaxChecker checker;
        QSignalSpy missing(&checker, &SyntaxChecker::interpreterMissing);
        qputenv("PATH", QFile::encodeName(path(QStringLiteral("empty"))));
        QVERIFY(checkNow(checker, {write(QStringLiteral("x.php"), Clean)}).isEmpty());
        QCOMPARE(missing.size(), 1);
        qputenv("PATH", savedPath);
        checker.setInterpreter(path(QStringLiteral("no/such/php")));
        QVERIFY(checkNow(checker, {path(QStringLiteral("x.php"))}).isEmpty());
        QCOMPARE(missing.size(), 2);
        // There, but it cannot be run.
        const QString broken = write(QStringLiteral("bin/broken-php"), "#!/no/such/interpreter\n");
        QFile::setPermissions(broken, QFile::permissions(broken) | QFile::ExeUser);
        checker.setInterpreter(broken);
        QVERIFY(checkNow(checker, {path(QStringLiteral("x.php")), path(QStringLiteral("y.php"))}).isEmpty());
        QCOMPARE(missing.size(), 3);
        QVERIFY(!checker.isBusy());
    }

    void slowCheckIsKilled()
    {
        SyntaxChecker checker;
        checker.setInterpreter(slowInterpreter(QStringLiteral("30")));
        checker.setTimeout(300);
        QElapsedTimer clock;
        clock.start();
        const QList<SyntaxCheckResult> results = checkNow(checker, {write(QStringLiteral("slow.php"), Clean)});
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.first().status, SyntaxCheckResult::TimedOut);
        QCOMPARE(results.first().errors.size(), 1);
        QVERIFY(results.first().errors.first().message.contains(QLatin1String("stopped")));
    }

    // A file saved again while its check runs is reported once, as it is now.
    void recheckReportsTheLatest()
    {
        SyntaxChecker checker;
        checker.setInterpreter(slowInterpreter(QStringLiteral("0.3")));
        const QString file = write(QStringLiteral("again.php"), BrokenAtLine2);
        QList<SyntaxCheckResult> results;
        connect(&checker, &SyntaxChecker::checked, this, [&results](const SyntaxCheckResult &r) { results << r; });
        QSignalSpy finished(&checker, &SyntaxChecker::finished);
        checker.check({file});
        write(QStringLiteral("again.php"), Clean);
        checker.check({file, file});
        QVERIFY(finished.wait(20000));
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.first().status, SyntaxCheckResult::Clean);
    }

    // ---- in the editor ----

    void saveMarksAndClearsTheError()
    {
        const QString file = write(QStringLiteral("edit/page.php"), Clean);
        QVERIFY(window->openFile(file));
        SourceEdit *editor = window->mainView()->getCurrentSource();

        saveAs(editor, BrokenAtLine2);
        const QStringList lines = outputLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(file + QStringLiteral(":2: Parse error: syntax error")),
                 qPrintable(lines.first()));
        QVERIFY(!window->output()->item(0)->icon().isNull());
        QCOMPARE(editor->syntaxMarks()->lines(), QList<int>{1});
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Syntax error in page.php"));

        // The tool tip of the mark tells the error.
        auto *gutter = editor->findChild<AddInfoPanel *>();
        const QTextBlock marked = editor->document()->findBlockByNumber(1);
        const QRect row = editor->cursorRect(QTextCursor(marked));
        QPoint at(3, row.center().y());
        for (int y = 0; y < gutter->height() && editor->addInfoPanelBlockAt(at) != marked; ++y)
            at.setY(y);
        QCOMPARE(editor->addInfoPanelBlockAt(at), marked);
        QHelpEvent tip(QEvent::ToolTip, at, gutter->mapToGlobal(at));
        QApplication::sendEvent(gutter, &tip);
        QVERIFY(QToolTip::text().startsWith(QStringLiteral("Parse error: syntax error")));

        // The mark stays with its line as lines are added above it.
        QTextCursor top(editor->document());
        top.insertText(QStringLiteral("\n\n"));
        QCOMPARE(editor->syntaxMarks()->lines(), QList<int>{3});

        saveAs(editor, Clean);
        QVERIFY(outputLines().isEmpty());
        QVERIFY(editor->syntaxMarks()->isEmpty());
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Syntax OK"));

        // Other files are not PHP's to judge.
        const QString text = write(QStringLiteral("edit/notes.txt"), "text");
        QVERIFY(window->openFile(text));
        QSignalSpy shown(checking(), &SyntaxCheck::resultShown);
        window->mainView()->getCurrentSource()->insertPlainText(QStringLiteral("<?php {"));
        QVERIFY(window->save());
        QVERIFY(!shown.wait(1000));
    }

    void outputLinesLeadToTheirPlace()
    {
        const QString first = write(QStringLiteral("place/a.php"), BrokenAtLine3);
        const QString second = write(QStringLiteral("place/b.php"), BrokenAtLine2);
        Output *output = window->output();
        output->setFileErrors(second, {{second, 2, QStringLiteral("Parse error: two")}});
        output->setFileErrors(first, {{first, 3, QStringLiteral("Parse error: three")}});
        output->addNote(QStringLiteral("a note"));
        QCOMPARE(outputLines(), QStringList({QStringLiteral("a note"), first + QStringLiteral(":3: Parse error: three"),
                                             second + QStringLiteral(":2: Parse error: two")}));

        // A double-click opens the file at the line (the click before it
        // is what a real double-click starts with).
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QPoint middle = output->visualItemRect(output->item(1)).center();
        QTest::mouseClick(output->viewport(), Qt::LeftButton, {}, middle);
        QTest::mouseDClick(output->viewport(), Qt::LeftButton, {}, middle);
        SourceEdit *editor = window->mainView()->getCurrentSource();
        QVERIFY(editor);
        QCOMPARE(editor->getFilePath(), first);
        QCOMPARE(editor->textCursor().blockNumber(), 2);

        // Return does the same; the note leads nowhere.
        output->setCurrentRow(2);
        QTest::keyClick(output, Qt::Key_Return);
        QCOMPARE(window->mainView()->getCurrentSource()->getFilePath(), second);
        QCOMPARE(window->mainView()->getCurrentSource()->textCursor().blockNumber(), 1);
        output->setCurrentRow(0);
        QTest::keyClick(output, Qt::Key_Return);
        QCOMPARE(window->mainView()->getCurrentSource()->getFilePath(), second);

        // The editor opened later shows the marks of its file's last check.
        const QString late = write(QStringLiteral("place/late.php"), BrokenAtLine3);
        QSignalSpy shown(checking(), &SyntaxCheck::resultShown);
        checking()->checkSavedFile(late);
        QVERIFY(shown.wait(20000));
        QVERIFY(window->openFile(late));
        QCOMPARE(window->mainView()->getCurrentSource()->syntaxMarks()->lines(), QList<int>{2});

        // Copy and Clear.
        output->clearSelection();
        output->item(1)->setSelected(true);
        output->item(2)->setSelected(true);
        output->copySelection();
        QCOMPARE(QApplication::clipboard()->text(), outputLines().mid(1, 2).join(QLatin1Char('\n')));
        const QList<QAction *> menu = output->findChild<QMenu *>()->actions();
        QCOMPARE(menu.size(), 2);
        QCOMPARE(menu.at(0)->text(), QStringLiteral("Copy"));
        QCOMPARE(menu.at(1)->text(), QStringLiteral("Clear"));
        menu.at(1)->trigger();
        QCOMPARE(output->count(), 0);
    }

    void missingInterpreterIsSaidOnce()
    {
        qputenv("PATH", QFile::encodeName(path(QStringLiteral("empty"))));
        const QString file = write(QStringLiteral("nophp/x.php"), Clean);
        QVERIFY(window->openFile(file));
        SourceEdit *editor = window->mainView()->getCurrentSource();
        for (int i = 0; i < 2; ++i) {
            editor->insertPlainText(QStringLiteral(" "));
            QVERIFY(window->save());
        }
        QCOMPARE(window->output()->count(), 1);
        QVERIFY(outputLines().first().contains(QLatin1String("php-cli")));
        QVERIFY(Dialogs::calls().isEmpty());
    }

    void projectCheck()
    {
        const QString folder = path(QStringLiteral("proj"));
        write(QStringLiteral("proj/b.php"), BrokenAtLine2);
        write(QStringLiteral("proj/a.php"), BrokenAtLine3);
        write(QStringLiteral("proj/sub/ok.php"), Clean);
        write(QStringLiteral("proj/sub/view.phtml"), "<?php if (1): ?>\n<p>\n");
        write(QStringLiteral("proj/readme.txt"), "<?php {");
        QVERIFY(window->project()->createProjectFromFolder(folder, QStringLiteral("proj"), {QStringLiteral("*")}));
        auto *label = window->findChild<QLabel *>(QStringLiteral("progressLabel"));

        QSignalSpy finished(checking(), &SyntaxCheck::projectCheckFinished);
        checking()->checkProjectAction()->trigger();
        QVERIFY(checking()->isProjectCheckRunning());
        QVERIFY(checking()->cancelAction()->isEnabled());
        QVERIFY(label->text().startsWith(QStringLiteral("Checking syntax 0/4")));
        QVERIFY(label->isVisibleTo(window));
        QVERIFY(finished.wait(30000));
        const QStringList lines = outputLines();
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).startsWith(folder + QStringLiteral("/a.php:3: ")));
        QVERIFY(lines.at(1).startsWith(folder + QStringLiteral("/b.php:2: ")));
        QVERIFY(lines.at(2).startsWith(folder + QStringLiteral("/sub/view.phtml:3: ")));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Syntax errors in 3 of 4 files"));
        QVERIFY(!checking()->cancelAction()->isEnabled());
        QCOMPARE(label->text(), QStringLiteral("Updating..."));

        // Cancelled halfway, it stops its processes and says so.
        QSettings().setValue(SyntaxCheck::interpreterKey(), slowInterpreter(QStringLiteral("30")));
        checking()->checkProject();
        QVERIFY(checking()->projectChecker()->isBusy());
        checking()->cancelAction()->trigger();
        QVERIFY(!checking()->isProjectCheckRunning());
        QVERIFY(!checking()->projectChecker()->isBusy());
        QVERIFY(checking()->checkProjectAction()->isEnabled());
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Syntax check cancelled"));
        QCOMPARE(outputLines(), lines);
    }
};

QTEST_MAIN(SyntaxCheckTest)
#include "tst_syntaxcheck.moc"
