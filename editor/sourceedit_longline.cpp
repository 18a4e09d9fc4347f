// Keys, clicks and the cursor in lines too long for the text engine. Such a
// line is a row of equal cells (LongLineLayout); every answer here comes
// from that grid and from the few characters around the cursor, so its cost
// does not grow with the line. Cursors are placed inside an edit block: a
// cursor placed outside one asks the line's layout for its x, and the engine
// then itemizes the whole line again after each change.
#include "editor/sourceedit.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "editor/longlinelayout.h"

namespace ov {

namespace {

const int ScopeMarkDelayMs = 250;

// A word is looked for this far around a position at most.
const int WordScanLimit = 1000;

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

bool plainModifiers(const QKeyEvent *e, Qt::KeyboardModifiers allowed)
{
    return !(e->modifiers() & ~(allowed | Qt::KeypadModifier));
}

} // namespace

LongLineLayout *SourceEdit::longLineLayout() const
{
    return qobject_cast<LongLineLayout *>(document()->documentLayout());
}

void SourceEdit::installLongLineLayout()
{
    auto *doc = new QTextDocument(this);
    doc->setDocumentLayout(new LongLineLayout(doc));
    doc->setDefaultFont(font());
    setDocument(doc);
    // The text control blinks the cursor by asking where it is; in a long
    // line that question costs a pass over the line after each change, so
    // there the cursor is drawn steady instead (see eventFilter).
    for (QObject *child : children()) {
        if (qstrcmp(child->metaObject()->className(), "QPlainTextEditControl") == 0) {
            textControl = child;
            child->installEventFilter(this);
        }
    }
}

bool SourceEdit::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == textControl && e->type() == QEvent::Timer && cursorInLongLine())
        return true;
    return QPlainTextEdit::eventFilter(watched, e);
}

void SourceEdit::doSetTextCursor(const QTextCursor &cursor)
{
    // The base scrolls to where the line's layout puts the cursor, which in
    // a long line is its start: the view is put back, then follows the
    // cursor from there.
    const int x = horizontalScrollBar()->value();
    QPlainTextEdit::doSetTextCursor(cursor);
    if (cursorInLongLine()) {
        horizontalScrollBar()->setValue(x);
        scrollToLongLineCursor();
    }
}

void SourceEdit::scheduleScopeMarks()
{
    if (!scopeMarkTimer) {
        scopeMarkTimer = new QTimer(this);
        scopeMarkTimer->setSingleShot(true);
        scopeMarkTimer->setInterval(ScopeMarkDelayMs);
        connect(scopeMarkTimer, &QTimer::timeout, this, [this] {
            updateScopeSelections();
            applyExtraSelections();
            // The text control places the cursor through the line's layout,
            // which after a change goes over the whole line once (it has no
            // lines, so no more than that). Done now, while the typing
            // rests, the next move or click does not wait for it.
            textCursor().block().layout()->lineForTextPosition(0);
        });
    }
    scopeMarkTimer->start();
}

bool SourceEdit::cursorInLongLine() const
{
    return LongLineLayout::isLong(textCursor().block());
}

QString SourceEdit::textBetween(int from, int to) const
{
    const QTextDocument *doc = document();
    QString text;
    text.reserve(std::max(0, to - from));
    for (int p = from; p < to; ++p)
        text += doc->characterAt(p);
    return text;
}

int SourceEdit::longLinePositionAt(const QPoint &pos) const
{
    const LongLineLayout *layout = longLineLayout();
    if (!layout)
        return -1;
    const QPointF offset = contentOffset();
    QTextBlock block = firstVisibleBlock();
    qreal top = offset.y() + blockBoundingGeometry(block).top();
    while (block.isValid()) {
        const qreal bottom = top + blockBoundingRect(block).height();
        if (block.isVisible() && pos.y() < bottom)
            break;
        if (top > pos.y())
            return -1;
        top = bottom;
        block = block.next();
    }
    if (!LongLineLayout::isLong(block) || pos.y() < top)
        return -1;
    const int length = block.length() - 1;
    int column = layout->columnAt(pos.x() - offset.x(), length);
    // Never between the halves of a surrogate pair.
    if (column > 0 && column < length && document()->characterAt(block.position() + column).isLowSurrogate())
        --column;
    return block.position() + column;
}

