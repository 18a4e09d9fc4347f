#pragma once

#include <QObject>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextCharFormat>
#include <QVector>

#include "editor/core/phphighlightengine.h"

class QTextDocument;
class QTimer;

namespace ov {

// Colours the PHP regions of a document: tags, keywords, variables, strings
// and comments. The matching lives in PhpHighlightEngine; this class keeps
// each line's end state in the block's user state and puts the colours on
// the blocks' layouts.
//
// It works lazily, so that a document of any size attaches at once and a
// keystroke costs the same in a small file as in a huge one:
// - lines are coloured when they are about to be shown (highlightBlocks,
//   called by the editor before it paints) and when they are edited;
// - the states of the lines above are worked out first, and in the
//   background, in short slices on a timer, for the rest of the document;
// - after an edit, the following lines are re-done while their states
//   change, as far as a small budget goes; the rest follows lazily.
// Documents of up to BackgroundFormatBlocks lines are also coloured whole in
// the background, so they read as fully highlighted a moment after attaching.
class PHPSyntaxHighlighter : public QObject
{
    Q_OBJECT

public:
    explicit PHPSyntaxHighlighter(QObject *parent = nullptr);
    ~PHPSyntaxHighlighter() override;

    // Moves the highlighter to `document` (null detaches). The document's
    // states are worked out again from its first line, since it may have
    // been edited while detached.
    void setDocument(QTextDocument *document);
    QTextDocument *document() const;

    // The format given to characters of this kind.
    QTextCharFormat formatFor(PhpFormat kind) const;

    // Brings the colours of the blocks from `first` to `last` up to date now.
    void highlightBlocks(const QTextBlock &first, const QTextBlock &last);

    // Lines longer than this are shown plain: laying out a line's colours
    // costs the display far more than finding them. Their end states still
    // count, so the lines below are coloured right.
    static constexpr int LongLineLimit = 20000;
    // How long the typing in a long line must pause before its end state is
    // worked out again.
    static constexpr int LongLineSettleMs = 250;
    static constexpr int BackgroundFormatBlocks = 20000;

    // Whether every line's end state is known.
    bool isComplete() const;
    // Lines run through the line procedure so far.
    qint64 linesHighlighted() const { return lineRuns; }

public Q_SLOTS:
    // Colours the whole document now.
    void rehighlight();

private:
    void contentsChange(int position, int charsRemoved, int charsAdded);
    void backgroundSlice();
    void scheduleBackground();
    // Works out end states from `validTo` through block number `last`, or
    // until `budgetNs` has passed (-1: no limit). True when it got there.
    bool advance(int last, qint64 budgetNs, bool format);
    // Runs the line procedure over `block`; returns its end state. With
    // `format`, also puts the colours on it.
    int runLine(const QTextBlock &block, int previousState, bool format);
    void applyFormats(const QTextBlock &block, const QVector<PhpSpan> &spans);
    static int stateBefore(const QTextBlock &block);
    // Works out the end state of the long line edited last, once the
    // typing has paused.
    void longLineSettled();

    QTextCharFormat keywordFormat;
    QTextCharFormat variableFormat;
    QTextCharFormat lineCommentFormat;
    QTextCharFormat blockCommentFormat;
    QTextCharFormat stringFormat;
    QTextCharFormat tagFormat;

    QPointer<QTextDocument> doc;
    QTimer *backgroundTimer = nullptr;
    QTimer *longLineTimer = nullptr;
    QTextCursor pendingLongLine;
    bool settlingLongLine = false;
    // Blocks before `validTo` have right end states. From `chainFrom` on,
    // each block's state was worked out from the state its predecessor
    // holds now, so once a block's new state equals its old one at or past
    // chainFrom - 1, every block after it is right too.
    int validTo = 0;
    int chainFrom = 0;
    int knownBlockCount = 0;
    qint64 lineRuns = 0;
    QVector<PhpFormat> lineFormats;
};

} // namespace ov
