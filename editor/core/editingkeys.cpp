#include "editor/core/editingkeys.h"

#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>

namespace ov {

EditingKeys::EditingKeys(std::function<void(const QTextCursor &)> placeCursor)
    : placeCursor(std::move(placeCursor))
{
}

void EditingKeys::place(const QTextCursor &cursor)
{
    if (placeCursor)
        placeCursor(cursor);
}

const QString EditingKeys::IndentUnit = QStringLiteral("    ");

namespace {

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

void wrapSelection(QTextCursor &cursor, const QString &opener, const QString &closer)
{
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    cursor.beginEditBlock();
    cursor.setPosition(end);
    cursor.insertText(closer);
    cursor.setPosition(start);
    cursor.insertText(opener);
    cursor.endEditBlock();
}

// Wraps the selected lines in a block: the closing brace after the
// selection, the opening one before it, and the wrapped lines indented one
// unit deeper than the block. Blank lines have no indentation to measure:
// they stay as they are, and the first line that is not blank sets the
// indentation that the others give up.
void wrapInBraceBlock(QTextCursor &cursor)
{
    QTextDocument *document = cursor.document();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    const int lines = touchedLines(cursor).count;
    const QString ind = spaces(EditingKeys::indentationWidth(referenceLine(cursor.block())));

    cursor.beginEditBlock();
    cursor.setPosition(end);
    cursor.insertText(QLatin1Char('\n') + ind + QLatin1Char('}') + QLatin1Char('\n') + ind);

    const QTextBlock startLine = document->findBlock(start);
    QTextCursor probe(document);
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
        cursor.insertText(ind + EditingKeys::IndentUnit);
    }
    cursor.setPosition(last.position() + last.length() - 1);
    cursor.endEditBlock();
}

// The new line takes the indentation of the nearest line above that is not
// empty, one unit deeper when that line opens a block.
void insertIndentedNewLine(QTextCursor &cursor)
{
    const QTextBlock reference = referenceLine(cursor.block());
    QString indentation = spaces(EditingKeys::indentationWidth(reference));
    if (opensBlock(reference.text()))
        indentation += EditingKeys::IndentUnit;
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
}

} // namespace

// ------------------------------------------------------ lines and targets

int EditingKeys::homeTarget(const QTextBlock &line, int position)
{
    const int start = line.position();
    const int length = line.length() - 1;
    const QTextDocument *doc = line.document();
    if (length <= 0 || !doc->characterAt(start).isSpace())
        return start;
    const int limit = start + qMin(length, ScanLimit);
    int first = start;
    while (first < limit && doc->characterAt(first).isSpace())
        ++first;
    return first != position ? first : start;
}

int EditingKeys::endTarget(const QTextBlock &line, int position)
{
    const int start = line.position();
    const int length = line.length() - 1;
    const int end = start + qMax(0, length);
    const QTextDocument *doc = line.document();
    const int limit = end - qMin(qMax(0, length), ScanLimit);
    int last = end;
    while (last > limit && doc->characterAt(last - 1).isSpace())
        --last;
    // A blank line has no last word.
    if (last == start || last == position)
        return end;
    return last;
}

int EditingKeys::indentationWidth(const QTextBlock &line)
{
    const int length = line.length() - 1;
    const QTextDocument *doc = line.document();
    if (length <= 0 || !doc->characterAt(line.position()).isSpace())
        return 0;
    const int limit = qMin(length, ScanLimit);
    int n = 0;
    while (n < limit && doc->characterAt(line.position() + n).isSpace())
        ++n;
    return n;
}

// ---------------------------------------------------------- line commands

void EditingKeys::indent(QTextCursor &cursor)
{
    const TouchedLines lines = touchedLines(cursor);
    cursor.beginEditBlock();
    if (lines.count == 0) {
        cursor.insertText(IndentUnit);
    } else {
        int anchor = cursor.anchor();
        int position = cursor.position();
        QTextBlock line = lines.first;
        for (int i = 0; i < lines.count; ++i, line = line.next()) {
            cursor.setPosition(line.position());
            cursor.insertText(IndentUnit);
        }
        const int grown = IndentUnit.size() * lines.count;
        if (anchor < position) {
            anchor += IndentUnit.size();
            position += grown;
        } else {
            anchor += grown;
            position += IndentUnit.size();
        }
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
    }
    cursor.endEditBlock();
}

