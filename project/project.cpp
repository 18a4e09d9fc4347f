#include "project/project.h"

namespace ov {

Project::Project(DODIvez *mainWindow, QWidget *parent)
    : QTreeWidget(parent), mainWindow(mainWindow)
{
    setHeaderHidden(true);
    initAnalysis();
}

Project::~Project() = default;

QStringList Project::getProjectFiles() const { return {}; }
QList<int> Project::getBookmarks(const QString &) const { return {}; }
void Project::setBookmarks(const QString &, const QList<int> &) {}
void Project::closeProject()
{
    if (!rootItem)
        return;
    closeAnalysis();
}
void Project::showNextBookmark() {}
void Project::showPrevBookmark() {}

} // namespace ov
