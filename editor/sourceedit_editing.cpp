// Gutter, line bookmarks and editing commands of the source editor.
#include "editor/sourceedit.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QTextBlock>

#include "editor/addinfopanel.h"
#include "editor/longlinelayout.h"
#include "project/project.h"

namespace ov {

namespace {

const QString indentUnit = QStringLiteral("    ");

QString spaces(int count)
{
    return QString(count, QLatin1Char(' '));
}

// Index of the first non-whitespace character, -1 for a blank line.
int firstNonSpace(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (!text.at(i).isSpace())
            return i;
    }
    return -1;
}

// The lines a line command acts on. A selection ending exactly at a line
// start leaves that line out; a bare cursor at a line start touches none.
struct TouchedLines {
    QTextBlock first;
    int count = 0;
};

TouchedLines touchedLines(const QTextCursor &cursor)
{
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    QTextDocument *document = cursor.document();
    const QTextBlock first = document->findBlock(start);
    QTextBlock last = document->findBlock(end);
    if (start == end && start == first.position())
        return {first, 0};
    if (end > start && end == last.position())
        last = last.previous();
    return {first, last.blockNumber() - first.blockNumber() + 1};
}

// Indentation of a line as the word moves see it: a line opening with
// whitespace is indented up to where WordRight leads. An empty line has
// none (WordRight would leave it for the next line).
int indentationWidth(const QTextBlock &line)
{
    if (line.length() <= 1)
        return 0;
    if (LongLineLayout::isLong(line)) {
        // Word moves go over the whole of a long line: its leading spaces,
        // which are what they would find, are counted instead.
        const QTextDocument *doc = line.document();
        const int length = line.length() - 1;
        int n = 0;
        while (n < length && doc->characterAt(line.position() + n) == QLatin1Char(' '))
            ++n;
        return n < length ? n : 0;
    }
    QTextCursor probe(line);
    probe.movePosition(QTextCursor::EndOfWord);
    if (probe.position() != line.position())
        return 0;
    probe.movePosition(QTextCursor::WordRight);
    if (probe.block() != line)
        return 0;
    return probe.position() - line.position();
}

// The nearest line at or above `line` that is not empty.
QTextBlock referenceLine(QTextBlock line)
{
    while (line.length() <= 1 && line.previous().isValid())
        line = line.previous();
    return line;
}

// Same as matching `.*(\{|:)\s*$`, without a backtracking scan of long lines.
bool opensBlock(const QString &text)
{
    int i = text.size() - 1;
    while (i >= 0 && text.at(i).isSpace())
        --i;
    return i >= 0 && (text.at(i) == QLatin1Char('{') || text.at(i) == QLatin1Char(':'));
}

// The character a key types, or a null character for command keys.
QChar typedChar(const QKeyEvent *e)
{
    if (e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return QChar();
    const QString text = e->text();
    return text.size() == 1 ? text.at(0) : QChar();
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
    const TouchedLines lines = touchedLines(cursor);
    cursor.beginEditBlock();
    if (lines.count == 0) {
        cursor.insertText(indentUnit);
    } else {
        int anchor = cursor.anchor();
        int position = cursor.position();
        QTextBlock line = lines.first;
        for (int i = 0; i < lines.count; ++i, line = line.next()) {
            cursor.setPosition(line.position());
            cursor.insertText(indentUnit);
        }
        const int grown = indentUnit.size() * lines.count;
        if (anchor < position) {
            anchor += indentUnit.size();
            position += grown;
        } else {
            anchor += grown;
            position += indentUnit.size();
        }
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void SourceEdit::unindent()
{
    // The removals go through a second cursor: the document shifts the
    // selection's ends with them and never past the start of their line.
    QTextCursor cursor = textCursor();
    TouchedLines lines = touchedLines(cursor);
    if (lines.count == 0)
        lines = {cursor.block(), 1};
    QTextCursor edit(document());
    edit.beginEditBlock();
    QTextBlock line = lines.first;
    for (int i = 0; i < lines.count; ++i, line = line.next()) {
        const QString text = line.text();
        int n = 0;
        while (n < indentUnit.size() && n < text.size() && text.at(n).isSpace())
            ++n;
        if (n == 0)
            continue;
        edit.setPosition(line.position());
        edit.setPosition(line.position() + n, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
    }
    edit.endEditBlock();
    setTextCursor(cursor);
}

void SourceEdit::comment()
{
    QTextCursor cursor = textCursor();
    const TouchedLines lines = touchedLines(cursor);
    cursor.beginEditBlock();
    if (lines.count == 0) {
        cursor.insertText(QStringLiteral("//"));
    } else {
        int anchor = cursor.anchor();
        int position = cursor.position();
        int added = 0;
        QTextBlock line = lines.first;
        for (int i = 0; i < lines.count; ++i, line = line.next()) {
            const QString text = line.text();
            if (text.isEmpty())
                continue;
            int replaced = 0;
            if (text.at(0) == QLatin1Char(' '))
                replaced = text.size() > 1 && text.at(1) == QLatin1Char(' ') ? 2 : 1;
            cursor.setPosition(line.position());
            cursor.setPosition(line.position() + replaced, QTextCursor::KeepAnchor);
            cursor.insertText(QStringLiteral("//"));
            added += 2 - replaced;
        }
        if (anchor == position) {
            // A bare cursor stays on its character.
            anchor += added;
            position += added;
        } else if (anchor < position) {
            position += added;
        } else {
            anchor += added;
        }
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void SourceEdit::uncomment()
{
    QTextCursor cursor = textCursor();
    TouchedLines lines = touchedLines(cursor);
    if (lines.count == 0)
        lines = {cursor.block(), 1};
    const int anchor = cursor.anchor();
    const int position = cursor.position();
    cursor.beginEditBlock();
    QTextBlock line = lines.first;
    for (int i = 0; i < lines.count; ++i, line = line.next()) {
        const QString text = line.text();
        int at = 0;
        while (at < text.size() && (text.at(at) == QLatin1Char(' ') || text.at(at) == QLatin1Char('\t')))
            ++at;
        if (QStringView(text).mid(at, 2) != QLatin1String("//"))
            continue;
        // Two spaces keep every column where it was.
        cursor.setPosition(line.position() + at);
        cursor.setPosition(line.position() + at + 2, QTextCursor::KeepAnchor);
        cursor.insertText(QStringLiteral("  "));
    }
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void SourceEdit::paste2()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QString text = clipboard->text(QClipboard::Clipboard);
    // Only rewrite when needed: setText drops the clipboard's other formats.
    if (text.contains(QLatin1Char('\t')))
        clipboard->setText(QString(text).replace(QLatin1Char('\t'), indentUnit), QClipboard::Clipboard);
    paste();
}

// ----------------------------------------------------------- editing keys

void SourceEdit::keyPressEvent(QKeyEvent *e)
{
    if (completerTakesKey(e))
        return;
    const bool shortcut = (e->modifiers() & Qt::ControlModifier) && e->key() == Qt::Key_Space;
    if (!shortcut)
        handleEditingKey(e);
    updateCompletionPopup(e, shortcut);
}

void SourceEdit::handleEditingKey(QKeyEvent *e)
{
    if (handleLongLineKey(e))
        return;
    if (handleMovementKey(e))
        return;
    // The other handlers write through cursors, which a read-only editor
    // would not stop.
    if (!isReadOnly()
        && (handleQuoteOrBracketKey(e) || handleBraceKey(e) || handleLineKey(e) || handleCloserKey(e)))
        return;
    clearPendingClosers();
    if (e->matches(QKeySequence::Paste)) {
        // The keyboard pastes like the menu: tabs become spaces.
        paste2();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

// Home, End and Insert.
bool SourceEdit::handleMovementKey(QKeyEvent *e)
{
    const QTextCursor::MoveMode mode =
        e->modifiers() & Qt::ShiftModifier ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    if (e->key() == Qt::Key_Home && atMostShift(e)) {
        smartHome(mode);
        return true;
    }
    if (e->key() == Qt::Key_End && atMostShift(e)) {
        smartEnd(mode);
        return true;
    }
    if (e->key() == Qt::Key_Insert && !(e->modifiers() & ~Qt::KeypadModifier)) {
        setOverwrite(!overwriteMode());
        return true;
    }
    return false;
}

// First to the line's first word, then to its start, and back.
void SourceEdit::smartHome(QTextCursor::MoveMode mode)
{
    QTextCursor cursor = textCursor();
    const int before = cursor.position();
    const QTextBlock line = cursor.block();
    int target = line.position();
    QTextCursor probe(line);
    probe.movePosition(QTextCursor::EndOfWord);
    if (probe.position() == line.position()) {
        probe.movePosition(QTextCursor::WordRight);
        // An empty line has no first word: WordRight would leave it.
        if (probe.block() == line && probe.position() != before)
            target = probe.position();
    }
    cursor.setPosition(target, mode);
    setTextCursor(cursor);
}

// First to the end of the line's last word, then to its end, and back.
void SourceEdit::smartEnd(QTextCursor::MoveMode mode)
{
    QTextCursor cursor = textCursor();
    const int before = cursor.position();
    const QTextBlock line = cursor.block();
    const int lineEnd = line.position() + line.length() - 1;
    int target = lineEnd;
    QTextCursor probe(document());
    probe.setPosition(lineEnd);
    probe.movePosition(QTextCursor::StartOfWord);
    if (probe.position() == lineEnd && firstNonSpace(line.text()) >= 0) {
        probe.movePosition(QTextCursor::WordLeft);
        probe.movePosition(QTextCursor::EndOfWord);
        if (probe.block() == line && probe.position() != before)
            target = probe.position();
    }
    cursor.setPosition(target, mode);
    setTextCursor(cursor);
}

// Quotes, parentheses and square brackets: wrap a selection or add the
// closer automatically.
bool SourceEdit::handleQuoteOrBracketKey(QKeyEvent *e)
{
    const QChar ch = typedChar(e);
    const bool selection = textCursor().hasSelection();
    if (ch == QLatin1Char('/') && selection) {
        wrapSelection(QStringLiteral("/*"), QStringLiteral("*/"));
    } else if (ch == QLatin1Char('"') || ch == QLatin1Char('\'')) {
        bool &pending = ch == QLatin1Char('"') ? pendingQuote : pendingApostrophe;
        if (selection)
            wrapSelection(ch, ch);
        else if (!closerPending(pending))
            insertPair(ch, ch, pending);
        else
            return false;
    } else if (ch == QLatin1Char('(')) {
        if (selection)
            wrapSelection(QStringLiteral("("), QStringLiteral(")"));
        else
            insertPair(ch, QLatin1Char(')'), pendingParen);
    } else if (ch == QLatin1Char('[')) {
        insertPair(ch, QLatin1Char(']'), pendingBracket);
    } else {
        return false;
    }
    return true;
}

void SourceEdit::wrapSelection(const QString &opener, const QString &closer)
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    cursor.beginEditBlock();
    cursor.setPosition(end);
    cursor.insertText(closer);
    cursor.setPosition(start);
    cursor.insertText(opener);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

// The opener is typed as usual; the closer comes in an undo step of its
// own, and inserting it behind a line break that is removed again keeps
// the document from merging it into the opener's step. One undo therefore
// takes back only the closer.
void SourceEdit::insertPair(QChar opener, QChar closer, bool &pending)
{
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    const int p = cursor.position();
    cursor.insertText(QString(opener));
    const QString filler = closer == QLatin1Char(')') ? QStringLiteral("\n  ") : QStringLiteral("\n");
    cursor.beginEditBlock();
    cursor.setPosition(p + 1);
    cursor.insertText(filler + closer);
    cursor.setPosition(p + 1);
    cursor.setPosition(p + 1 + filler.size(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
    cursor.setPosition(p + 1);
    setTextCursor(cursor);
    notePendingCloser(pending);
}

// "{": a block around the cursor, or around the selected lines.
bool SourceEdit::handleBraceKey(QKeyEvent *e)
{
    if (typedChar(e) != QLatin1Char('{'))
        return false;
    if (textCursor().hasSelection())
        wrapInBraceBlock();
    else
        insertBraceBlock();
    return true;
}

void SourceEdit::insertBraceBlock()
{
    QTextCursor cursor = textCursor();
    cursor.insertText(QStringLiteral("{"));
    const QString ind = spaces(indentationWidth(cursor.block()));
    cursor.beginEditBlock();
    cursor.insertText(QLatin1Char('\n') + ind + indentUnit + QLatin1Char('\n') + ind + QLatin1Char('}'));
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::PreviousBlock);
    cursor.movePosition(QTextCursor::EndOfBlock);
    setTextCursor(cursor);
    notePendingCloser(pendingBrace);
}

// Wraps the selected lines in a block: the closing brace after the
// selection, the opening one before it, and the wrapped lines indented one
// unit deeper than the block. Blank lines have no indentation to measure:
// they stay as they are, and the first line that is not blank sets the
// indentation that the others give up.
void SourceEdit::wrapInBraceBlock()
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    const int lines = touchedLines(cursor).count;
    const QString ind = spaces(indentationWidth(referenceLine(cursor.block())));

    cursor.beginEditBlock();
    cursor.setPosition(end);
    cursor.insertText(QLatin1Char('\n') + ind + QLatin1Char('}') + QLatin1Char('\n') + ind);

    const QTextBlock startLine = document()->findBlock(start);
    QTextCursor probe(document());
    probe.setPosition(start);
    probe.movePosition(QTextCursor::WordLeft);
    bool braceOwnLine = false;
    if (probe.position() == probe.block().position()) {
        const int lineStart = probe.position();
        probe.movePosition(QTextCursor::EndOfWord);
        braceOwnLine = probe.position() == lineStart;
    }
    if (braceOwnLine) {
        cursor.setPosition(startLine.position());
        cursor.insertText(ind + QStringLiteral("{\n"));
    } else {
        cursor.setPosition(start);
        cursor.insertText(QStringLiteral("{\n"));
    }

    QTextBlock line = cursor.block();
    QTextBlock last = line;
    int given = -1; // leading whitespace of the first line that is not blank
    for (int i = 0; i < lines && line.isValid(); ++i, line = line.next()) {
        last = line;
        const int lead = firstNonSpace(line.text());
        if (lead < 0)
            continue;
        if (given < 0)
            given = lead;
        cursor.setPosition(line.position());
        cursor.setPosition(line.position() + qMin(given, lead), QTextCursor::KeepAnchor);
        cursor.insertText(ind + indentUnit);
    }
    cursor.setPosition(last.position() + last.length() - 1);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

// Tab on a selection and Return.
bool SourceEdit::handleLineKey(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Tab && !(e->modifiers() & ~Qt::KeypadModifier) && textCursor().hasSelection()) {
        indent();
        return true;
    }
    if (e->key() == Qt::Key_Return && atMostShift(e)) {
        insertIndentedNewLine();
        return true;
    }
    return false;
}

// The new line takes the indentation of the nearest line above that is not
// empty, one unit deeper when that line opens a block.
void SourceEdit::insertIndentedNewLine()
{
    QTextCursor cursor = textCursor();
    const QTextBlock reference = referenceLine(cursor.block());
    QString indentation = spaces(indentationWidth(reference));
    if (opensBlock(reference.text()))
        indentation += indentUnit;
    const QTextBlock line = cursor.block();
    cursor.beginEditBlock();
    if (!cursor.hasSelection() && cursor.atBlockStart() && line.previous().isValid()) {
        // Same text, but the line above is the one broken: this line stays
        // the same block and keeps its bookmark (a split keeps the data
        // with the upper half).
        QTextCursor edit(line.previous());
        edit.movePosition(QTextCursor::EndOfBlock);
        edit.insertText(QStringLiteral("\n"));
        edit.setPosition(line.position());
        edit.insertText(indentation);
    } else {
        cursor.insertText(QLatin1Char('\n') + indentation);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
}

// A closer typed right after the editor added it steps over the added one.
bool SourceEdit::handleCloserKey(QKeyEvent *e)
{
    const QChar ch = typedChar(e);
    if ((ch == QLatin1Char('}') && closerPending(pendingBrace))
        || (ch == QLatin1Char(')') && closerPending(pendingParen))) {
        clearPendingClosers();
        undo();
        QTextCursor cursor = textCursor();
        cursor.insertText(QString(ch));
        setTextCursor(cursor);
        return true;
    }
    if ((ch == QLatin1Char('"') && closerPending(pendingQuote))
        || (ch == QLatin1Char('\'') && closerPending(pendingApostrophe))
        || (ch == QLatin1Char(']') && closerPending(pendingBracket))) {
        clearPendingClosers();
        moveCursor(QTextCursor::NextCharacter);
        return true;
    }
    return false;
}

void SourceEdit::clearPendingClosers()
{
    pendingBrace = pendingParen = pendingQuote = pendingApostrophe = pendingBracket = false;
}

// Only the closer added last can be pending, and only while it is still
// the last edit and the cursor still sits before it: undoing "the last
// step" after any other change or move would take back the wrong thing.
void SourceEdit::notePendingCloser(bool &flag)
{
    clearPendingClosers();
    flag = true;
    pendingPosition = textCursor().position();
    pendingUndoSteps = document()->availableUndoSteps();
    pendingRevision = document()->revision();
}

bool SourceEdit::closerPending(bool flag) const
{
    const QTextCursor cursor = textCursor();
    return flag && !cursor.hasSelection() && cursor.position() == pendingPosition
        && document()->availableUndoSteps() == pendingUndoSteps && document()->revision() == pendingRevision;
}

} // namespace ov
