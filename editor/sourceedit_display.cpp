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
#include <cmath>

#include "editor/longlinelayout.h"
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
    // Long lines have no layout of the engine's; the base class passes them
    // by and they are drawn here, only their visible stretch.
    LongLineLayout *layout = longLineLayout();
    if (layout)
        layout->setLongLinesHidden(true);
    QPlainTextEdit::paintEvent(e);
    if (layout)
        layout->setLongLinesHidden(false);
    for (const auto &[block, at] : longLines) {
        const QRect band =
            QRectF(er.left(), at.y(), er.width(), blockBoundingRect(block).height()).toAlignedRect() & er;
        if (!band.isEmpty())
            paintLongLine(block, at, band);
    }
}

void SourceEdit::paintLongLine(const QTextBlock &block, const QPointF &at, const QRect &clip)
{
    const LongLineLayout *layout = longLineLayout();
    const int n = block.length() - 1;
    const int blockStart = block.position();
    const qreal cell = std::max<qreal>(layout->advance(), 1);
    const qreal origin = at.x() + layout->columnX(0);
    const auto xOf = [&](int column) { return origin + column * cell; };
    // The cells under the clip, one more on each side for glyphs cut there.
    int a = std::clamp(int(std::floor((clip.left() - origin) / cell)) - 1, 0, n);
    const int b = std::clamp(int(std::ceil((clip.right() + 1 - origin) / cell)) + 1, a, n);
    if (a > 0 && document()->characterAt(blockStart + a).isLowSurrogate())
        --a;
    const QString text = textBetween(blockStart + a, blockStart + b);
    const qreal top = at.y();
    const qreal height = layout->lineHeight();
    const qreal baseline = top + layout->ascent();

    QPainter painter(viewport());
    painter.setClipRect(clip);
    const QFont font = document()->defaultFont();
    const QAbstractTextDocumentLayout::PaintContext context = getPaintContext();

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
    const int cursorPos = textCursor().position() - blockStart;
    const bool showCursor = hasFocus() && cursorPos >= 0 && cursorPos <= n && !isReadOnly();
    const bool blockCursor = showCursor && overwriteMode() && cursorPos < n;
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
            pen = palette().base().color();
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
        painter.fillRect(QRectF(xOf(cursorPos), top, cursorWidth(), height), context.palette.text());
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
        const qreal bottom = top + blockBoundingRect(block).height();
        if (block.isVisible() && bottom >= rect.top()) {
            if (!first.isValid())
                first = block;
            last = block;
            if (LongLineLayout::isLong(block))
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
