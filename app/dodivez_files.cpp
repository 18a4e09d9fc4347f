// File and project commands, recent lists and window settings.
#include "app/dodivez.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBlock>

#include "app/applog.h"
#include "app/dialogs.h"
#include "app/recentlist.h"
#include "editor/core/textfile.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "project/core/projectfile.h"
#include "project/project.h"

namespace ov {

namespace {

const QString kAppName = QStringLiteral("Viziro");

QString shown(const QString &path)
{
    return QDir::fromNativeSeparators(path);
}

} // namespace

// --- Project lifetime ---------------------------------------------------------

// Asks before dropping a project that cannot be written. Also run when the
// window closes, so the destructor finds no project to save unasked.
bool DODIvez::closeCurrentProject()
{
    return projectTree->saveAndCloseProject();
}

// Only reached when the window goes without being closed; nobody can be
// asked any more, but the failure is still shown.
void DODIvez::saveProjectAtExit()
{
    if (!projectTree->getRootItem())
        return;
    if (!projectTree->saveProject(QString()))
        Dialogs::warning(this, QStringLiteral("Warning"),
                         QStringLiteral("Cannot write project file %1:\n%2.")
                             .arg(shown(projectTree->getProjectFileName()), projectTree->errorString()));
}

// Writes a freshly created project at once, so its file loads even if the
// editor ends before the project is closed.
bool DODIvez::writeNewProject(const QString &fileName, const QString &failureText)
{
    if (projectTree->saveProject(QString()))
        return true;
    Dialogs::critical(this, QStringLiteral("Error"),
                      failureText.arg(shown(fileName)) + QStringLiteral("\n") + projectTree->errorString());
    projectTree->closeProject();
    return false;
}

// --- Commands -----------------------------------------------------------------

void DODIvez::newProject()
{
    if (!closeCurrentProject())
        return;
    QString path = Dialogs::getSaveFileName(this, QStringLiteral("New PHP Project"), workingDirectory,
                                            QStringLiteral("*.vuzar"));
    if (path.isEmpty())
        return;
    // The file dialog does not add the extension that opening relies on.
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".vuzar");
    if (QFileInfo::exists(path)) {
        Dialogs::critical(this, QStringLiteral("File exists"),
                          QStringLiteral("File ") + shown(path) + QStringLiteral(" already exists"));
        return;
    }
    const QString folder = QFileInfo(path).path();
    if (!QFileInfo::exists(folder) && !makeDirPath(folder)) {
        Dialogs::critical(this, QStringLiteral("Error"), QStringLiteral("Can't create directory ") + shown(folder));
        return;
    }
    workingDirectory = folder;

    // NewOnly: a file that appeared meanwhile is never clobbered.
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Text | QIODevice::NewOnly)) {
        Dialogs::critical(this, QStringLiteral("Error"), QStringLiteral("Can't create file ") + shown(path));
        return;
    }
    file.close();

    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" - ") + kAppName);
    projectTree->createProject(path);
    writeNewProject(path, QStringLiteral("Can't create file %1"));
}

void DODIvez::newProjectFromFolder()
{
    if (!closeCurrentProject())
        return;
    const QString folder = Dialogs::getExistingDirectory(this, QStringLiteral("Create Project From Folder"),
                                                         workingDirectory);
    if (folder.isEmpty())
        return;

    QString name = QFileInfo(folder).baseName();
    QString file = folder + QStringLiteral("/") + name + QStringLiteral(".vuzar");
    QByteArray replaced;
    bool overwrite = false;
    // A folder without a base name ("/", ".hidden") needs a name from the user.
    if (QFileInfo::exists(file) || name.isEmpty()) {
        auto answer = QMessageBox::No;
        if (!name.isEmpty())
            answer = Dialogs::question(this, QStringLiteral("File exists"),
                                       QStringLiteral("File ") + shown(file)
                                           + QStringLiteral(" already exists.\nOverwrite this file?"),
                                       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Yes) {
            // Kept until the new project is written, so a failure can put it back.
            QString error;
            if (!readFileBytes(file, &replaced, &error) || !QFile::remove(file)) {
                Dialogs::critical(this, QStringLiteral("Error"), QStringLiteral("Can't overwrite file ") + shown(file));
                return;
            }
            overwrite = true;
        } else if (answer == QMessageBox::No) {
            name = Dialogs::getText(this, QStringLiteral("Project name"), QStringLiteral("Enter new project name"),
                                    QLineEdit::Normal, QString());
            if (name.isEmpty())
                return;
            file = folder + QStringLiteral("/") + name + QStringLiteral(".vuzar");
            if (QFileInfo::exists(file)) {
                Dialogs::critical(this, QStringLiteral("File exists"),
                                  QStringLiteral("File ") + shown(file) + QStringLiteral(" already exists"));
                return;
            }
        } else {
            return;
        }
    }

    projectTree->createProjectFromFolder(folder, name, QStringList{QStringLiteral("*")});
    if (!writeNewProject(file, overwrite ? QStringLiteral("Can't overwrite file %1")
                                         : QStringLiteral("Can't create file %1"))) {
        if (overwrite) {
            QString error;
            if (!writeFileAtomically(file, replaced, &error))
                qCWarning(lcApp, "cannot put back the project file %s: %s", qUtf8Printable(file),
                          qUtf8Printable(error));
        }
        return;
    }
    setWindowTitle(QFileInfo(file).fileName() + QStringLiteral(" - ") + kAppName);
}

void DODIvez::newFile()
{
    if (projectTree->getRootItem())
        projectTree->_addNewFile();
    else
        Dialogs::critical(this, QStringLiteral("Error"), QStringLiteral("Open or create project first"));
}

