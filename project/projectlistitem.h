#pragma once

#include <QIcon>
#include <QString>
#include <QTreeWidgetItem>

class QMenu;

namespace ov {

class Project;

// An entry of the project tree. Other code tells the kinds apart only by
// getType(): "Project", "Folder" or "File".
class ProjectListItem : public QTreeWidgetItem
{
public:
    virtual Project *getProject() const = 0;
    virtual void open();
    virtual QString getPath() const;
    virtual void setPath(const QString &path);
    virtual QString getType() const;
    // Renames the file on disk; the stored path stays as it is.
    virtual bool rename(const QString &newPath);

    // The menu the tree shows for this item; null for none. The menus are
    // the tree's, one per kind of item, sharing the tree's actions.
    virtual QMenu *getContextMenu() const;
    // The item above this one, null for the project item.
    ProjectListItem *parentItem() const { return static_cast<ProjectListItem *>(parent()); }

protected:
    ProjectListItem(QTreeWidget *tree, const QString &name);
    ProjectListItem(ProjectListItem *parent, const QString &name);

    QString name;
    QIcon icon;
};

// The single top-level item: the project itself, named after the project.
class ProjectItem : public ProjectListItem
{
public:
    // Inserted as the first top-level item of `project`.
    ProjectItem(Project *project, const QString &name);

    Project *getProject() const override { return project; }
    QString getPath() const override { return path; }
    void setPath(const QString &path) override { this->path = path; }
    QString getType() const override;
    // Only while the item has a path.
    QMenu *getContextMenu() const override;

private:
    Project *project;
    QString path;
};

// A virtual folder: a named group inside the project file.
class FolderItem : public ProjectListItem
{
public:
    // Appended as the last child of `parent`.
    FolderItem(const QString &name, ProjectListItem *parent);

    // Found through the parent chain, so it stays right after drag and drop.
    Project *getProject() const override;
    QString getType() const override;
    QMenu *getContextMenu() const override;
};

// A file on disk; shows the file's name only.
class FileItem : public ProjectListItem
{
public:
    FileItem(const QString &path, ProjectListItem *parent);

    Project *getProject() const override;
    void open() override;
    QString getPath() const override { return path; }
    void setPath(const QString &path) override { this->path = path; }
    QString getType() const override;
    bool rename(const QString &newPath) override;
    QMenu *getContextMenu() const override;

private:
    QString path;
};

} // namespace ov
