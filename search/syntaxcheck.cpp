#include "search/syntaxcheck.h"

#include <QAction>
#include <QDockWidget>
#include <QFileInfo>
#include <QKeySequence>
#include <QSet>
#include <QSettings>
#include <QMainWindow>

#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "editor/syntaxmarks.h"
#include "host/host.h"
#include "project/project.h"
#include "search/core/syntaxchecker.h"
#include "search/output.h"

namespace ov {

namespace {

constexpr int NoticeMs = 5000;

QString keyOf(const QString &fileName)
{
    return QFileInfo(fileName).absoluteFilePath();
}

QList<QPair<int, QString>> markLines(const QList<SyntaxError> &errors)
{
    QList<QPair<int, QString>> lines;
    for (const SyntaxError &error : errors) {
        if (error.line > 0)
            lines.append({error.line, error.message});
    }
    return lines;
}

} // namespace

SyntaxCheck::SyntaxCheck(Host *window, Output *output)
    : QObject(window->hostWindow()), window(window), output(output)
{
    onSave = new SyntaxChecker(this);
    onDemand = new SyntaxChecker(this);
    for (SyntaxChecker *checker : {onSave, onDemand})
        connect(checker, &SyntaxChecker::interpreterMissing, this, &SyntaxCheck::interpreterMissing);
    connect(onSave, &SyntaxChecker::checked, this, [this](const SyntaxCheckResult &r) { show(r, true); });
    connect(onDemand, &SyntaxChecker::checked, this, [this](const SyntaxCheckResult &r) { show(r, false); });
    connect(onDemand, &SyntaxChecker::progress, this, &SyntaxCheck::projectProgress);
    connect(onDemand, &SyntaxChecker::finished, this, &SyntaxCheck::projectFinished);

    checkProjectAct = new QAction(QStringLiteral("Check Syntax of Project"), this);
    checkProjectAct->setIcon(QIcon(QStringLiteral(":/icons/silk/script_error.png")));
    checkProjectAct->setStatusTip(QStringLiteral("Check every PHP file of the project with the PHP interpreter"));
    checkProjectAct->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F9));
    connect(checkProjectAct, &QAction::triggered, this, &SyntaxCheck::checkProject);
    cancelAct = new QAction(QStringLiteral("Cancel Syntax Check"), this);
    cancelAct->setIcon(QIcon(QStringLiteral(":/icons/silk/script_delete.png")));
    cancelAct->setEnabled(false);
    connect(cancelAct, &QAction::triggered, this, &SyntaxCheck::cancelProjectCheck);

    connect(output, &Output::locationActivated, this, &SyntaxCheck::openLocation);
    MainView *view = window->mainView();
    connect(view, &MainView::sourceSaved, this, &SyntaxCheck::checkSavedFile);
    // An editor opened after its file was checked shows the marks as it appears.
    connect(view, &QTabWidget::currentChanged, this, [this, view] {
        if (SourceEdit *editor = view->realizedSource(view->currentIndex()))
            markEditor(editor);
    });
}

QString SyntaxCheck::interpreterKey()
{
    return QStringLiteral("phpInterpreter");
}

QString SyntaxCheck::interpreter() const
{
    return QSettings().value(interpreterKey()).toString();
}

bool SyntaxCheck::isProjectCheckRunning() const
{
    return projectRunning;
}

void SyntaxCheck::checkSavedFile(const QString &fileName)
{
    if (fileName.isEmpty() || !isPhpFile(fileName))
        return;
    onSave->setInterpreter(interpreter());
    onSave->check({keyOf(fileName)});
}

void SyntaxCheck::checkProject()
{
    Project *project = window->project();
    if (!project->getRootItem()) {
        window->showStatusMessage(QStringLiteral("No project is open"), NoticeMs);
        return;
    }
    QStringList files;
    QSet<QString> seen;
    const QStringList paths = project->getProjectFiles();
    for (const QString &fileName : paths) {
        const QString key = keyOf(fileName);
        if (!seen.contains(key) && isPhpFile(key)) {
            seen.insert(key);
            files.append(key);
        }
    }
    // Walking the files in path order fills the output window in its order.
    files.sort();
    onDemand->cancel();
    if (files.isEmpty()) {
        window->showStatusMessage(QStringLiteral("The project has no PHP files"), NoticeMs);
        return;
    }
    if (auto *dock = qobject_cast<QDockWidget *>(output->parentWidget())) {
        dock->show();
        dock->raise();
    }
    projectTotal = int(files.size());
    projectFilesWithErrors = 0;
    projectFiles = 0;
    setProjectRunning(true);
    onDemand->setInterpreter(interpreter());
    onDemand->check(files);
    if (onDemand->isBusy())
        projectProgress(0, onDemand->totalCount());
}

