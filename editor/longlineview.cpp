// Keys, clicks and the cursor in lines too long for the text engine. Such a
// line is a row of equal cells (LongLineLayout); every answer here comes
// from that grid and from the few characters around the cursor, so its cost
// does not grow with the line. Cursors are placed inside an edit block: a
// cursor placed outside one asks the line's layout for its x, and the engine
// then itemizes the whole line again after each change.
#include "editor/longlineview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "editor/longlinelayout.h"
#include "editor/sourceedit.h"

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

LongLineView::LongLineView(SourceEdit *editor)
    : QObject(editor), editor(editor)
{
}


LongLineLayout *LongLineView::layout() const
{
    return qobject_cast<LongLineLayout *>(editor->document()->documentLayout());
}

void LongLineView::install()
{
    auto *doc = new QTextDocument(editor);
    doc->setDocumentLayout(new LongLineLayout(doc));
    doc->setDefaultFont(editor->font());
    editor->setDocument(doc);
    // The text control blinks the cursor by asking where it is; in a long
    // line that question costs a pass over the line after each change, so
    // there the cursor is drawn steady instead (see eventFilter).
    for (QObject *child : editor->children()) {
        if (qstrcmp(child->metaObject()->className(), "QPlainTextEditControl") == 0) {
            textControl = child;
            child->installEventFilter(this);
        }
    }
}

bool LongLineView::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == textControl && e->type() == QEvent::Timer && cursorInLongLine())
        return true;
    return QObject::eventFilter(watched, e);
}

void LongLineView::doSetTextCursor(const QTextCursor &cursor)
{
    // The base scrolls to where the line's layout puts the cursor, which in
    // a long line is its start: the view is put back, then follows the
    // cursor from there.
    const int x = editor->horizontalScrollBar()->value();
    editor->QPlainTextEdit::doSetTextCursor(cursor);
    if (cursorInLongLine()) {
        editor->horizontalScrollBar()->setValue(x);
        scrollToCursor();
    }
}

void LongLineView::scheduleScopeMarks()
{
    if (!scopeMarkTimer) {
        scopeMarkTimer = new QTimer(this);
        scopeMarkTimer->setSingleShot(true);
        scopeMarkTimer->setInterval(ScopeMarkDelayMs);
        connect(scopeMarkTimer, &QTimer::timeout, this, [this] {
            editor->updateScopeSelections();
            editor->applyExtraSelections();
            // The text control places the cursor through the line's layout,
            // which after a change goes over the whole line once (it has no
            // lines, so no more than that). Done now, while the typing
            // rests, the next move or click does not wait for it.
            editor->textCursor().block().layout()->lineForTextPosition(0);
        });
    }
    scopeMarkTimer->start();
}

bool LongLineView::cursorInLongLine() const
{
    return LongLineLayout::isLong(editor->textCursor().block());
}

QString LongLineView::textBetween(int from, int to) const
{
    const QTextDocument *doc = editor->document();
    QString text;
    text.reserve(std::max(0, to - from));
    for (int p = from; p < to; ++p)
        text += doc->characterAt(p);
    return text;
}

