// Gutter, line bookmarks and editing commands of the source editor.
#include "editor/sourceedit.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPixmapCache>
#include <QTextBlock>

#include "editor/addinfopanel.h"
#include "editor/syntaxmarks.h"
#include "project/project.h"

namespace ov {

namespace {

// A modifier pressed on its own, a dead key, or any key that brings no
// text and no command: on a real keyboard these come between the keys
// that type, so they must leave the closer rules as they stand.
bool typesNothing(const QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
    case Qt::Key_Multi_key:
    case Qt::Key_Codeinput:
    case Qt::Key_unknown:
    case 0:
        return true;
    default:
        return e->key() >= Qt::Key_Dead_Grave && e->key() <= Qt::Key_Dead_Longsolidusoverlay;
    }
}

// True when only Shift (and the keypad flag) may be held.
bool atMostShift(const QKeyEvent *e)
{
    return !(e->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
}

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

// ---------------------------------------------------------------- gutter

int SourceEdit::addInfoPanelWidth() const
{
    int digits = 1;
    for (int n = qMax(1, blockCount()); n >= 10; n /= 10)
        ++digits;
    return digits * fontMetrics().horizontalAdvance(QLatin1Char('9')) + 30;
}

void SourceEdit::updateAddInfoPanelWidth(int)
{
    setViewportMargins(addInfoPanelWidth(), functionList->height(), 0, 0);
}

void SourceEdit::updateAddInfoPanel(const QRect &rect, int dy)
{
    if (dy)
        infoPanel->scroll(0, dy);
    else
        infoPanel->update(0, rect.y(), addInfoPanelWidth(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateAddInfoPanelWidth(0);
}

void SourceEdit::addInfoPanelPaintEvent(QPaintEvent *event)
{
    QPainter painter(infoPanel);
    const QRect r = event->rect();
    painter.fillRect(r, Qt::white);
    painter.fillRect(QRect(r.left(), r.top(), r.left() + 15, r.bottom()), Qt::lightGray);
    const QPen oldPen = painter.pen();
    painter.setPen(QPen(QBrush(Qt::darkGreen), 1, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawLine(r.right() - 5, r.top(), r.right() - 5, r.bottom());
    painter.setPen(oldPen);

    const int width = addInfoPanelWidth();
    const int textHeight = fontMetrics().height();
    QTextBlock block = firstVisibleBlock();
    int number = block.blockNumber() + 1;
    // The text area lies below the function list; the gutter starts above it.
    int top = int(contentOffset().y() + blockBoundingGeometry(block).top()) + functionList->height();
    int bottom = top + int(blockBoundingRect(block).height());
    painter.setPen(Qt::darkGreen);
    while (block.isValid() && top <= r.bottom()) {
        if (block.isVisible() && bottom >= r.top()) {
            if (syntaxMarkList)
                syntaxMarkList->paint(painter, block, QRect(0, top, width - 5, bottom - top));
            painter.drawText(0, top, width - 6, textHeight, Qt::AlignRight, QString::number(number));
            if (BookmarkData::isSet(block)) {
                const int side = int(blockBoundingRect(block).height()) - 1;
                painter.drawPixmap(QRect(1, top, side, side), bookmarkIcon());
            }
        }
        block = block.next();
        top = bottom;
        bottom = top + int(blockBoundingRect(block).height());
        ++number;
    }
}

void SourceEdit::addInfoPanelMousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    QPoint point = event->position().toPoint();
    point.rx() += addInfoPanelWidth() + 1;
    if (functionList->isVisible())
        point.ry() -= functionList->height();
    const QTextCursor cursor = cursorForPosition(point);
    if (cursor.isNull())
        return;
    QTextBlock block = cursor.block();
    if (block.isValid()) {
        // Below the last line (or above the first) there is no line to mark.
        const QRectF line = blockBoundingGeometry(block).translated(contentOffset());
        if (point.y() < line.top() || point.y() >= line.bottom())
            return;
        BookmarkData::toggle(block);
        bookmarksEdited();
    } else {
        syncBookmarks();
    }
}

void SourceEdit::syncBookmarks()
{
    if (Project *p = project())
        p->setBookmarks(fileName, BookmarkData::lines(document()));
}

void SourceEdit::restoreBookmarks()
{
    if (Project *p = project())
        BookmarkData::mark(document(), p->getBookmarks(fileName));
}

void SourceEdit::addBookmarkToCurrentLine()
{
    QTextBlock block = textCursor().block();
    BookmarkData::set(block, true);
    bookmarksEdited();
}

void SourceEdit::removeBookmarkFromCurrentLine()
{
    if (BookmarkData *data = BookmarkData::of(textCursor().block()))
        data->bookmark = false;
    bookmarksEdited();
}

bool SourceEdit::hasBookmarkInCurrentLiane()
{
    return BookmarkData::isSet(textCursor().block());
}

QList<int> SourceEdit::bookmarkLines() const
{
    return BookmarkData::lines(document());
}

void SourceEdit::bookmarksEdited()
{
    noteBookmarkToggled();
    Q_EMIT bookmarksChanged();
    infoPanel->update();
    viewport()->update();
    syncBookmarks();
}

// ---------------------------------------------------------- line commands

void SourceEdit::indent()
{
    QTextCursor cursor = textCursor();
    EditingKeys::indent(cursor);
    setTextCursor(cursor);
}

void SourceEdit::unindent()
{
    QTextCursor cursor = textCursor();
    EditingKeys::unindent(cursor);
    setTextCursor(cursor);
}

void SourceEdit::comment()
{
    QTextCursor cursor = textCursor();
    EditingKeys::comment(cursor);
    setTextCursor(cursor);
}

void SourceEdit::uncomment()
{
    QTextCursor cursor = textCursor();
    EditingKeys::uncomment(cursor);
    setTextCursor(cursor);
}

void SourceEdit::paste2()
{
    if (isReadOnly())
        return;
    // With no clipboard owner there may be no data at all, and an image
    // has no text: then there is nothing to paste.
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QMimeData *data = clipboard->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return;
    QString text = data->text();
    if (text.isEmpty())
        return;
    // Only rewrite when needed: setText drops the clipboard's other formats.
    if (text.contains(QLatin1Char('\t'))) {
        text.replace(QLatin1Char('\t'), EditingKeys::IndentUnit);
        clipboard->setText(text, QClipboard::Clipboard);
    }
    // The text read is the text inserted: the clipboard is not asked again,
    // so a change of owner in between cannot hand the editor nothing.
    QMimeData pasted;
    pasted.setText(text);
    insertFromMimeData(&pasted);
}

// ----------------------------------------------------------- editing keys

void SourceEdit::keyPressEvent(QKeyEvent *e)
{
    if (typesNothing(e)) {
        // Neither the closer rules nor the completion popup change.
        QPlainTextEdit::keyPressEvent(e);
        return;
    }
    if (completerTakesKey(e))
        return;
    const bool shortcut = (e->modifiers() & Qt::ControlModifier) && e->key() == Qt::Key_Space;
    if (!shortcut)
        handleEditingKey(e);
    updateCompletionPopup(e, shortcut);
}

void SourceEdit::inputMethodEvent(QInputMethodEvent *e)
{
    const QString commit = e->commitString();
    if (e->preeditString().isEmpty() && e->replacementLength() == 0 && commit.size() == 1
        && QStringLiteral("\"'()[]{}").contains(commit) && !isReadOnly()) {
        QKeyEvent typed(QEvent::KeyPress, commit.at(0).unicode(), Qt::NoModifier, commit);
        keyPressEvent(&typed);
        e->accept();
        return;
    }
    QPlainTextEdit::inputMethodEvent(e);
}

void SourceEdit::handleEditingKey(QKeyEvent *e)
{
    editingKeys.prunePendingPairs(textCursor().position());
    if (handleLongLineKey(e))
        return;
    if (handleMovementKey(e))
        return;
    // The keys write through cursors, which a read-only editor would not stop.
    if (!isReadOnly()) {
        QTextCursor cursor = textCursor();
        if (editingKeys.handleKey(e, cursor))
            return;
    }
    editingKeys.clearPendingClosers();
    if (e->key() == Qt::Key_Y && (e->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        redo(); // the other usual key for it
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        // The keyboard pastes like the menu: tabs become spaces.
        paste2();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

// Home, End, Insert and word moves.
bool SourceEdit::handleMovementKey(QKeyEvent *e)
{
    if (handleVariableWordMove(e))
        return true;
    const QTextCursor::MoveMode mode =
        e->modifiers() & Qt::ShiftModifier ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    if (e->key() == Qt::Key_Home && atMostShift(e)) {
        moveCursorTo(EditingKeys::homeTarget(textCursor().block(), textCursor().position()), mode);
        return true;
    }
    if (e->key() == Qt::Key_End && atMostShift(e)) {
        moveCursorTo(EditingKeys::endTarget(textCursor().block(), textCursor().position()), mode);
        return true;
    }
    if (e->key() == Qt::Key_Insert && !(e->modifiers() & ~Qt::KeypadModifier)) {
        setOverwrite(!overwriteMode());
        return true;
    }
    return false;
}

void SourceEdit::moveCursorTo(int position, QTextCursor::MoveMode mode)
{
    if (cursorInLongLine()) {
        moveInLongLine(position, mode);
        return;
    }
    QTextCursor cursor = textCursor();
    cursor.setPosition(position, mode);
    setTextCursor(cursor);
}

} // namespace ov
