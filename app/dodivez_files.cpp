// File and project commands, recent lists and window settings.
#include "app/dodivez.h"

#include "editor/mainview.h"
#include "editor/sourceedit.h"

namespace ov {

void DODIvez::newProject() {}
void DODIvez::newProjectFromFolder() {}
void DODIvez::newFile() {}
void DODIvez::openProject() {}
void DODIvez::openProject(QString) {}
void DODIvez::openFile() {}

bool DODIvez::openFile(QString name)
{
    return view->addSource(name);
}

bool DODIvez::save()
{
    SourceEdit *editor = view->getCurrentSource();
    if (!editor)
        return false;
    const bool ok = editor->saveDocument();
    view->updateTabNames();
    return ok;
}

bool DODIvez::saveAs()
{
    SourceEdit *editor = view->getCurrentSource();
    if (!editor)
        return false;
    const bool ok = editor->saveDocumentAs();
    view->updateTabNames();
    return ok;
}

bool DODIvez::renameFile(QString oldName, QString newName)
{
    return view->renameSource(oldName, newName);
}

void DODIvez::openRecentFile() {}
void DODIvez::openRecentProject() {}
void DODIvez::updateRecentFileActions() {}
void DODIvez::readSettings() {}
void DODIvez::writeSettings() {}
void DODIvez::addToRecentFiles(const QString &) {}
void DODIvez::addToRecentProjects(const QString &) {}

} // namespace ov