QTextCursor SourceEdit::cursorForPosition(const QPoint &pos) const
{
    const int at = longLinePositionAt(pos);
    if (at < 0)
        return QPlainTextEdit::cursorForPosition(pos);
    return LongLineLayout::placedCursor(document(), at, at);
}

QRect SourceEdit::cursorRect(const QTextCursor &cursor) const
{
    const QTextBlock block = cursor.block();
    const LongLineLayout *layout = longLineLayout();
    if (!layout || !LongLineLayout::isLong(block))
        return QPlainTextEdit::cursorRect(cursor);
    const QRectF line = blockBoundingGeometry(block).translated(contentOffset());
    const qreal x = line.left() + layout->columnX(cursor.position() - block.position());
    return QRectF(x, line.top(), cursorWidth(), layout->lineHeight()).toAlignedRect();
}

QRect SourceEdit::cursorRect() const
{
    return cursorRect(textCursor());
}

void SourceEdit::centerCursor()
{
    // The base version asks the line's layout, which a long line lacks.
    if (!cursorInLongLine()) {
        QPlainTextEdit::centerCursor();
        return;
    }
    const QTextBlock block = textCursor().block();
    const int rows = std::max(1, int(viewport()->height() / std::max<qreal>(1, longLineLayout()->lineHeight())));
    verticalScrollBar()->setValue(block.firstLineNumber() - rows / 2);
    QScrollBar *h = horizontalScrollBar();
    h->setValue(h->value() + cursorRect().left() - viewport()->width() / 2);
}

QTextCursor SourceEdit::wordUnderCursor(QTextCursor cursor) const
{
    const QTextBlock block = cursor.block();
    if (!LongLineLayout::isLong(block)) {
        cursor.select(QTextCursor::WordUnderCursor);
        return cursor;
    }
    const QTextDocument *doc = document();
    const int lineStart = block.position();
    const int lineEnd = lineStart + block.length() - 1;
    const int pos = cursor.position();
    int start = pos;
    int end = pos;
    while (start > lineStart && pos - start < WordScanLimit && isWordChar(doc->characterAt(start - 1)))
        --start;
    while (end < lineEnd && end - pos < WordScanLimit && isWordChar(doc->characterAt(end)))
        ++end;
    return LongLineLayout::placedCursor(const_cast<QTextDocument *>(doc), start, end);
}

QVariant SourceEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (cursorInLongLine()) {
        const QTextCursor c = textCursor();
        switch (query) {
        case Qt::ImCursorRectangle:
            return QRectF(cursorRect(c));
        case Qt::ImAnchorRectangle:
            return QRectF(cursorRect(LongLineLayout::placedCursor(document(), c.anchor(), c.anchor())));
        case Qt::ImSurroundingText:
        case Qt::ImCursorPosition:
        case Qt::ImAnchorPosition:
        case Qt::ImAbsolutePosition:
        case Qt::ImTextBeforeCursor:
        case Qt::ImTextAfterCursor:
        case Qt::ImCurrentSelection:
            // Answered from the line's text, which would be copied whole.
            return QVariant();
        default:
            break;
        }
    }
    return QPlainTextEdit::inputMethodQuery(query);
}

