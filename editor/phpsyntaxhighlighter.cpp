#include "editor/phpsyntaxhighlighter.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace ov {

namespace {

// Lines re-done at once after an edit before the rest is left to later.
const int EditBudgetBlocks = 1000;
// One background slice: at least this many lines, then until the time is up.
const int SliceMinBlocks = 256;
const qint64 SliceNs = 8 * 1000 * 1000;

} // namespace

PHPSyntaxHighlighter::PHPSyntaxHighlighter(QObject *parent) : QObject(parent)
{
    // Variables and tags stand out by colour and weight only: any other
    // family would draw them off the editor's fixed-pitch columns.
    keywordFormat.setForeground(Qt::blue);
    keywordFormat.setFontWeight(QFont::Bold);

    variableFormat.setForeground(QColor(Qt::darkGray).darker(200));
    variableFormat.setFontWeight(QFont::Bold);

    lineCommentFormat.setForeground(Qt::darkGreen);
    blockCommentFormat.setForeground(Qt::darkGreen);
    stringFormat.setForeground(Qt::darkRed);

    tagFormat.setForeground(Qt::red);
    tagFormat.setFontWeight(QFont::Bold);

    backgroundTimer = new QTimer(this);
    backgroundTimer->setSingleShot(true);
    backgroundTimer->setInterval(0);
    connect(backgroundTimer, &QTimer::timeout, this, &PHPSyntaxHighlighter::backgroundSlice);
    longLineTimer = new QTimer(this);
    longLineTimer->setSingleShot(true);
    longLineTimer->setInterval(LongLineSettleMs);
    connect(longLineTimer, &QTimer::timeout, this, &PHPSyntaxHighlighter::longLineSettled);
}

PHPSyntaxHighlighter::~PHPSyntaxHighlighter() = default;

QTextCharFormat PHPSyntaxHighlighter::formatFor(PhpFormat kind) const
{
    switch (kind) {
    case PhpFormat::Tag: return tagFormat;
    case PhpFormat::Keyword: return keywordFormat;
    case PhpFormat::Variable: return variableFormat;
    case PhpFormat::LineComment: return lineCommentFormat;
    case PhpFormat::BlockComment: return blockCommentFormat;
    case PhpFormat::String: return stringFormat;
    case PhpFormat::Plain: break;
    }
    return QTextCharFormat();
}

void PHPSyntaxHighlighter::setDocument(QTextDocument *document)
{
    if (doc)
        disconnect(doc, &QTextDocument::contentsChange, this, &PHPSyntaxHighlighter::contentsChange);
    backgroundTimer->stop();
    longLineTimer->stop();
    pendingLongLine = QTextCursor();
    doc = document;
    validTo = 0;
    chainFrom = 0;
    if (!doc)
        return;
    knownBlockCount = doc->blockCount();
    chainFrom = knownBlockCount;
    connect(doc, &QTextDocument::contentsChange, this, &PHPSyntaxHighlighter::contentsChange);
    scheduleBackground();
}

QTextDocument *PHPSyntaxHighlighter::document() const
{
    return doc;
}

bool PHPSyntaxHighlighter::isComplete() const
{
    return !doc || (validTo >= doc->blockCount() && !longLineTimer->isActive());
}

void PHPSyntaxHighlighter::rehighlight()
{
    if (!doc)
        return;
    backgroundTimer->stop();
    knownBlockCount = doc->blockCount();
    validTo = 0;
    chainFrom = knownBlockCount;
    advance(knownBlockCount - 1, -1, true);
}

void PHPSyntaxHighlighter::highlightBlocks(const QTextBlock &first, const QTextBlock &last)
{
    if (!doc || !first.isValid() || first.document() != doc)
        return;
    const int end = last.isValid() ? last.blockNumber() : first.blockNumber();
    for (QTextBlock b = first; b.isValid() && b.blockNumber() <= end; b = b.next()) {
        advance(b.blockNumber(), -1, false);
        // The line above has its right state now; colouring the line again
        // is cheap, and a long line has no colours.
        if (b.length() - 1 > LongLineLimit)
            applyFormats(b, {});
        else
            runLine(b, stateBefore(b), true);
    }
}

int PHPSyntaxHighlighter::stateBefore(const QTextBlock &block)
{
    const QTextBlock previous = block.previous();
    return previous.isValid() ? previous.userState() : -1;
}

void PHPSyntaxHighlighter::scheduleBackground()
{
    if (doc && validTo < doc->blockCount() && !backgroundTimer->isActive())
        backgroundTimer->start();
}

void PHPSyntaxHighlighter::backgroundSlice()
{
    if (!doc)
        return;
    const int count = doc->blockCount();
    if (!advance(count - 1, SliceNs, count <= BackgroundFormatBlocks))
        scheduleBackground();
}

