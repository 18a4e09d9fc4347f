// The project's bookmark store follows the editor's bookmarks as lines move.
#include "editor/sourceedit.h"

#include <QTextDocument>

#include "editor/addinfopanel.h"
#include "project/project.h"

namespace ov {

void SourceEdit::startFollowingBookmarks()
{
    // The lines as they stand in the file on disk.
    savedBookmarks = bookmarkLines();
    lastBlockCount = document()->blockCount();
    connect(document(), &QTextDocument::contentsChange, this, &SourceEdit::followBookmarks);
    connect(document(), &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (!modified) {
            savedBookmarks = bookmarkLines();
            linesMovedSinceSave = false;
        }
    });
}

void SourceEdit::followBookmarks(int position, int /*removed*/, int added)
{
    // Only an edit that adds or removes lines moves bookmarks: one that
    // keeps the line count either stays in one line or spans lines in
    // what it inserted.
    const int blocks = document()->blockCount();
    const bool linesMoved = blocks != lastBlockCount
                            || document()->findBlock(position) != document()->findBlock(position + added);
    lastBlockCount = blocks;
    if (!linesMoved)
        return;
    linesMovedSinceSave = true;
    Project *p = project();
    if (p && !p->getBookmarks(fileName).isEmpty())
        syncBookmarks();
}

void SourceEdit::noteBookmarkToggled()
{
    // While every line is where it is in the file as saved, the lines
    // name the same lines there.
    if (!document()->isModified() || !linesMovedSinceSave)
        savedBookmarks = bookmarkLines();
}

void SourceEdit::discardBookmarks()
{
    if (Project *p = project())
        p->setBookmarks(fileName, savedBookmarks);
}

} // namespace ov