void EditingKeys::unindent(QTextCursor &cursor)
{
    // The removals go through a second cursor: the document shifts the
    // selection's ends with them and never past the start of their line.
    TouchedLines lines = touchedLines(cursor);
    if (lines.count == 0)
        lines = {cursor.block(), 1};
    QTextCursor edit(cursor.document());
    edit.beginEditBlock();
    QTextBlock line = lines.first;
    for (int i = 0; i < lines.count; ++i, line = line.next()) {
        const QString text = line.text();
        int n = 0;
        while (n < IndentUnit.size() && n < text.size() && text.at(n).isSpace())
            ++n;
        if (n == 0)
            continue;
        edit.setPosition(line.position());
        edit.setPosition(line.position() + n, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
    }
    edit.endEditBlock();
}

void EditingKeys::comment(QTextCursor &cursor)
{
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
}

void EditingKeys::uncomment(QTextCursor &cursor)
{
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
}

// The way a tab that loading expands would have put the text: a tab
// already in the line reaches to the next tab stop.
void EditingKeys::insertTabSpaces(QTextCursor &cursor)
{
    const int unit = IndentUnit.size();
    int column = cursor.positionInBlock();
    if (column <= ScanLimit) {
        const QTextDocument *doc = cursor.document();
        const int start = cursor.block().position();
        const int count = column;
        column = 0;
        for (int i = 0; i < count; ++i)
            column = doc->characterAt(start + i) == QLatin1Char('\t') ? (column / unit + 1) * unit : column + 1;
    }
    cursor.beginEditBlock();
    cursor.insertText(spaces(unit - column % unit));
    cursor.endEditBlock();
}

// ----------------------------------------------------------- editing keys

bool EditingKeys::handleKey(const QKeyEvent *e, QTextCursor &cursor)
{
    const QChar ch = typedChar(e);
    if (ch == QLatin1Char('{') && !cursor.hasSelection()) {
        insertBraceBlock(cursor); // places the cursor itself
        return true;
    }
    if (ch == QLatin1Char('{'))
        wrapInBraceBlock(cursor);
    else if (!handleQuoteOrBracketKey(ch, cursor) && !handleLineKey(e, cursor) && !handleCloserKey(ch, cursor))
        return false;
    place(cursor);
    return true;
}

// Quotes, parentheses and square brackets: wrap a selection or add the
// closer automatically.
bool EditingKeys::handleQuoteOrBracketKey(QChar ch, QTextCursor &cursor)
{
    const bool selection = cursor.hasSelection();
    if (ch == QLatin1Char('/') && selection) {
        wrapSelection(cursor, QStringLiteral("/*"), QStringLiteral("*/"));
    } else if (ch == QLatin1Char('"') || ch == QLatin1Char('\'')) {
        if (selection)
            wrapSelection(cursor, ch, ch);
        else if (pendingPairAt(cursor, ch) < 0)
            insertPair(cursor, ch, ch);
        else
            return false; // typed over (handleCloserKey)
    } else if (ch == QLatin1Char('(')) {
        if (selection)
            wrapSelection(cursor, QStringLiteral("("), QStringLiteral(")"));
        else
            insertPair(cursor, ch, QLatin1Char(')'));
    } else if (ch == QLatin1Char('[')) {
        insertPair(cursor, ch, QLatin1Char(']'));
    } else {
        return false;
    }
    return true;
}

// The opener is typed as usual; the closer comes in an undo step of its
// own, and inserting it behind a line break that is removed again keeps
// the document from merging it into the opener's step. One undo therefore
// takes back only the closer.
void EditingKeys::insertPair(QTextCursor &cursor, QChar opener, QChar closer)
{
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
    clearPendingClosers();
    QTextCursor openerAt(cursor.document());
    openerAt.setPosition(p);
    QTextCursor closerAt(cursor.document());
    closerAt.setPosition(p + 1);
    pendingPairs.append({openerAt, closerAt, closer});
}

void EditingKeys::insertBraceBlock(QTextCursor &cursor)
{
    cursor.insertText(QStringLiteral("{"));
    const QString ind = spaces(indentationWidth(cursor.block()));
    cursor.beginEditBlock();
    cursor.insertText(QLatin1Char('\n') + ind + IndentUnit + QLatin1Char('\n') + ind + QLatin1Char('}'));
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::PreviousBlock);
    cursor.movePosition(QTextCursor::EndOfBlock);
    // Placing the cursor may touch the document (the highlighter follows
    // it): the block is remembered as it stands after that.
    place(cursor);
    notePendingBrace(cursor);
}