bool PHPSyntaxHighlighter::advance(int last, qint64 budgetNs, bool format)
{
    if (!doc || validTo > last)
        return true;
    const int count = doc->blockCount();
    QElapsedTimer clock;
    clock.start();
    QTextBlock block = doc->findBlockByNumber(validTo);
    int previous = stateBefore(block);
    int done = 0;
    while (block.isValid() && validTo <= last) {
        const int old = block.userState();
        const int state = runLine(block, previous, format);
        block.setUserState(state);
        ++validTo;
        if (validTo >= chainFrom && state == old) {
            validTo = count;
            break;
        }
        previous = state;
        block = block.next();
        if (budgetNs >= 0 && ++done >= SliceMinBlocks && (done & 63) == 0 && clock.nsecsElapsed() > budgetNs)
            break;
    }
    chainFrom = std::max(chainFrom, validTo);
    return validTo > last;
}

int PHPSyntaxHighlighter::runLine(const QTextBlock &block, int previousState, bool format)
{
    ++lineRuns;
    const QString text = block.text();
    const int state = PhpHighlightEngine::highlightLine(text, previousState, &lineFormats);
    if (format)
        applyFormats(block, text.size() > LongLineLimit ? QVector<PhpSpan>() : PhpHighlightEngine::spans(lineFormats));
    return state;
}

void PHPSyntaxHighlighter::applyFormats(const QTextBlock &block, const QVector<PhpSpan> &spans)
{
    QTextLayout *layout = block.layout();
    // Text an input method is composing sits inside the line: colours after
    // it move along, a span running into it stretches over it.
    const int preeditStart = layout->preeditAreaPosition();
    const int preeditLength = int(layout->preeditAreaText().size());
    QList<QTextLayout::FormatRange> ranges;
    ranges.reserve(spans.size());
    for (const PhpSpan &span : spans) {
        QTextLayout::FormatRange r;
        r.start = span.start;
        r.length = span.length;
        r.format = formatFor(span.format);
        if (preeditLength != 0) {
            if (r.start >= preeditStart)
                r.start += preeditLength;
            else if (r.start + r.length >= preeditStart)
                r.length += preeditLength;
        }
        ranges.append(r);
    }
    // Unchanged colours need no new layout: a paint that re-checks the
    // visible lines costs nothing then.
    if (layout->formats() == ranges)
        return;
    layout->setFormats(ranges);
    doc->markContentsDirty(block.position(), block.length());
}

void PHPSyntaxHighlighter::longLineSettled()
{
    const QTextCursor at = std::exchange(pendingLongLine, QTextCursor());
    if (!doc || at.isNull() || at.document() != doc)
        return;
    settlingLongLine = true;
    contentsChange(at.block().position(), 0, 0);
    settlingLongLine = false;
}

void PHPSyntaxHighlighter::contentsChange(int position, int, int charsAdded)
{
    const int count = doc->blockCount();
    const int added = count - knownBlockCount;
    knownBlockCount = count;
    const QTextBlock first = doc->findBlock(position);
    QTextBlock last = doc->findBlock(position + charsAdded);
    if (!last.isValid())
        last = doc->lastBlock();
    // An edit inside one long line: the line shows no colours, and its end
    // state, on which the lines below depend, takes a pass over the whole
    // line. That pass waits until the typing pauses.
    if (added == 0 && !settlingLongLine && first.isValid() && first == last && first.length() - 1 > LongLineLimit) {
        pendingLongLine = QTextCursor(first);
        longLineTimer->start();
        return;
    }
    if (!first.isValid()) {
        validTo = 0;
        chainFrom = count;
        scheduleBackground();
        return;
    }
    const int b = first.blockNumber();
    const int e = std::max(b, last.blockNumber());
    // Old blocks from b to e - added were replaced by the new ones b..e.
    // The blocks after them keep their states, each worked out from the one
    // before; the first of them must be checked against the new line above.
    const int keptValidTo = validTo > e - added ? validTo + added : e + 1;
    chainFrom = std::min(count, std::max(chainFrom + added, e + 2));
    if (validTo < b) {
        // Lines above the edit are not done yet: the edit waits its turn.
        chainFrom = std::max(chainFrom, validTo);
        scheduleBackground();
        return;
    }
    validTo = b;
    if (e - b >= EditBudgetBlocks) {
        scheduleBackground();
        return;
    }

    QTextBlock block = first;
    int previous = stateBefore(block);
    for (int k = b, budget = EditBudgetBlocks; block.isValid() && budget > 0; ++k, --budget) {
        const int old = block.userState();
        const int state = runLine(block, previous, true);
        block.setUserState(state);
        validTo = k + 1;
        if (k > e && state == old) {
            if (validTo >= chainFrom) {
                validTo = count;
                break;
            }
            if (validTo < keptValidTo) {
                validTo = keptValidTo;
                if (validTo >= chainFrom)
                    validTo = count;
                break;
            }
        }
        previous = state;
        block = block.next();
    }
    chainFrom = std::max(chainFrom, validTo);
    scheduleBackground();
}

} // namespace ov
