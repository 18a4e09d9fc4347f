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
#include "editor/longlineview.h"
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
    const QList<QPair<QTextBlock, QPointF>> longRows = prepareBlocks(er);
    // Long lines have no layout of the engine's; the base class passes them
    // by and they are drawn here, only their visible stretch.
    LongLineLayout *layout = longLines->layout();
    if (layout)
        layout->setLongLinesHidden(true);
    QPlainTextEdit::paintEvent(e);
    if (layout)
        layout->setLongLinesHidden(false);
    for (const auto &[block, at] : longRows) {
        const QRect band =
            QRectF(er.left(), at.y(), er.width(), blockBoundingRect(block).height()).toAlignedRect() & er;
        if (!band.isEmpty())
            longLines->paint(block, at, band);
    }
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
