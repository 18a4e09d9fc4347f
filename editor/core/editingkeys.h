#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QTextCursor>
#include <functional>

class QKeyEvent;
class QTextBlock;

namespace ov {

// The editing keys and line commands of the source editor, worked on a
// document through a text cursor: automatic closers for quotes and
// brackets, brace blocks, Tab, Shift+Tab and Return with indentation, and
// the targets of smart Home and End. The editor hands a key over with its
// text cursor and puts the cursor back where the key left it.
//
// Every scan of a line stops after ScanLimit characters, so that a key
// costs no pass over a line of megabytes.
class EditingKeys
{
public:
    static constexpr int ScanLimit = 20000;
    static const QString IndentUnit;

    // `placeCursor` puts the editor's cursor where a key leaves it.
    explicit EditingKeys(std::function<void(const QTextCursor &)> placeCursor = {});

    // Quotes, brackets, "{", a closer typed over its automatic twin, Tab,
    // Shift+Tab and Return. True when the key was taken; `cursor` is then
    // where it leaves the cursor, and has been placed.
    bool handleKey(const QKeyEvent *e, QTextCursor &cursor);
    // A key passed on to the editor: a brace block can no longer be taken back.
    void clearPendingClosers() { pendingBrace = false; }
    // Forgets the automatic pairs the cursor left or whose characters are gone.
    void prunePendingPairs(int cursorPosition);

    // Line commands, one undo step each. A selection ending exactly at a
    // line start leaves that line out.
    static void indent(QTextCursor &cursor);
    static void unindent(QTextCursor &cursor);
    static void comment(QTextCursor &cursor);
    static void uncomment(QTextCursor &cursor);
    // Spaces up to the next multiple of the indent unit.
    static void insertTabSpaces(QTextCursor &cursor);

    // Smart Home: the line's first word from anywhere else, its start from
    // there. Smart End: the end of the line's last word, else its end.
    static int homeTarget(const QTextBlock &line, int position);
    static int endTarget(const QTextBlock &line, int position);
    // The leading whitespace of a line that opens with some; 0 otherwise.
    static int indentationWidth(const QTextBlock &line);

private:
    void place(const QTextCursor &cursor);
    bool handleQuoteOrBracketKey(QChar ch, QTextCursor &cursor);
    bool handleLineKey(const QKeyEvent *e, QTextCursor &cursor);
    bool handleCloserKey(QChar ch, QTextCursor &cursor);
    void insertPair(QTextCursor &cursor, QChar opener, QChar closer);
    void insertBraceBlock(QTextCursor &cursor);
    bool splitPendingPair(QTextCursor &cursor);
    void notePendingBrace(const QTextCursor &cursor);
    bool bracePending(const QTextCursor &cursor) const;
    // The innermost pending pair of `closer` whose closer the cursor stands
    // right before, or -1.
    int pendingPairAt(const QTextCursor &cursor, QChar closer);

    // Set right after a brace block was inserted, so that typing "}" at
    // once takes the block back for a plain "}"; only while the block is
    // still the last edit and the cursor has not moved.
    bool pendingBrace = false;
    int pendingPosition = -1;
    int pendingUndoSteps = -1;
    int pendingRevision = -1;

    // Quotes, parentheses and brackets closed automatically, innermost
    // last. Cursors keep their places through the edits typed inside.
    struct PendingPair {
        QTextCursor opener; // before the opening character
        QTextCursor closer; // before the closing character
        QChar closerChar;
    };
    QList<PendingPair> pendingPairs;
    std::function<void(const QTextCursor &)> placeCursor;
};

} // namespace ov