void DODIvez::openProject()
{
    if (!closeCurrentProject())
        return;
    const QString path = Dialogs::getOpenFileName(this, QStringLiteral("Open Project"), workingDirectory,
                                                  QStringLiteral("*.vuzar"));
    if (path.isEmpty())
        return;
    if (loadProjectFile(path))
        workingDirectory = QFileInfo(path).path();
}

void DODIvez::openProject(QString name)
{
    if (!closeCurrentProject() || name.isEmpty())
        return;
    loadProjectFile(name);
}

bool DODIvez::loadProjectFile(const QString &path)
{
    if (!projectTree->loadProject(path)) {
        Dialogs::critical(this, QStringLiteral("Error"), QStringLiteral("Cannot load project file %1").arg(path));
        return false;
    }
    setWindowTitle(QFileInfo(path).baseName() + QStringLiteral(" - ") + kAppName);
    addToRecentProjects(path);
    updateRecentFileActions();
    return true;
}

void DODIvez::openFile()
{
    const QString path = Dialogs::getOpenFileName(
        this, QStringLiteral("Open File"), workingDirectory,
        QStringLiteral("PHP Source (*.php *.inc);;HTML Source (*.htm *.html);;Text files (*.txt);;All files (*.*)"));
    if (path.isEmpty())
        return;
    view->addSource(path);
    workingDirectory = QFileInfo(path).path();
    addToRecentFiles(path);
    updateRecentFileActions();
}

void DODIvez::openStartPaths(const QStringList &paths)
{
    static const QRegularExpression withLine(QStringLiteral("^(.+?):([0-9]+)(?::([0-9]+))?$"));
    for (const QString &arg : paths) {
        QString path = arg;
        int line = 0;
        int column = 0;
        const QRegularExpressionMatch m = withLine.match(arg);
        if (m.hasMatch() && !QFileInfo::exists(arg)) {
            path = m.captured(1);
            line = m.captured(2).toInt();
            column = m.captured(3).toInt();
        }
        if (QFileInfo(path).suffix() == QLatin1String("vuzar")) {
            openProject(path);
            continue;
        }
        if (!openFile(path) || line <= 0)
            continue;
        if (SourceEdit *editor = view->getCurrentSource()) {
            // Past the end goes to the last line, as compilers' line numbers
            // of a file edited since may well do.
            editor->goToLine(qMin(line, editor->document()->blockCount()) - 1);
            QTextCursor cursor = editor->textCursor();
            if (column > 1) {
                cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor,
                                    qMin(column - 1, cursor.block().length() - 1));
                editor->setTextCursor(cursor);
            }
        }
    }
}

bool DODIvez::openFile(QString name)
{
    if (!view->addSource(name))
        return false;
    addToRecentFiles(name);
    updateRecentFileActions();
    return true;
}

bool DODIvez::save()
{
    bool ok = false;
    if (SourceEdit *editor = view->getCurrentSource()) {
        ok = editor->saveDocument();
        view->updateTabNames();
    }
    projectTree->startUpdating();
    return ok;
}

bool DODIvez::saveAs()
{
    bool ok = false;
    if (SourceEdit *editor = view->getCurrentSource()) {
        ok = editor->saveDocumentAs();
        view->updateTabNames();
    }
    projectTree->startUpdating();
    return ok;
}

bool DODIvez::renameFile(QString oldName, QString newName)
{
    return view->renameSource(oldName, newName);
}

// --- Recent lists and window settings ----------------------------------------

void DODIvez::openRecentFile()
{
    if (auto *action = qobject_cast<QAction *>(sender()))
        openFile(action->data().toString());
}

void DODIvez::openRecentProject()
{
    if (auto *action = qobject_cast<QAction *>(sender()))
        openProject(action->data().toString());
}

void DODIvez::updateRecentFileActions()
{
    const struct {
        const char *key;
        QAction **actions;
    } groups[] = {{RecentList::FilesKey, recentFileActs}, {RecentList::ProjectsKey, recentProjectActs}};
    for (const auto &group : groups) {
        const QStringList list = RecentList::read(group.key);
        for (int i = 0; i < MaxRecentFiles; ++i) {
            QAction *action = group.actions[i];
            if (!action)
                continue;
            if (i < list.size()) {
                action->setText(RecentList::actionText(i, list.at(i)));
                action->setData(list.at(i));
            }
            action->setVisible(i < list.size());
        }
    }
}

void DODIvez::addToRecentFiles(const QString &fileName)
{
    RecentList::add(RecentList::FilesKey, fileName);
}

void DODIvez::addToRecentProjects(const QString &fileName)
{
    RecentList::add(RecentList::ProjectsKey, fileName);
}

void DODIvez::readSettings()
{
    const QSettings settings = openSettings();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcApp, "cannot read the settings from %s", qUtf8Printable(settings.fileName()));
    // A value of another type than stored by writeSettings reads as empty.
    const QVariant geometry = settings.value(QStringLiteral("geometry"));
    if (geometry.typeId() == QMetaType::QByteArray)
        restoreGeometry(geometry.toByteArray());
    const QVariant state = settings.value(QStringLiteral("state"));
    if (state.typeId() == QMetaType::QByteArray)
        restoreState(state.toByteArray(), 0);
    const QVariant dir = settings.value(QStringLiteral("workingDirectory"));
    workingDirectory = dir.typeId() == QMetaType::QString ? dir.toString() : QString();
}

void DODIvez::writeSettings()
{
    QSettings settings = openSettings();
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("state"), saveState(0));
    settings.setValue(QStringLiteral("workingDirectory"), workingDirectory);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcApp, "cannot write the settings to %s", qUtf8Printable(settings.fileName()));
}

} // namespace ov
