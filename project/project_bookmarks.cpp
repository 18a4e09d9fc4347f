// The project's bookmarks: the store the editors hand their lines to, and
// the next/previous commands that move across files.
#include "project/project.h"

#include "host/host.h"

namespace ov {

void Project::addBookmark(QString fileName, int lineNumber)
{
    bookmarkStore.add(fileName, lineNumber);
    projectEdited();
}

void Project::removeBookmark(QString fileName, int lineNumber)
{
    bookmarkStore.remove(fileName, lineNumber);
    projectEdited();
}

bool Project::hasBookmark(QString fileName, int lineNumber)
{
    return bookmarkStore.has(fileName, lineNumber);
}

void Project::cleanBookmarks()
{
    bookmarkStore.clear();
    projectEdited();
}

QList<int> Project::getBookmarks(const QString &fileName) const
{
    return bookmarkStore.get(fileName);
}

void Project::setBookmarks(const QString &fileName, const QList<int> &lines)
{
    bookmarkStore.set(fileName, lines);
    projectEdited();
}

void Project::showNextBookmark()
{
    if (rootItem && bookmarkStore.next())
        showBookmark();
}

void Project::showPrevBookmark()
{
    if (rootItem && bookmarkStore.prev())
        showBookmark();
}

void Project::showBookmark()
{
    if (!mainWindow)
        return;
    const BookmarkStore::Position pos = bookmarkStore.position();
    mainWindow->openFileAtLine(pos.file, pos.line);
}

} // namespace ov
