// The editor's side of the syntax check: where its gutter marks live.
#include "editor/sourceedit.h"

#include <QComboBox>

#include "editor/addinfopanel.h"
#include "editor/syntaxmarks.h"

namespace ov {

SyntaxMarks *SourceEdit::syntaxMarks()
{
    if (!syntaxMarkList)
        syntaxMarkList = new SyntaxMarks(this, infoPanel);
    return syntaxMarkList;
}

QTextBlock SourceEdit::addInfoPanelBlockAt(const QPoint &pos) const
{
    // As a click in the gutter finds its line.
    QPoint point = pos;
    point.rx() += addInfoPanelWidth() + 1;
    if (functionList->isVisible())
        point.ry() -= functionList->height();
    const QTextCursor cursor = cursorForPosition(point);
    if (cursor.isNull() || !cursor.block().isValid())
        return QTextBlock();
    const QRectF line = blockBoundingGeometry(cursor.block()).translated(contentOffset());
    if (point.y() < line.top() || point.y() >= line.bottom())
        return QTextBlock();
    return cursor.block();
}

} // namespace ov