void SourceEdit::scrollToLongLineCursor()
{
    const QRect r = cursorRect();
    const QRect visible = viewport()->rect();
    if (r.top() < visible.top() || r.bottom() > visible.bottom()) {
        const QTextBlock block = textCursor().block();
        const int rows = std::max(1, int(visible.height() / std::max<qreal>(1, longLineLayout()->lineHeight())));
        QScrollBar *v = verticalScrollBar();
        v->setValue(r.top() < visible.top() ? block.firstLineNumber() : block.firstLineNumber() - rows + 1);
    }
    QScrollBar *h = horizontalScrollBar();
    // Keys keep a few cells in view beyond the cursor; a click scrolls only
    // when the cursor left the view.
    const int margin = longLineDrag ? 0 : std::min(visible.width() / 4, 4 * int(std::ceil(longLineLayout()->advance())));
    if (r.left() < visible.left() + margin)
        h->setValue(h->value() + r.left() - visible.left() - margin);
    else if (r.right() > visible.right() - margin)
        h->setValue(h->value() + r.right() - visible.right() + margin);
}

void SourceEdit::moveInLongLine(int position, QTextCursor::MoveMode mode)
{
    const QTextCursor current = textCursor();
    const int anchor = mode == QTextCursor::KeepAnchor ? current.anchor() : position;
    setTextCursor(LongLineLayout::placedCursor(document(), anchor, position));
    if (!cursorInLongLine())
        ensureCursorVisible();
}

bool SourceEdit::handleLongLineKey(QKeyEvent *e)
{
    const QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const bool longHere = LongLineLayout::isLong(block);
    const bool up = e->key() == Qt::Key_Up;
    const bool down = e->key() == Qt::Key_Down;
    const LongLineLayout *layout = longLineLayout();
    if (!layout)
        return false;
    const QTextBlock target = up ? block.previous() : down ? block.next() : QTextBlock();
    if (!longHere && !((up || down) && LongLineLayout::isLong(target)))
        return false;

    QTextDocument *doc = document();
    const int pos = cursor.position();
    const int lineStart = block.position();
    const int lineEnd = lineStart + block.length() - 1;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const QTextCursor::MoveMode mode = shift ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    const auto charAt = [doc](int p) { return doc->characterAt(p); };

    if (up || down) {
        if (!plainModifiers(e, Qt::ShiftModifier))
            return false;
        if (!target.isValid()) {
            moveInLongLine(up ? lineStart : lineEnd, mode);
            return true;
        }
        // Keep the cursor's x: cells in a long line, the engine elsewhere.
        const qreal x = longHere ? layout->columnX(pos - lineStart) : cursorRect(cursor).left() - contentOffset().x();
        int to;
        if (LongLineLayout::isLong(target)) {
            to = target.position() + layout->columnAt(x, target.length() - 1);
            if (charAt(to).isLowSurrogate())
                --to;
        } else {
            blockBoundingRect(target);   // lays the short line out
            const QTextLine line = target.layout()->lineAt(0);
            to = target.position() + (line.isValid() ? line.xToCursor(x) : 0);
        }
        moveInLongLine(to, mode);
        return true;
    }

    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        if (!plainModifiers(e, Qt::ShiftModifier | Qt::ControlModifier))
            return false;
        const bool right = e->key() == Qt::Key_Right;
        int to = pos;
        if (!shift && !ctrl && cursor.hasSelection()) {
            to = right ? cursor.selectionEnd() : cursor.selectionStart();
        } else if (ctrl) {
            // To the next word start on the right, the previous one on the left.
            // A "$" before a name belongs to its word.
            const int limit = right ? std::min(lineEnd, pos + WordScanLimit) : std::max(lineStart, pos - WordScanLimit);
            const auto inWord = [&](int p) {
                return isWordChar(charAt(p)) || (charAt(p) == QLatin1Char('$') && isWordChar(charAt(p + 1)));
            };
            if (right) {
                if (to == lineEnd)
                    ++to;
                while (to < limit && inWord(to))
                    ++to;
                while (to < limit && !inWord(to))
                    ++to;
            } else {
                if (to == lineStart)
                    --to;
                while (to > limit && !inWord(to - 1))
                    --to;
                while (to > limit && inWord(to - 1))
                    --to;
            }
        } else {
            to = right ? pos + 1 : pos - 1;
            if (to > lineStart && to < lineEnd && charAt(to).isLowSurrogate())
                to += right ? 1 : -1;
        }
        moveInLongLine(std::clamp(to, 0, doc->characterCount() - 1), mode);
        return true;
    }
    case Qt::Key_Backspace:
    case Qt::Key_Delete: {
        if (!plainModifiers(e, Qt::NoModifier) || isReadOnly())
            return false;
        int from = cursor.selectionStart();
        int to = cursor.selectionEnd();
        if (from == to) {
            if (e->key() == Qt::Key_Backspace) {
                if (pos == 0)
                    return true;
                from = pos - 1;
                if (from > lineStart && charAt(from).isLowSurrogate())
                    --from;
            } else {
                if (pos >= doc->characterCount() - 1)
                    return true;
                to = pos + 1;
                if (to < lineEnd && charAt(to).isLowSurrogate())
                    ++to;
            }
        }
        editingKeys.clearPendingClosers();
        QTextCursor edit = LongLineLayout::placedCursor(doc, from, to);
        edit.beginEditBlock();
        edit.removeSelectedText();
        edit.endEditBlock();
        scrollToLongLineCursor();
        return true;
    }
    default:
        break;
    }

    // Plain characters; quotes, brackets, braces, Enter and Tab keep their
    // own handling.
    const QString text = e->text();
    if (isReadOnly() || text.isEmpty() || !plainModifiers(e, Qt::ShiftModifier))
        return false;
    for (const QChar c : text)
        if (!c.isPrint() || QStringLiteral("\"'()[]{}").contains(c))
            return false;
    editingKeys.clearPendingClosers();
    QTextCursor edit = cursor;
    // Typing runs into one undo step, as the base editor has it.
    if (!edit.hasSelection() && pos == lastTypedEnd && doc->revision() == lastTypedRevision)
        edit.joinPreviousEditBlock();
    else
        edit.beginEditBlock();
    if (overwriteMode() && !edit.hasSelection() && pos < lineEnd) {
        int end = pos + 1;
        if (end < lineEnd && charAt(end).isLowSurrogate())
            ++end;
        edit.setPosition(end, QTextCursor::KeepAnchor);
    }
    edit.insertText(text);
    edit.endEditBlock();
    lastTypedEnd = textCursor().position();
    lastTypedRevision = doc->revision();
    scrollToLongLineCursor();
    return true;
}