int LongLineView::positionAt(const QPoint &pos) const
{
    const LongLineLayout *layout = this->layout();
    if (!layout)
        return -1;
    const QPointF offset = editor->contentOffset();
    QTextBlock block = editor->firstVisibleBlock();
    qreal top = offset.y() + editor->blockBoundingGeometry(block).top();
    while (block.isValid()) {
        const qreal bottom = top + editor->blockBoundingRect(block).height();
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
    if (column > 0 && column < length && editor->document()->characterAt(block.position() + column).isLowSurrogate())
        --column;
    return block.position() + column;
}

QTextCursor LongLineView::cursorForPosition(const QPoint &pos) const
{
    const int at = positionAt(pos);
    if (at < 0)
        return editor->QPlainTextEdit::cursorForPosition(pos);
    return LongLineLayout::placedCursor(editor->document(), at, at);
}

QRect LongLineView::cursorRect(const QTextCursor &cursor) const
{
    const QTextBlock block = cursor.block();
    const LongLineLayout *layout = this->layout();
    if (!layout || !LongLineLayout::isLong(block))
        return editor->QPlainTextEdit::cursorRect(cursor);
    const QRectF line = editor->blockBoundingGeometry(block).translated(editor->contentOffset());
    const qreal x = line.left() + layout->columnX(cursor.position() - block.position());
    return QRectF(x, line.top(), editor->cursorWidth(), layout->lineHeight()).toAlignedRect();
}

QRect LongLineView::cursorRect() const
{
    return cursorRect(editor->textCursor());
}

void LongLineView::centerCursor()
{
    // The base version asks the line's layout, which a long line lacks.
    if (!cursorInLongLine()) {
        editor->QPlainTextEdit::centerCursor();
        return;
    }
    const QTextBlock block = editor->textCursor().block();
    const int rows = std::max(1, int(editor->viewport()->height() / std::max<qreal>(1, layout()->lineHeight())));
    editor->verticalScrollBar()->setValue(block.firstLineNumber() - rows / 2);
    QScrollBar *h = editor->horizontalScrollBar();
    h->setValue(h->value() + cursorRect().left() - editor->viewport()->width() / 2);
}

QTextCursor LongLineView::wordUnderCursor(QTextCursor cursor) const
{
    const QTextBlock block = cursor.block();
    if (!LongLineLayout::isLong(block)) {
        cursor.select(QTextCursor::WordUnderCursor);
        return cursor;
    }
    const QTextDocument *doc = editor->document();
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

QVariant LongLineView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (cursorInLongLine()) {
        const QTextCursor c = editor->textCursor();
        switch (query) {
        case Qt::ImCursorRectangle:
            return QRectF(cursorRect(c));
        case Qt::ImAnchorRectangle:
            return QRectF(cursorRect(LongLineLayout::placedCursor(editor->document(), c.anchor(), c.anchor())));
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
    return editor->QPlainTextEdit::inputMethodQuery(query);
}

void LongLineView::scrollToCursor()
{
    const QRect r = cursorRect();
    const QRect visible = editor->viewport()->rect();
    if (r.top() < visible.top() || r.bottom() > visible.bottom()) {
        const QTextBlock block = editor->textCursor().block();
        const int rows = std::max(1, int(visible.height() / std::max<qreal>(1, layout()->lineHeight())));
        QScrollBar *v = editor->verticalScrollBar();
        v->setValue(r.top() < visible.top() ? block.firstLineNumber() : block.firstLineNumber() - rows + 1);
    }
    QScrollBar *h = editor->horizontalScrollBar();
    // Keys keep a few cells in view beyond the cursor; a click scrolls only
    // when the cursor left the view.
    const int margin = drag ? 0 : std::min(visible.width() / 4, 4 * int(std::ceil(layout()->advance())));
    if (r.left() < visible.left() + margin)
        h->setValue(h->value() + r.left() - visible.left() - margin);
    else if (r.right() > visible.right() - margin)
        h->setValue(h->value() + r.right() - visible.right() + margin);
}

void LongLineView::moveTo(int position, QTextCursor::MoveMode mode)
{
    const QTextCursor current = editor->textCursor();
    const int anchor = mode == QTextCursor::KeepAnchor ? current.anchor() : position;
    editor->setTextCursor(LongLineLayout::placedCursor(editor->document(), anchor, position));
    if (!cursorInLongLine())
        editor->ensureCursorVisible();
}

bool LongLineView::handleKey(QKeyEvent *e)
{
    const QTextCursor cursor = editor->textCursor();
    const QTextBlock block = cursor.block();
    const bool longHere = LongLineLayout::isLong(block);
    const bool up = e->key() == Qt::Key_Up;
    const bool down = e->key() == Qt::Key_Down;
    const LongLineLayout *layout = this->layout();
    if (!layout)
        return false;
    const QTextBlock target = up ? block.previous() : down ? block.next() : QTextBlock();
    if (!longHere && !((up || down) && LongLineLayout::isLong(target)))
        return false;

    QTextDocument *doc = editor->document();
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
            moveTo(up ? lineStart : lineEnd, mode);
            return true;
        }
        // Keep the cursor's x: cells in a long line, the engine elsewhere.
        const qreal x = longHere ? layout->columnX(pos - lineStart) : cursorRect(cursor).left() - editor->contentOffset().x();
        int to;
        if (LongLineLayout::isLong(target)) {
            to = target.position() + layout->columnAt(x, target.length() - 1);
            if (charAt(to).isLowSurrogate())
                --to;
        } else {
            editor->blockBoundingRect(target);   // lays the short line out
            const QTextLine line = target.layout()->lineAt(0);
            to = target.position() + (line.isValid() ? line.xToCursor(x) : 0);
        }
        moveTo(to, mode);
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
        moveTo(std::clamp(to, 0, doc->characterCount() - 1), mode);
        return true;
    }
    case Qt::Key_Backspace:
    case Qt::Key_Delete: {
        if (!plainModifiers(e, Qt::NoModifier) || editor->isReadOnly())
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
        editor->editingKeys.clearPendingClosers();
        QTextCursor edit = LongLineLayout::placedCursor(doc, from, to);
        edit.beginEditBlock();
        edit.removeSelectedText();
        edit.endEditBlock();
        scrollToCursor();
        return true;
    }
    default:
        break;
    }

    // Plain characters; quotes, brackets, braces, Enter and Tab keep their
    // own handling.
    const QString text = e->text();
    if (editor->isReadOnly() || text.isEmpty() || !plainModifiers(e, Qt::ShiftModifier))
        return false;
    for (const QChar c : text)
        if (!c.isPrint() || QStringLiteral("\"'()[]{}").contains(c))
            return false;
    editor->editingKeys.clearPendingClosers();
    QTextCursor edit = cursor;
    // Typing runs into one undo step, as the base editor has it.
    if (!edit.hasSelection() && pos == lastTypedEnd && doc->revision() == lastTypedRevision)
        edit.joinPreviousEditBlock();
    else
        edit.beginEditBlock();
    if (editor->overwriteMode() && !edit.hasSelection() && pos < lineEnd) {
        int end = pos + 1;
        if (end < lineEnd && charAt(end).isLowSurrogate())
            ++end;
        edit.setPosition(end, QTextCursor::KeepAnchor);
    }
    edit.insertText(text);
    edit.endEditBlock();
    lastTypedEnd = editor->textCursor().position();
    lastTypedRevision = doc->revision();
    scrollToCursor();
    return true;
}

