// Painting: the lines about to be shown are coloured first, so a document of
// any size shows highlighted text at once without highlighting it whole.
#include "editor/sourceedit.h"

#include <QPaintEvent>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextLayout>

#include "editor/mainview.h"
#include "editor/phpsyntaxhighlighter.h"

namespace ov {

namespace {

// Above this many lines, relaying out the whole document is avoided.
const int LargeDocumentBlocks = 100000;

} // namespace

void SourceEdit::paintEvent(QPaintEvent *e)
{
    prepareBlocks(e->rect());
    QPlainTextEdit::paintEvent(e);
}

void SourceEdit::resizeTextArea(QResizeEvent *e)
{
    // Lines are never wrapped, so a new width changes no line's layout; the
    // base class would still drop every line's layout and give each line a
    // layout object, which for a large document costs seconds and hundreds
    // of megabytes.
    if (lineWrapMode() == NoWrap && document()->blockCount() > LargeDocumentBlocks
        && e->oldSize().width() != e->size().width()) {
        QResizeEvent heightOnly(e->size(), QSize(e->size().width(), e->oldSize().height()));
        QPlainTextEdit::resizeEvent(&heightOnly);
        return;
    }
    QPlainTextEdit::resizeEvent(e);
}

void SourceEdit::prepareBlocks(const QRect &rect)
{
    QTextBlock block = firstVisibleBlock();
    if (!block.isValid())
        return;
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
        }
        top = bottom;
    }
    PHPSyntaxHighlighter *highlighter = view ? view->syntaxHighlighter() : nullptr;
    if (first.isValid() && highlighter && highlighter->document() == document())
        highlighter->highlightBlocks(first, last);
}

} // namespace ov