// Tab, Shift+Tab and Return.
bool EditingKeys::handleLineKey(const QKeyEvent *e, QTextCursor &cursor)
{
    if (e->key() == Qt::Key_Tab && !(e->modifiers() & ~Qt::KeypadModifier)) {
        if (cursor.hasSelection()) {
            indent(cursor);
        } else {
            clearPendingClosers();
            insertTabSpaces(cursor);
        }
        return true;
    }
    // Taken here, so that the key never travels on to move the focus.
    if (e->key() == Qt::Key_Backtab || (e->key() == Qt::Key_Tab && e->modifiers() & Qt::ShiftModifier)) {
        unindent(cursor);
        return true;
    }
    if (e->key() == Qt::Key_Return && atMostShift(e)) {
        if (!splitPendingPair(cursor))
            insertIndentedNewLine(cursor);
        // A new line leaves the pairs it was typed in.
        pendingPairs.clear();
        return true;
    }
    return false;
}

// Return between an automatic "(" ")" or "[" "]" with nothing in between
// opens the pair like a brace block: the closer on a line of its own at the
// opening line's indentation, the cursor on an indented line between.
bool EditingKeys::splitPendingPair(QTextCursor &cursor)
{
    if (cursor.hasSelection())
        return false;
    const int at = cursor.position();
    bool between = false;
    for (const PendingPair &pair : std::as_const(pendingPairs)) {
        if ((pair.closerChar == QLatin1Char(')') || pair.closerChar == QLatin1Char(']'))
            && pair.closer.position() == at && pair.opener.position() + 1 == at)
            between = true;
    }
    if (!between)
        return false;
    const QString ind = spaces(indentationWidth(cursor.block()));
    cursor.beginEditBlock();
    cursor.insertText(QLatin1Char('\n') + ind + IndentUnit + QLatin1Char('\n') + ind);
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::PreviousBlock);
    cursor.movePosition(QTextCursor::EndOfBlock);
    return true;
}

// A closer typed right before the one added automatically steps over it,
// and a "}" typed right after a brace block takes the block back for a
// plain "}".
bool EditingKeys::handleCloserKey(QChar ch, QTextCursor &cursor)
{
    if (ch == QLatin1Char('}') && bracePending(cursor)) {
        clearPendingClosers();
        cursor.document()->undo(&cursor);
        cursor.insertText(QString(ch));
        return true;
    }
    if (ch != QLatin1Char(')') && ch != QLatin1Char(']') && ch != QLatin1Char('"') && ch != QLatin1Char('\''))
        return false;
    const int pair = pendingPairAt(cursor, ch);
    if (pair < 0)
        return false;
    clearPendingClosers();
    pendingPairs.removeAt(pair);
    cursor.movePosition(QTextCursor::NextCharacter);
    return true;
}

// Undoing "the last step" after any other change or move would take back
// the wrong thing.
void EditingKeys::notePendingBrace(const QTextCursor &cursor)
{
    pendingBrace = true;
    pendingPosition = cursor.position();
    pendingUndoSteps = cursor.document()->availableUndoSteps();
    pendingRevision = cursor.document()->revision();
}

bool EditingKeys::bracePending(const QTextCursor &cursor) const
{
    const QTextDocument *doc = cursor.document();
    return pendingBrace && !cursor.hasSelection() && cursor.position() == pendingPosition
        && doc->availableUndoSteps() == pendingUndoSteps && doc->revision() == pendingRevision;
}

void EditingKeys::prunePendingPairs(int at)
{
    pendingPairs.removeIf([at](const PendingPair &pair) {
        const QTextDocument *doc = pair.opener.document();
        const int open = pair.opener.position();
        const int close = pair.closer.position();
        // An undo, a delete or a replace may have taken either character.
        const QChar opener = pair.closerChar == QLatin1Char(')')   ? QLatin1Char('(')
                             : pair.closerChar == QLatin1Char(']') ? QLatin1Char('[')
                                                                   : pair.closerChar;
        const bool intact = doc && open < close && doc->characterAt(open) == opener
                            && doc->characterAt(close) == pair.closerChar;
        return !intact || at <= open || at > close;
    });
}

int EditingKeys::pendingPairAt(const QTextCursor &cursor, QChar closer)
{
    prunePendingPairs(cursor.position());
    if (cursor.hasSelection())
        return -1;
    for (int i = int(pendingPairs.size()) - 1; i >= 0; --i) {
        if (pendingPairs.at(i).closerChar == closer && pendingPairs.at(i).closer.position() == cursor.position())
            return i;
    }
    return -1;
}

} // namespace ov