bool LongLineView::handleMouse(QMouseEvent *e)
{
    const QPoint point = e->position().toPoint();
    if (e->type() == QEvent::MouseButtonRelease) {
        const bool was = drag;
        drag = false;
        return was;
    }
    if (!(e->buttons() & Qt::LeftButton))
        return false;
    const int at = positionAt(point);
    if (e->type() == QEvent::MouseMove) {
        if (!drag)
            return false;
        const int to = at >= 0 ? at : editor->QPlainTextEdit::cursorForPosition(point).position();
        moveTo(to, QTextCursor::KeepAnchor);
        return true;
    }
    if (at < 0 || e->button() != Qt::LeftButton)
        return false;
    drag = true;
    if (e->type() == QEvent::MouseButtonDblClick) {
        const QTextCursor word = wordUnderCursor(LongLineLayout::placedCursor(editor->document(), at, at));
        editor->setTextCursor(word);
    } else {
        const bool extend = e->modifiers() & Qt::ShiftModifier;
        moveTo(at, extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    }
    return true;
}

void LongLineView::paint(const QTextBlock &block, const QPointF &at, const QRect &clip)
{
    const LongLineLayout *layout = this->layout();
    const int n = block.length() - 1;
    const int blockStart = block.position();
    const qreal cell = std::max<qreal>(layout->advance(), 1);
    const qreal origin = at.x() + layout->columnX(0);
    const auto xOf = [&](int column) { return origin + column * cell; };
    // The cells under the clip, one more on each side for glyphs cut there.
    int a = std::clamp(int(std::floor((clip.left() - origin) / cell)) - 1, 0, n);
    const int b = std::clamp(int(std::ceil((clip.right() + 1 - origin) / cell)) + 1, a, n);
    if (a > 0 && editor->document()->characterAt(blockStart + a).isLowSurrogate())
        --a;
    const QString text = textBetween(blockStart + a, blockStart + b);
    const qreal top = at.y();
    const qreal height = layout->lineHeight();
    const qreal baseline = top + layout->ascent();

    QPainter painter(editor->viewport());
    painter.setClipRect(clip);
    const QFont font = editor->document()->defaultFont();
    const QAbstractTextDocumentLayout::PaintContext context = editor->getPaintContext();

    // Backgrounds first: the line's mark, extra selections, the selection
    // (last in the list, so on top). A selection that runs past the line's
    // end takes one more cell, for the line break.
    struct Range {
        int from, to;
        QTextCharFormat format;
    };
    QList<Range> ranges;
    for (const QAbstractTextDocumentLayout::Selection &range : context.selections) {
        const int from = range.cursor.selectionStart() - blockStart;
        const int to = range.cursor.selectionEnd() - blockStart;
        if (range.cursor.hasSelection()) {
            if (to > 0 && from <= n)
                ranges.append({std::max(from, 0), std::min(to, n + 1), range.format});
        } else if (range.format.hasProperty(QTextFormat::FullWidthSelection) && block.contains(range.cursor.position())) {
            painter.fillRect(QRectF(clip.left(), top, clip.width(), height), range.format.background());
        }
    }
    for (const Range &r : ranges)
        if (r.format.hasProperty(QTextFormat::BackgroundBrush))
            painter.fillRect(QRectF(xOf(r.from), top, (r.to - r.from) * cell, height), r.format.background());

    // The text, cell by cell: a run of plain ASCII in one call (a
    // fixed-pitch font keeps it on the grid), anything else one character
    // at its own cell, so that what is drawn is where the cursor says.
    const int cursorPos = editor->textCursor().position() - blockStart;
    const bool showCursor = editor->hasFocus() && cursorPos >= 0 && cursorPos <= n && !editor->isReadOnly();
    const bool blockCursor = showCursor && editor->overwriteMode() && cursorPos < n;
    const auto drawPiece = [&](int from, int to) {
        // The last range with a colour over the piece gives its pen.
        QColor pen = context.palette.text().color();
        bool bold = false;
        for (const Range &r : ranges) {
            if (r.from <= from && to <= r.to) {
                if (r.format.hasProperty(QTextFormat::ForegroundBrush))
                    pen = r.format.foreground().color();
                if (r.format.hasProperty(QTextFormat::FontWeight))
                    bold = r.format.fontWeight() > QFont::Normal;
            }
        }
        if (blockCursor && from == cursorPos)
            pen = editor->palette().base().color();
        QFont f = font;
        f.setBold(bold);
        painter.setFont(f);
        painter.setPen(pen);
        int i = from;
        while (i < to) {
            const QChar c = text.at(i - a);
            int j = i + 1;
            if (c.unicode() >= 0x20 && c.unicode() < 0x7f && !bold) {
                while (j < to && text.at(j - a).unicode() >= 0x20 && text.at(j - a).unicode() < 0x7f)
                    ++j;
            } else if (c.isHighSurrogate() && j < to) {
                ++j;
            }
            if (!(j == i + 1 && c == QLatin1Char(' ')))
                painter.drawText(QPointF(xOf(i), baseline), text.mid(i - a, j - i));
            i = j;
        }
    };
    if (blockCursor)
        painter.fillRect(QRectF(xOf(cursorPos), top, cell, height), context.palette.text());
    // Pieces end where a range or the block cursor starts or ends.
    QList<int> cuts{a, b};
    for (const Range &r : ranges)
        cuts << std::clamp(r.from, a, b) << std::clamp(r.to, a, b);
    if (blockCursor)
        cuts << std::clamp(cursorPos, a, b) << std::clamp(cursorPos + 1, a, b);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (int k = 0; k + 1 < cuts.size(); ++k) {
        int from = cuts[k], to = cuts[k + 1];
        if (to < b && text.at(to - a).isLowSurrogate())
            ++to;
        if (from > a && text.at(from - a).isLowSurrogate())
            ++from;
        if (from < to)
            drawPiece(from, to);
    }
    if (showCursor && !blockCursor)
        painter.fillRect(QRectF(xOf(cursorPos), top, editor->cursorWidth(), height), context.palette.text());
}

} // namespace ov
