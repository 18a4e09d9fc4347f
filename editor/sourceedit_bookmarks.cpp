// The gutter's side in the editor, the bookmark slots, and the project's
// bookmark store following the editor's bookmarks as lines move.
#include "editor/sourceedit.h"

#include <QComboBox>
#include <QTextDocument>

#include "editor/addinfopanel.h"
#include "project/project.h"

namespace ov {

// ---------------------------------------------------------------- gutter

int SourceEdit::addInfoPanelWidth() const
{
    return infoPanel->panelWidth();
}

void SourceEdit::updateAddInfoPanelWidth(int)
{
    setViewportMargins(addInfoPanelWidth(), functionList->height(), 0, 0);
}

void SourceEdit::updateAddInfoPanel(const QRect &rect, int dy)
{
    infoPanel->followUpdate(rect, dy);
    if (rect.contains(viewport()->rect()))
        updateAddInfoPanelWidth(0);
}

QTextBlock SourceEdit::addInfoPanelBlockAt(const QPoint &pos) const
{
    return infoPanel->blockAt(pos);
}

SyntaxMarks *SourceEdit::syntaxMarks()
{
    return infoPanel->syntaxMarks();
}

// ------------------------------------------------------------- bookmarks

void SourceEdit::syncBookmarks()
{
    if (Project *p = project())
        p->setBookmarks(fileName, BookmarkData::lines(document()));
}

void SourceEdit::restoreBookmarks()
{
    if (Project *p = project())
        BookmarkData::mark(document(), p->getBookmarks(fileName));
}

void SourceEdit::addBookmarkToCurrentLine()
{
    QTextBlock block = textCursor().block();
    BookmarkData::set(block, true);
    bookmarksEdited();
}

void SourceEdit::removeBookmarkFromCurrentLine()
{
    if (BookmarkData *data = BookmarkData::of(textCursor().block()))
        data->bookmark = false;
    bookmarksEdited();
}

bool SourceEdit::hasBookmarkInCurrentLiane()
{
    return BookmarkData::isSet(textCursor().block());
}

QList<int> SourceEdit::bookmarkLines() const
{
    return BookmarkData::lines(document());
}

void SourceEdit::bookmarksEdited()
{
    noteBookmarkToggled();
    Q_EMIT bookmarksChanged();
    infoPanel->update();
    viewport()->update();
    syncBookmarks();
}


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
