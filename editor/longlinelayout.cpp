#include "editor/longlinelayout.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <cmath>

#include "editor/phpsyntaxhighlighter.h"

namespace ov {

// A long line is shown plain: its colours would need the same engine.
static_assert(LongLineLayout::Limit == PHPSyntaxHighlighter::LongLineLimit);

LongLineLayout::LongLineLayout(QTextDocument *document)
    : QPlainTextDocumentLayout(document)
{
}

bool LongLineLayout::isLong(const QTextBlock &block)
{
    return block.isValid() && block.length() - 1 > Limit;
}

void LongLineLayout::measure() const
{
    const QFont font = document()->defaultFont();
    if (measured && font == measuredFont)
        return;
    // Measured the way the base lays out a short line, so both kinds of
    // line have the same height and the same advance per character.
    const int cells = 64;
    QTextLayout sample(QString(cells, QLatin1Char('x')), font);
    sample.setTextOption(document()->defaultTextOption());
    sample.beginLayout();
    QTextLine line = sample.createLine();
    line.setLeadingIncluded(true);
    line.setLineWidth(1e6);
    sample.endLayout();
    cellWidth = line.naturalTextWidth() / cells;
    rowHeight = sample.boundingRect().height();
    rowAscent = line.ascent();
    measuredFont = font;
    measured = true;
}

qreal LongLineLayout::advance() const
{
    measure();
    return cellWidth;
}

qreal LongLineLayout::lineHeight() const
{
    measure();
    return rowHeight;
}

qreal LongLineLayout::ascent() const
{
    measure();
    return rowAscent;
}

qreal LongLineLayout::columnX(int column) const
{
    return document()->documentMargin() + column * advance();
}

int LongLineLayout::columnAt(qreal x, int length) const
{
    const qreal cell = advance();
    if (cell <= 0)
        return 0;
    const double column = std::floor((x - document()->documentMargin()) / cell + 0.5);
    return int(std::clamp(column, 0.0, double(length)));
}

QTextCursor LongLineLayout::placedCursor(QTextDocument *doc, int anchor, int position)
{
    // Inside an edit block a cursor leaves its x to be worked out later.
    QTextCursor c(doc);
    c.beginEditBlock();
    c.setPosition(anchor);
    c.setPosition(position, QTextCursor::KeepAnchor);
    c.endEditBlock();
    return c;
}

QRectF LongLineLayout::blockBoundingRect(const QTextBlock &block) const
{
    if (!isLong(block))
        return QPlainTextDocumentLayout::blockBoundingRect(block);
    if (!block.isVisible())
        return QRectF();
    const qreal margin = document()->documentMargin();
    noteWidth(columnX(block.length() - 1) + margin);
    // No width: the view then takes the rectangle for invalid and does not
    // look for the line's lines to scroll to (it has none). The width the
    // scroll bar needs comes through documentSize().
    QRectF br(0, 0, 0, lineHeight());
    if (!block.next().isValid())
        br.adjust(0, 0, 0, margin);
    if (longLinesHidden)
        br.moveTop(1e7);
    return br;
}

void LongLineLayout::noteWidth(qreal width) const
{
    if (width <= longWidth)
        return;
    longWidth = width;
    // Asked for a rectangle while the view works out its scroll bars, the
    // layout must not make it start over: the new width is told afterwards.
    if (sizeSignalPending)
        return;
    sizeSignalPending = true;
    auto *self = const_cast<LongLineLayout *>(this);
    QTimer::singleShot(0, self, [self] {
        self->sizeSignalPending = false;
        Q_EMIT self->documentSizeChanged(self->documentSize());
    });
}

QSizeF LongLineLayout::documentSize() const
{
    const QSizeF base = QPlainTextDocumentLayout::documentSize();
    return QSizeF(std::max(base.width(), longWidth), base.height());
}

void LongLineLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    QTextDocument *doc = document();
    const int blocks = doc->blockCount();
    const QTextBlock first = doc->findBlock(from);
    const QTextBlock last = doc->findBlock(std::max(0, from + charsRemoved + charsAdded - 1));
    if (blocks == knownBlockCount && first == last && isLong(first)) {
        // An edit inside a long line: nothing to lay out, only to repaint.
        // A line that has just grown long drops the lines the engine made.
        first.layout()->clearLayout();
        const_cast<QTextBlock &>(first).setLineCount(first.isVisible() ? 1 : 0);
        noteWidth(columnX(first.length() - 1) + doc->documentMargin());
        Q_EMIT updateBlock(first);
        return;
    }
    if (blocks != knownBlockCount) {
        // Lines came or went: the widest long line is found again as the
        // long lines are met.
        knownBlockCount = blocks;
        longWidth = 0;
    }
    QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
}

} // namespace ov
