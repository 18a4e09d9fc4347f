#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

namespace ov {

class DODIvez;
class ProjectItem;

// The project explorer: the tree of the open project and the project's
// non-visual state. (Stub: filled in by the project work.)
class Project : public QTreeWidget
{
    Q_OBJECT

public:
    Project(DODIvez *mainWindow, QWidget *parent);
    ~Project() override;

    // A project is open exactly when this is not null.
    ProjectItem *getRootItem() const { return rootItem; }
    QString getProjectFileName() const { return projectFileName; }

    QStringList getProjectFiles() const;
    QList<int> getBookmarks(const QString &fileName) const;
    void setBookmarks(const QString &fileName, const QList<int> &bookmarks);

public Q_SLOTS:
    void startUpdating();
    void closeProject();
    void showNextBookmark();
    void showPrevBookmark();

Q_SIGNALS:
    void projectUpdated();

private:
    DODIvez *mainWindow = nullptr;
    ProjectItem *rootItem = nullptr;
    QString projectFileName;
};

} // namespace ov