bool SourceEdit::handleLongLineMouse(QMouseEvent *e)
{
    const QPoint point = e->position().toPoint();
    if (e->type() == QEvent::MouseButtonRelease) {
        const bool was = longLineDrag;
        longLineDrag = false;
        return was;
    }
    if (!(e->buttons() & Qt::LeftButton))
        return false;
    const int at = longLinePositionAt(point);
    if (e->type() == QEvent::MouseMove) {
        if (!longLineDrag)
            return false;
        const int to = at >= 0 ? at : QPlainTextEdit::cursorForPosition(point).position();
        moveInLongLine(to, QTextCursor::KeepAnchor);
        return true;
    }
    if (at < 0 || e->button() != Qt::LeftButton)
        return false;
    longLineDrag = true;
    if (e->type() == QEvent::MouseButtonDblClick) {
        const QTextCursor word = wordUnderCursor(LongLineLayout::placedCursor(document(), at, at));
        setTextCursor(word);
    } else {
        const bool extend = e->modifiers() & Qt::ShiftModifier;
        moveInLongLine(at, extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    }
    return true;
}

void SourceEdit::mousePressEvent(QMouseEvent *e)
{
    if (!handleLongLineMouse(e))
        QPlainTextEdit::mousePressEvent(e);
}

void SourceEdit::mouseReleaseEvent(QMouseEvent *e)
{
    if (!handleLongLineMouse(e))
        QPlainTextEdit::mouseReleaseEvent(e);
}

void SourceEdit::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (!handleLongLineMouse(e))
        QPlainTextEdit::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton)
        selectVariableName();
}

} // namespace ov