void SyntaxCheck::cancelProjectCheck()
{
    if (!projectRunning)
        return;
    onDemand->cancel();
    window->showStatusMessage(QStringLiteral("Syntax check cancelled"), NoticeMs);
}

void SyntaxCheck::setProjectRunning(bool running)
{
    projectRunning = running;
    checkProjectAct->setEnabled(!running);
    cancelAct->setEnabled(running);
}

void SyntaxCheck::projectProgress(int done, int total)
{
    window->setStatusProgressText(QStringLiteral("Checking syntax %1/%2").arg(done).arg(total));
    // The analysis may have hidden the indicator it shares with us.
    window->setStatusProgressShow();
}

void SyntaxCheck::projectFinished()
{
    if (!projectRunning)
        return;
    const bool complete = projectFiles == projectTotal;
    setProjectRunning(false);
    window->setStatusProgressText(QString());
    if (!window->project()->analysisThread()->isRunning())
        window->setStatusProgressHide();
    if (complete) {
        const QString text = projectFilesWithErrors == 0
            ? QStringLiteral("Syntax OK in %1 files").arg(projectFiles)
            : QStringLiteral("Syntax errors in %1 of %2 files").arg(projectFilesWithErrors).arg(projectFiles);
        window->showStatusMessage(text, NoticeMs);
    }
    Q_EMIT projectCheckFinished();
}

void SyntaxCheck::show(const SyntaxCheckResult &result, bool fromSave)
{
    const QString key = keyOf(result.fileName);
    const bool clean = result.status == SyntaxCheckResult::Clean;
    output->setFileErrors(key, result.errors);
    // Editors take their marks from here; a clean file's empty list clears them.
    Known &entry = known[key];
    entry.id = ++lastId;
    entry.errors = result.errors;
    MainView *view = window->mainView();
    for (int i = 0; i < view->count(); ++i) {
        SourceEdit *editor = view->realizedSource(i);
        if (editor && keyOf(editor->getFilePath()) == key)
            markEditor(editor);
    }
    if (clean)
        known.remove(key);

    if (fromSave) {
        const QString name = QFileInfo(key).fileName();
        QString notice = QStringLiteral("Syntax OK");
        if (result.status == SyntaxCheckResult::TimedOut)
            notice = QStringLiteral("The syntax check of %1 took too long").arg(name);
        else if (!clean)
            notice = QStringLiteral("Syntax error in %1").arg(name);
        window->showStatusMessage(notice, NoticeMs);
    } else {
        ++projectFiles;
        if (!clean)
            ++projectFilesWithErrors;
    }
    Q_EMIT resultShown(result);
}

void SyntaxCheck::markEditor(SourceEdit *editor)
{
    const auto it = known.constFind(keyOf(editor->getFilePath()));
    if (it == known.constEnd())
        return;
    // Marks of the same check have followed their lines through the edits.
    if (editor->syntaxMarks()->checkId() != it->id)
        editor->syntaxMarks()->set(markLines(it->errors), it->id);
}

void SyntaxCheck::interpreterMissing()
{
    if (!missingSaid) {
        missingSaid = true;
        output->addNote(QStringLiteral(
            "No PHP interpreter was found, so files are not checked for syntax errors. Install the package "
            "php-cli (sudo apt-get install php-cli), or give the interpreter's path under the key \"%1\" of "
            "the settings.").arg(interpreterKey()));
    }
    if (projectRunning)
        projectFinished();
}

void SyntaxCheck::openLocation(const QString &fileName, int line)
{
    MainView *view = window->mainView();
    if (!view->addSource(fileName))
        return;
    SourceEdit *editor = view->getSource(fileName);
    if (!editor)
        return;
    if (line > 0)
        editor->goToLine(line - 1);
    editor->setFocus();
}

} // namespace ov
