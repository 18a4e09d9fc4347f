// The editor's long-line answers come from LongLineView.
#include "editor/sourceedit.h"

#include <QMouseEvent>
#include <QScrollBar>

#include "editor/longlineview.h"

namespace ov {

bool SourceEdit::cursorInLongLine() const
{
    return longLines->cursorInLongLine();
}

QRect SourceEdit::cursorRect() const
{
    return longLines->cursorRect();
}

QRect SourceEdit::cursorRect(const QTextCursor &cursor) const
{
    return longLines->cursorRect(cursor);
}

QTextCursor SourceEdit::cursorForPosition(const QPoint &pos) const
{
    return longLines->cursorForPosition(pos);
}

void SourceEdit::centerCursor()
{
    longLines->centerCursor();
}

QTextCursor SourceEdit::wordUnderCursor(QTextCursor cursor) const
{
    return longLines->wordUnderCursor(cursor);
}

QVariant SourceEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    return longLines->inputMethodQuery(query);
}

void SourceEdit::doSetTextCursor(const QTextCursor &cursor)
{
    longLines->doSetTextCursor(cursor);
}

void SourceEdit::mousePressEvent(QMouseEvent *e)
{
    if (!longLines->handleMouse(e))
        QPlainTextEdit::mousePressEvent(e);
}

void SourceEdit::mouseReleaseEvent(QMouseEvent *e)
{
    if (!longLines->handleMouse(e))
        QPlainTextEdit::mouseReleaseEvent(e);
}

void SourceEdit::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (!longLines->handleMouse(e))
        QPlainTextEdit::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton)
        selectVariableName();
}

} // namespace ov
