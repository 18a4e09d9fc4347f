#pragma once

#include <QFont>
#include <QPlainTextDocumentLayout>
#include <QTextCursor>

namespace ov {

// The plain-text layout with one exception: a line longer than `Limit`
// characters is never handed to the text engine. The engine itemizes and
// shapes a line whole after every change to it, which for a line of
// megabytes costs seconds per keystroke. Such a line is one row of cells
// instead, one cell of the font's advance per character (the editor's font
// is fixed-pitch and tabs are held as spaces); the editor draws it, maps
// points to positions and moves the cursor in it from that grid.
class LongLineLayout : public QPlainTextDocumentLayout
{
    Q_OBJECT

public:
    static constexpr int Limit = 20000;

    explicit LongLineLayout(QTextDocument *document);

    static bool isLong(const QTextBlock &block);
    // A cursor from `anchor` to `position`, placed without asking the
    // line's layout for the cursor's x (which in a long line costs a pass
    // over the line after each change to it).
    static QTextCursor placedCursor(QTextDocument *doc, int anchor, int position);

    // The grid of a long line, in the block's own coordinates.
    qreal advance() const;
    qreal lineHeight() const;
    qreal ascent() const;
    qreal columnX(int column) const;
    // The cell boundary nearest to `x`, between 0 and `length`.
    int columnAt(qreal x, int length) const;

    QRectF blockBoundingRect(const QTextBlock &block) const override;
    QSizeF documentSize() const override;

    // While set, long lines say they lie far below any view, so the base
    // painter passes them by; the editor paints them itself.
    void setLongLinesHidden(bool hidden) { longLinesHidden = hidden; }

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    void measure() const;
    void noteWidth(qreal width) const;

    mutable QFont measuredFont;
    mutable bool measured = false;
    mutable qreal cellWidth = 0;
    mutable qreal rowHeight = 0;
    mutable qreal rowAscent = 0;
    // The widest long line seen since the last change of the line count.
    mutable qreal longWidth = 0;
    mutable bool sizeSignalPending = false;
    int knownBlockCount = 1;
    bool longLinesHidden = false;
};

} // namespace ov
