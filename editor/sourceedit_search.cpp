// The editor's own find and replace steps.
#include "editor/sourceedit.h"

namespace ov {

void SourceEdit::findNext(QString) {}
bool SourceEdit::replaceNext(QString, QString) { return false; }

void SourceEdit::selectRange(int start, int end)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    centerCursor();
    setFocus();
}

} // namespace ov
