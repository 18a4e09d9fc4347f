#include "editor/addinfopanel.h"

#include <QComboBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QTextBlock>
#include <QTextDocument>

#include "editor/sourceedit.h"
#include "editor/syntaxmarks.h"

namespace ov {

namespace {

const QPixmap &bookmarkIcon()
{
    static const QString key = QStringLiteral("ov-bookmark-icon");
    static QPixmap icon;
    if (!QPixmapCache::find(key, &icon)) {
        icon.load(QStringLiteral(":/icons/silk/page_attach.png"));
        QPixmapCache::insert(key, icon);
    }
    return icon;
}

} // namespace

BookmarkData *BookmarkData::of(const QTextBlock &block)
{
    // Another component may one day attach data of its own to a block.
    return dynamic_cast<BookmarkData *>(block.userData());
}

bool BookmarkData::isSet(const QTextBlock &block)
{
    const BookmarkData *data = of(block);
    return data && data->bookmark;
}

void BookmarkData::set(QTextBlock &block, bool bookmark)
{
    if (BookmarkData *data = of(block))
        data->bookmark = bookmark;
    else if (bookmark)
        block.setUserData(new BookmarkData(true));
}

void BookmarkData::toggle(QTextBlock &block)
{
    set(block, !isSet(block));
}

// The editor never wraps, so a line is a block and the project's line
// numbers are block numbers; counting blocks does not depend on layout.
QList<int> BookmarkData::lines(const QTextDocument *document)
{
    QList<int> result;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (isSet(block))
            result.append(block.blockNumber());
    }
    return result;
}

void BookmarkData::mark(QTextDocument *document, const QList<int> &lines)
{
    for (int line : lines) {
        if (line < 0)
            continue;
        QTextBlock block = document->findBlockByNumber(line);
        if (block.isValid())
            set(block, true);
    }
}

AddInfoPanel::AddInfoPanel(SourceEdit *editor)
    : QWidget(editor), editor(editor)
{
}

QSize AddInfoPanel::sizeHint() const
{
    return QSize(panelWidth(), 0);
}

int AddInfoPanel::panelWidth() const
{
    int digits = 1;
    for (int n = qMax(1, editor->blockCount()); n >= 10; n /= 10)
        ++digits;
    return digits * editor->fontMetrics().horizontalAdvance(QLatin1Char('9')) + 30;
}

void AddInfoPanel::followUpdate(const QRect &rect, int dy)
{
    if (dy)
        scroll(0, dy);
    else
        update(0, rect.y(), panelWidth(), rect.height());
}

SyntaxMarks *AddInfoPanel::syntaxMarks()
{
    if (!marks)
        marks = new SyntaxMarks(editor, this);
    return marks;
}

void AddInfoPanel::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect r = event->rect();
    painter.fillRect(r, Qt::white);
    painter.fillRect(QRect(r.left(), r.top(), r.left() + 15, r.bottom()), Qt::lightGray);
    const QPen oldPen = painter.pen();
    painter.setPen(QPen(QBrush(Qt::darkGreen), 1, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawLine(r.right() - 5, r.top(), r.right() - 5, r.bottom());
    painter.setPen(oldPen);

    const int width = panelWidth();
    const int textHeight = editor->fontMetrics().height();
    QTextBlock block = editor->firstVisibleBlock();
    int number = block.blockNumber() + 1;
    // The text area lies below the function list; the gutter starts above it.
    int top = int(editor->contentOffset().y() + editor->blockBoundingGeometry(block).top())
              + editor->functionList->height();
    int bottom = top + int(editor->blockBoundingRect(block).height());
    painter.setPen(Qt::darkGreen);
    while (block.isValid() && top <= r.bottom()) {
        if (block.isVisible() && bottom >= r.top()) {
            if (marks)
                marks->paint(painter, block, QRect(0, top, width - 5, bottom - top));
            painter.drawText(0, top, width - 6, textHeight, Qt::AlignRight, QString::number(number));
            if (BookmarkData::isSet(block)) {
                const int side = int(editor->blockBoundingRect(block).height()) - 1;
                painter.drawPixmap(QRect(1, top, side, side), bookmarkIcon());
            }
        }
        block = block.next();
        top = bottom;
        bottom = top + int(editor->blockBoundingRect(block).height());
        ++number;
    }
}

QPoint AddInfoPanel::toViewport(const QPoint &pos) const
{
    QPoint point = pos;
    point.rx() += panelWidth() + 1;
    if (editor->functionList->isVisible())
        point.ry() -= editor->functionList->height();
    return point;
}

bool AddInfoPanel::onLine(const QTextBlock &block, const QPoint &point) const
{
    const QRectF line = editor->blockBoundingGeometry(block).translated(editor->contentOffset());
    return point.y() >= line.top() && point.y() < line.bottom();
}

void AddInfoPanel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint point = toViewport(event->position().toPoint());
    const QTextCursor cursor = editor->cursorForPosition(point);
    if (cursor.isNull())
        return;
    QTextBlock block = cursor.block();
    if (block.isValid()) {
        // Below the last line (or above the first) there is no line to mark.
        if (!onLine(block, point))
            return;
        BookmarkData::toggle(block);
        editor->bookmarksEdited();
    } else {
        editor->syncBookmarks();
    }
}

QTextBlock AddInfoPanel::blockAt(const QPoint &pos) const
{
    // As a click finds its line.
    const QPoint point = toViewport(pos);
    const QTextCursor cursor = editor->cursorForPosition(point);
    if (cursor.isNull() || !cursor.block().isValid() || !onLine(cursor.block(), point))
        return QTextBlock();
    return cursor.block();
}

} // namespace ov
