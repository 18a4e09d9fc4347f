// The project file, written as soon as the open project changes.
#include "project/project.h"

#include <QDir>
#include <QStatusBar>
#include <QTimer>

#include "app/dodivez.h"
#include "editor/core/textfile.h"
#include "project/core/projectfile.h"
#include "project/core/projectlog.h"
#include "project/projectlistitem.h"

namespace ov {

void Project::setUpAutoSave()
{
    autoSaveTimer = new QTimer(this);
    autoSaveTimer->setSingleShot(true);
    autoSaveTimer->setInterval(0); // once for all the changes of one command
    connect(autoSaveTimer, &QTimer::timeout, this, &Project::writeEditedProject);
    QAbstractItemModel *m = QTreeWidget::model();
    connect(m, &QAbstractItemModel::rowsInserted, this, &Project::projectEdited);
    connect(m, &QAbstractItemModel::rowsRemoved, this, &Project::projectEdited);
    connect(m, &QAbstractItemModel::rowsMoved, this, &Project::projectEdited);
    connect(m, &QAbstractItemModel::dataChanged, this, &Project::projectEdited);
    connect(m, &QAbstractItemModel::layoutChanged, this, &Project::projectEdited);
}

void Project::projectEdited()
{
    if (rootItem && autoSaveTimer)
        autoSaveTimer->start();
}

QByteArray Project::projectFileContent() const
{
    ProjectFile file;
    file.root = nodeOf(rootItem);
    file.bookmarks = bookmarkStore.map();
    return file.serialize(projectFileName);
}

void Project::rememberProjectFile()
{
    projectFileBytes = rootItem ? projectFileContent() : QByteArray();
}

void Project::writeEditedProject()
{
    // A project not written yet (being created) waits for its first save.
    if (!rootItem || projectFileName.isEmpty() || projectFileBytes.isEmpty())
        return;
    QByteArray bytes = projectFileContent();
    // Icons, expansion and the like change the tree's data, not the file.
    if (bytes == projectFileBytes)
        return;
    QString error;
    if (!writeFileAtomically(projectFileName, bytes, &error)) {
        if (!autoSaveFailing)
            qCWarning(lcProject, "cannot write the project file %s: %s", qUtf8Printable(projectFileName),
                      qUtf8Printable(error));
        if (!autoSaveFailing && mainWindow)
            mainWindow->statusBar()->showMessage(QStringLiteral("Cannot write project file %1: %2")
                                                     .arg(QDir::toNativeSeparators(projectFileName), error),
                                                 10000);
        autoSaveFailing = true;
        return;
    }
    autoSaveFailing = false;
    projectFileBytes = std::move(bytes);
}

} // namespace ov
