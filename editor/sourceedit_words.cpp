// A PHP variable is one word with its "$": for double-click and word moves.
#include "editor/sourceedit.h"

#include <QKeyEvent>
#include <QTextBlock>

#include "editor/longlinelayout.h"

namespace ov {

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// True when `pos` lies between a "$" and the name it starts.
bool insideVariable(const QTextDocument *doc, int pos)
{
    return pos > 0 && doc->characterAt(pos - 1) == QLatin1Char('$') && isNameChar(doc->characterAt(pos));
}

} // namespace

bool SourceEdit::handleVariableWordMove(QKeyEvent *e)
{
    QTextCursor::MoveOperation op;
    QTextCursor::MoveMode mode = QTextCursor::MoveAnchor;
    if (e->matches(QKeySequence::MoveToNextWord)) {
        op = QTextCursor::NextWord;
    } else if (e->matches(QKeySequence::MoveToPreviousWord)) {
        op = QTextCursor::PreviousWord;
    } else if (e->matches(QKeySequence::SelectNextWord)) {
        op = QTextCursor::NextWord;
        mode = QTextCursor::KeepAnchor;
    } else if (e->matches(QKeySequence::SelectPreviousWord)) {
        op = QTextCursor::PreviousWord;
        mode = QTextCursor::KeepAnchor;
    } else {
        return false;
    }
    QTextCursor cursor = textCursor();
    cursor.movePosition(op, mode);
    if (insideVariable(document(), cursor.position())) {
        // Backwards the "$" belongs to the word; forwards the name does.
        if (op == QTextCursor::PreviousWord)
            cursor.setPosition(cursor.position() - 1, mode);
        else
            cursor.movePosition(op, mode);
    }
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
}

void SourceEdit::selectVariableName()
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return;
    const QTextDocument *doc = document();
    int start = cursor.selectionStart();
    int end = cursor.selectionEnd();
    if (insideVariable(doc, start)) {
        --start;
    } else if (doc->characterAt(end - 1) == QLatin1Char('$') && isNameChar(doc->characterAt(end))) {
        // The "$" itself was clicked: the name comes with it.
        const QTextBlock line = cursor.block();
        const int lineEnd = line.position() + line.length() - 1;
        start = end - 1;
        while (end < lineEnd && isNameChar(doc->characterAt(end)))
            ++end;
    } else {
        return;
    }
    setTextCursor(LongLineLayout::placedCursor(document(), start, end));
}

} // namespace ov
