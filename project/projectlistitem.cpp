#include "project/projectlistitem.h"

#include "project/project.h"

#include <QFile>
#include <QFileInfo>

namespace ov {

ProjectListItem::ProjectListItem(QTreeWidget *tree, const QString &name)
    : QTreeWidgetItem(static_cast<QTreeWidget *>(nullptr)), name(name)
{
    setText(0, name);
    tree->insertTopLevelItem(0, this);
}

ProjectListItem::ProjectListItem(ProjectListItem *parent, const QString &name) : QTreeWidgetItem(parent), name(name)
{
    setText(0, name);
}

QMenu *ProjectListItem::getContextMenu() const
{
    return nullptr;
}

void ProjectListItem::open() {}

QString ProjectListItem::getPath() const
{
    return QString();
}

void ProjectListItem::setPath(const QString &) {}

QString ProjectListItem::getType() const
{
    return QString();
}

bool ProjectListItem::rename(const QString &)
{
    return true;
}

ProjectItem::ProjectItem(Project *project, const QString &name) : ProjectListItem(project, name), project(project)
{
    icon = QIcon(QStringLiteral(":/icons/silk/application_view_tile.png"));
    setIcon(0, icon);
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsDropEnabled | Qt::ItemIsEnabled);
}

QMenu *ProjectItem::getContextMenu() const
{
    return path.isEmpty() ? nullptr : project->projectMenu();
}

QString ProjectItem::getType() const
{
    return QStringLiteral("Project");
}

FolderItem::FolderItem(const QString &name, ProjectListItem *parent) : ProjectListItem(parent, name)
{
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled | Qt::ItemIsEnabled);
}

QMenu *FolderItem::getContextMenu() const
{
    Project *p = getProject();
    return p ? p->folderMenu() : nullptr;
}

Project *FolderItem::getProject() const
{
    return parentItem() ? parentItem()->getProject() : nullptr;
}

QString FolderItem::getType() const
{
    return QStringLiteral("Folder");
}

FileItem::FileItem(const QString &path, ProjectListItem *parent)
    : ProjectListItem(parent, path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)), path(path)
{
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled);
}

QMenu *FileItem::getContextMenu() const
{
    Project *p = getProject();
    return p ? p->fileMenu() : nullptr;
}

Project *FileItem::getProject() const
{
    return parentItem() ? parentItem()->getProject() : nullptr;
}

void FileItem::open()
{
    if (Project *p = getProject())
        p->openFile(path);
}

QString FileItem::getType() const
{
    return QStringLiteral("File");
}

bool FileItem::rename(const QString &newPath)
{
    return QFile::rename(path, newPath);
}

} // namespace ov
