// Painting: the lines about to be shown are coloured first, so a document of
// any size shows highlighted text at once without highlighting it whole.
#include "editor/sourceedit.h"

#include <QAbstractTextDocumentLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>

#include "editor/mainview.h"
#include "editor/phpsyntaxhighlighter.h"

namespace ov {

namespace {

// Above this many lines or characters, relaying out the whole document is
// avoided: it costs a layout object per line, or shaping a long line again.
const int LargeDocumentBlocks = 100000;
const int LargeDocumentChars = 1024 * 1024;

} // namespace

void SourceEdit::paintEvent(QPaintEvent *e)
{
    const QRect er = e->rect();
    const QList<QPair<QTextBlock, QPointF>> longLines = prepareBlocks(er);
    // The base class draws every glyph of a line on each paint, shown or
    // not, so a long line would cost a long time per paint, cursor blinks
    // included. Long lines are drawn here, only their visible stretch; moved
    // out of the way, the base class skips them (it leaves out lines below
    // the area it paints).
    for (const auto &[block, at] : longLines)
        block.layout()->setPosition(QPointF(0, 1e6));
    QPlainTextEdit::paintEvent(e);
    for (const auto &[block, at] : longLines) {
        block.layout()->setPosition(QPointF());
        const QRect band =
            QRectF(er.left(), at.y(), er.width(), blockBoundingRect(block).height()).toAlignedRect() & er;
        if (!band.isEmpty())
            paintLongLine(block, at, band);
    }
}

void SourceEdit::paintLongLine(const QTextBlock &block, const QPointF &at, const QRect &clip)
{
    QTextLayout *layout = block.layout();
    if (layout->lineCount() == 0)
        return;
    const QTextLine line = layout->lineAt(0);
    const QString text = block.text();
    const int n = int(text.size());
    // The stretch under the clip, a little wider so glyphs cut at its edges
    // show. (xToCursor answers the line's end for any x past its first
    // stretch, so the positions are searched by their x.)
    const auto positionAt = [&](qreal x) {
        int lo = 0, hi = n;
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (line.cursorToX(mid) < x)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    int a = std::max(0, positionAt(clip.left() - at.x()) - 2);
    int b = std::min(n, positionAt(clip.right() + 1 - at.x()) + 2);
    if (a > 0 && text.at(a).isLowSurrogate())
        --a;
    if (b < n && text.at(b).isLowSurrogate())
        ++b;
    QTextLayout part(text.mid(a, b - a), document()->defaultFont());
    part.setTextOption(layout->textOption());
    part.beginLayout();
    QTextLine partLine = part.createLine();
    partLine.setLeadingIncluded(true);
    partLine.setPosition(QPointF(0, 0));
    part.endLayout();
    const QPointF origin(at.x() + line.cursorToX(a), at.y() + line.y());

    // The selections and the cursor as the base class would draw them.
    const QAbstractTextDocumentLayout::PaintContext context = getPaintContext();
    const int blockStart = block.position();
    QList<QTextLayout::FormatRange> selections;
    for (const QAbstractTextDocumentLayout::Selection &range : context.selections) {
        QTextLayout::FormatRange o;
        o.format = range.format;
        const int from = range.cursor.selectionStart() - blockStart;
        const int to = range.cursor.selectionEnd() - blockStart;
        if (from < block.length() && to > 0 && to > from) {
            o.start = std::max(from, a) - a;
            o.length = std::min(to, b + 1) - a - o.start;
        } else if (!range.cursor.hasSelection() && range.format.hasProperty(QTextFormat::FullWidthSelection)
                   && block.contains(range.cursor.position())) {
            o.start = 0;
            o.length = b - a + 1;
        } else {
            continue;
        }
        if (o.length > 0)
            selections.append(o);
    }
    const int cursor = context.cursorPosition - blockStart;
    const bool drawCursor = cursor >= 0 && cursor < block.length() && cursor >= a && cursor <= b;
    if (drawCursor && overwriteMode() && cursor < n) {
        QTextLayout::FormatRange o;
        o.start = cursor - a;
        o.length = 1;
        o.format.setForeground(palette().base());
        o.format.setBackground(palette().text());
        selections.append(o);
    }

    QPainter painter(viewport());
    painter.setClipRect(clip);
    painter.setPen(context.palette.text().color());
    part.draw(&painter, origin, selections, clip);
    if (drawCursor && !(overwriteMode() && cursor < n))
        part.drawCursor(&painter, origin, cursor - a, cursorWidth());
}

void SourceEdit::resizeTextArea(QResizeEvent *e)
{
    // Lines are never wrapped, so a new width changes no line's layout; the
    // base class would still drop every line's layout and give each line a
    // layout object, which for a large document costs seconds and hundreds
    // of megabytes, and a long line is shaped whole again.
    const QTextDocument *doc = document();
    const bool large = doc->blockCount() > LargeDocumentBlocks || doc->characterCount() > LargeDocumentChars;
    if (lineWrapMode() == NoWrap && large && e->oldSize().width() != e->size().width()) {
        QResizeEvent heightOnly(e->size(), QSize(e->size().width(), e->oldSize().height()));
        QPlainTextEdit::resizeEvent(&heightOnly);
        return;
    }
    QPlainTextEdit::resizeEvent(e);
}

QList<QPair<QTextBlock, QPointF>> SourceEdit::prepareBlocks(const QRect &rect)
{
    QList<QPair<QTextBlock, QPointF>> longLines;
    QTextBlock block = firstVisibleBlock();
    if (!block.isValid())
        return longLines;
    const QPointF offset = contentOffset();
    QTextBlock first, last;
    for (qreal top = offset.y() + blockBoundingGeometry(block).top(); block.isValid() && top <= rect.bottom();
         block = block.next()) {
        // Without its cache a layout drops its glyphs after each layout, and
        // every paint or cursor move in a long line would shape it whole again.
        if (block.length() > PHPSyntaxHighlighter::LongLineLimit)
            block.layout()->setCacheEnabled(true);
        const qreal bottom = top + blockBoundingRect(block).height();
        if (block.isVisible() && bottom >= rect.top()) {
            if (!first.isValid())
                first = block;
            last = block;
            if (block.length() > PHPSyntaxHighlighter::LongLineLimit)
                longLines.append({block, QPointF(offset.x(), top)});
        }
        top = bottom;
    }
    PHPSyntaxHighlighter *highlighter = view ? view->syntaxHighlighter() : nullptr;
    if (first.isValid() && highlighter && highlighter->document() == document())
        highlighter->highlightBlocks(first, last);
    return longLines;
}

} // namespace ov
