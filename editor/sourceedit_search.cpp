// The editor's own find and replace steps.
#include "editor/sourceedit.h"

#include <QMainWindow>
#include <QStatusBar>

#include "host/host.h"
#include "search/core/textsearch.h"

namespace ov {

namespace {

// The next hit from the cursor, else from the start after telling the user
// the end was reached. -1 when the document holds none.
qsizetype nextHit(SourceEdit *editor, QStatusBar *statusBar, const TextMatcher &matcher)
{
    const QString text = matcher.prepare(editor->document()->toRawText());
    qsizetype hit = matcher.indexIn(text, editor->textCursor().selectionEnd());
    if (hit < 0) {
        if (statusBar)
            statusBar->showMessage(QStringLiteral("Achieved end of document"), 5000);
        hit = matcher.indexIn(text, 0);
    }
    return hit;
}

} // namespace

void SourceEdit::findNext(QString text)
{
    const TextMatcher matcher(text, false, false);
    Host *w = mainWindow();
    const qsizetype hit = nextHit(this, w ? w->hostWindow()->statusBar() : nullptr, matcher);
    if (hit < 0)
        return;
    QTextCursor cursor = textCursor();
    cursor.setPosition(int(hit));
    cursor.setPosition(int(hit + matcher.length()), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    centerCursor();
}

bool SourceEdit::replaceNext(QString src, QString dst)
{
    // Only a hit the user has seen selected is replaced; otherwise the next
    // one is shown first.
    const bool replace = selectionIsHit(TextMatcher(src, false, false));
    if (replace) {
        QTextCursor cursor = textCursor();
        cursor.insertText(dst);
        setTextCursor(cursor);
    }
    findNext(src);
    return replace;
}

bool SourceEdit::selectionIsHit(const TextMatcher &matcher) const
{
    const QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    if (!cursor.hasSelection() || matcher.findsNothing() || cursor.selectionEnd() - start != matcher.length())
        return false;
    // A hit lies within one line.
    const QTextBlock block = document()->findBlock(start);
    if (cursor.selectionEnd() >= block.position() + block.length())
        return false;
    const qsizetype column = start - block.position();
    return matcher.indexIn(matcher.prepare(block.text()), column) == column;
}

void SourceEdit::selectRange(int start, int end)
{
    const int last = document()->characterCount() - 1;
    start = qBound(0, start, last);
    end = qBound(0, end, last);
    QTextCursor cursor = textCursor();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    centerCursor();
    setFocus();
}

} // namespace ov
