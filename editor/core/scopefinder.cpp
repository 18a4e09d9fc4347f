#include "editor/core/scopefinder.h"

#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

namespace ov {

namespace {

const ushort openers[4] = {'{', '(', '[', '<'};
const ushort closers[4] = {'}', ')', ']', '>'};

const int ChunkLines = 512;           // lines per run of lines, roughly
const int SegmentLength = 4096;       // characters per segment of a long line
const int RebuildAbove = 4096;        // lines changed at once: rebuild lazily instead

inline int normalType(int type)
{
    return type >= 1 && type <= 3 ? type : 0;
}

// The scans of the search, resumable: `depth` counts the brackets still
// unmatched on the way. Forward: the first closer met with depth 0.
inline int scanForward(const QChar *s, int from, int to, int &depth, ushort open, ushort close)
{
    for (int i = from; i < to; ++i) {
        const ushort c = s[i].unicode();
        if (c == close) {
            if (depth <= 0)
                return i;
            --depth;
        } else if (c == open) {
            ++depth;
        }
    }
    return -1;
}

// Backward from `from` down to `to` (inclusive): the first opener met with depth 0.
inline int scanBackward(const QChar *s, int from, int to, int &depth, ushort open, ushort close)
{
    for (int i = from; i >= to; --i) {
        const ushort c = s[i].unicode();
        if (c == open) {
            if (depth <= 0)
                return i;
            --depth;
        } else if (c == close) {
            ++depth;
        }
    }
    return -1;
}

ScopeFinder::Summary summarize(const QChar *s, int n)
{
    int cur[4] = {0, 0, 0, 0};
    int low[4] = {0, 0, 0, 0};
    for (int i = 0; i < n; ++i) {
        switch (s[i].unicode()) {
        case '{': ++cur[0]; break;
        case '(': ++cur[1]; break;
        case '[': ++cur[2]; break;
        case '<': ++cur[3]; break;
        case '}': low[0] = std::min(low[0], --cur[0]); break;
        case ')': low[1] = std::min(low[1], --cur[1]); break;
        case ']': low[2] = std::min(low[2], --cur[2]); break;
        case '>': low[3] = std::min(low[3], --cur[3]); break;
        default: break;
        }
    }
    ScopeFinder::Summary sum;
    for (int t = 0; t < 4; ++t)
        sum[t] = {cur[t], low[t]};
    return sum;
}

// Summary of a sequence: the running level never drops below `min`.
template <typename It, typename Get>
ScopeFinder::Summary combine(It begin, It end, Get get)
{
    ScopeFinder::Summary sum;
    for (It it = begin; it != end; ++it) {
        const ScopeFinder::Summary &part = get(*it);
        for (int t = 0; t < 4; ++t) {
            sum[t].min = std::min(sum[t].min, sum[t].net + part[t].min);
            sum[t].net += part[t].net;
        }
    }
    return sum;
}

int resultOf(int start, int end)
{
    if (start >= 0 && end >= 0)
        return ScopeFound;
    if (start < 0 && end < 0)
        return ScopeNone;
    return end >= 0 ? ScopeNoStart : ScopeNoEnd;
}

} // namespace

int ScopeSearch::find(const QString &text, int pos, int &scopeStart, int &scopeEnd, int scopeType)
{
    scopeStart = -1;
    scopeEnd = -1;
    const int t = normalType(scopeType);
    if (pos <= 0 || pos >= text.size())
        return ScopeOutside;
    int depth = 0;
    scopeEnd = scanForward(text.constData(), pos, int(text.size()), depth, openers[t], closers[t]);
    depth = 0;
    scopeStart = scanBackward(text.constData(), pos - 1, 0, depth, openers[t], closers[t]);
    return resultOf(scopeStart, scopeEnd);
}

int ScopeSearch::innermost(const int s[4], const int e[4], const int r[4], int &scopeStart, int &scopeEnd,
                           int &scopeType)
{
    int p = 0;
    for (int t = 1; t < 4; ++t)
        if ((s[p] < s[t] && s[t] >= 0) || (e[t] < e[p] && e[t] >= 0))
            p = t;
    scopeType = p;
    scopeStart = s[p];
    scopeEnd = e[p];
    return r[p];
}

namespace {

ScopeFinder::Summary lineSummary(QStringView text, std::unique_ptr<std::vector<ScopeFinder::Summary>> *segments)
{
    const int n = int(text.size());
    if (n <= 2 * SegmentLength) {
        segments->reset();
        return summarize(text.constData(), n);
    }
    auto segs = std::make_unique<std::vector<ScopeFinder::Summary>>();
    for (int from = 0; from < n; from += SegmentLength)
        segs->push_back(summarize(text.constData() + from, std::min(SegmentLength, n - from)));
    const ScopeFinder::Summary sum = combine(segs->begin(), segs->end(), [](const ScopeFinder::Summary &s) -> const ScopeFinder::Summary & { return s; });
    *segments = std::move(segs);
    return sum;
}

} // namespace

ScopeFinder::ScopeFinder(QTextDocument *document, QObject *parent) : QObject(parent), doc(document)
{
    // A document reports its changes only once it has a layout.
    doc->documentLayout();
    connect(doc, &QTextDocument::contentsChange, this, &ScopeFinder::contentsChange);
}

ScopeFinder::~ScopeFinder() = default;

void ScopeFinder::rebuild()
{
    chunks.clear();
    staleLine = -1;
    lineCount = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (chunks.empty() || int(chunks.back().lines.size()) >= ChunkLines)
            chunks.emplace_back();
        Line line;
        line.sum = lineSummary(b.text(), &line.segments);
        chunks.back().lines.push_back(std::move(line));
        ++lineCount;
    }
    built = true;
}

void ScopeFinder::contentsChange(int position, int, int charsAdded)
{
    if (!built)
        return;
    const int newCount = doc->blockCount();
    const QTextBlock first = doc->findBlock(position);
    if (!first.isValid()) {
        built = false;
        return;
    }
    // The lines from the first changed one to the one holding the end of the
    // inserted text replace as many old lines as keep the count right.
    QTextBlock last = doc->findBlock(position + charsAdded);
    if (!last.isValid())
        last = doc->lastBlock();
    if (newCount == lineCount && first == last && first.length() - 1 > 2 * SegmentLength) {
        if (staleLine != first.blockNumber())
            settleStaleLine();
        staleLine = first.blockNumber();
        return;
    }
    const int firstNumber = first.blockNumber();
    const int newLines = last.blockNumber() - firstNumber + 1;
    const int oldLines = newLines - (newCount - lineCount);
    if (oldLines < 1 || firstNumber + oldLines > lineCount || newLines > RebuildAbove) {
        built = false;
        return;
    }
    std::vector<Line> lines(newLines);
    QTextBlock b = first;
    for (Line &line : lines) {
        line.sum = lineSummary(b.text(), &line.segments);
        b = b.next();
    }
    replaceLines(firstNumber, oldLines, std::move(lines));
    if (staleLine >= firstNumber + oldLines)
        staleLine += newCount - lineCount;
    else if (staleLine >= firstNumber)
        staleLine = -1;   // summed up again just now
    lineCount = newCount;
}

void ScopeFinder::settleStaleLine()
{
    if (staleLine < 0)
        return;
    int c, off;
    locate(staleLine, &c, &off);
    Line &line = chunks[c].lines[off];
    line.sum = lineSummary(doc->findBlockByNumber(staleLine).text(), &line.segments);
    chunks[c].dirty = true;
    staleLine = -1;
}

void ScopeFinder::replaceLines(int first, int oldCount, std::vector<Line> &&lines)
{
    int ci, offset;
    locate(first, &ci, &offset);
    int c = ci, off = offset, left = oldCount;
    while (left > 0) {
        std::vector<Line> &v = chunks[c].lines;
        const int take = std::min(left, int(v.size()) - off);
        v.erase(v.begin() + off, v.begin() + off + take);
        chunks[c].dirty = true;
        left -= take;
        ++c;
        off = 0;
    }
    std::vector<Line> &v = chunks[ci].lines;
    v.insert(v.begin() + offset, std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    chunks[ci].dirty = true;

    // Keep runs short enough to walk and drop the empty ones.
    if (int(v.size()) > 2 * ChunkLines) {
        std::vector<Chunk> parts;
        for (size_t from = 0; from < v.size(); from += ChunkLines) {
            Chunk part;
            const size_t to = std::min(v.size(), from + ChunkLines);
            part.lines.assign(std::make_move_iterator(v.begin() + from), std::make_move_iterator(v.begin() + to));
            parts.push_back(std::move(part));
        }
        chunks.erase(chunks.begin() + ci);
        chunks.insert(chunks.begin() + ci, std::make_move_iterator(parts.begin()), std::make_move_iterator(parts.end()));
    }
    chunks.erase(std::remove_if(chunks.begin(), chunks.end(), [](const Chunk &ch) { return ch.lines.empty(); }),
                 chunks.end());
}

void ScopeFinder::locate(int block, int *chunk, int *offset) const
{
    int c = 0;
    while (c + 1 < int(chunks.size()) && block >= int(chunks[c].lines.size())) {
        block -= int(chunks[c].lines.size());
        ++c;
    }
    *chunk = c;
    *offset = block;
}

const ScopeFinder::Summary &ScopeFinder::chunkSummary(Chunk &chunk)
{
    if (chunk.dirty) {
        chunk.sum = combine(chunk.lines.begin(), chunk.lines.end(), [](const Line &l) -> const Summary & { return l.sum; });
        chunk.dirty = false;
    }
    return chunk.sum;
}

const ScopeFinder::Line &ScopeFinder::lineAt(int block)
{
    int c, off;
    locate(block, &c, &off);
    return chunks[c].lines[off];
}

namespace {

// Forward inside one line from `from`, skipping whole segments of a long
// line by their summaries.
int lineForward(const QString &text, const std::vector<ScopeFinder::Summary> *segments, int from, int &depth, int t)
{
    const QChar *s = text.constData();
    const int n = int(text.size());
    if (!segments)
        return scanForward(s, from, n, depth, openers[t], closers[t]);
    int seg = from / SegmentLength;
    int found = scanForward(s, from, std::min(n, (seg + 1) * SegmentLength), depth, openers[t], closers[t]);
    while (found < 0 && ++seg < int(segments->size())) {
        const ScopeFinder::Level &lv = (*segments)[seg][t];
        if (depth + lv.min < 0)
            found = scanForward(s, seg * SegmentLength, std::min(n, (seg + 1) * SegmentLength), depth, openers[t], closers[t]);
        else
            depth += lv.net;
    }
    return found;
}

// Backward inside one line from `from` (inclusive) down to its start.
int lineBackward(const QString &text, const std::vector<ScopeFinder::Summary> *segments, int from, int &depth, int t)
{
    const QChar *s = text.constData();
    if (!segments || from < 0)
        return scanBackward(s, from, 0, depth, openers[t], closers[t]);
    int seg = from / SegmentLength;
    int found = scanBackward(s, from, seg * SegmentLength, depth, openers[t], closers[t]);
    while (found < 0 && --seg >= 0) {
        const ScopeFinder::Level &lv = (*segments)[seg][t];
        if (depth - lv.net + lv.min < 0)
            found = scanBackward(s, (seg + 1) * SegmentLength - 1, seg * SegmentLength, depth, openers[t], closers[t]);
        else
            depth -= lv.net;
    }
    return found;
}

} // namespace

int ScopeFinder::searchForward(const QTextBlock &block, const QString &text, int rel, int t)
{
    const int number = block.blockNumber();
    int depth = 0;
    const int inLine = lineForward(text, lineAt(number).segments.get(), rel, depth, t);
    if (inLine >= 0)
        return block.position() + inLine;

    // Whole lines, then whole runs of lines, until one holds the closer.
    int ci, off;
    locate(number, &ci, &off);
    int target = -1;
    int base = number - off;   // block number of the chunk's first line
    for (int c = ci; c < int(chunks.size()) && target < 0; ++c) {
        Chunk &chunk = chunks[c];
        if (c != ci) {
            const Level &lv = chunkSummary(chunk)[t];
            if (depth + lv.min >= 0) {
                depth += lv.net;
                base += int(chunk.lines.size());
                continue;
            }
        }
        for (int k = c == ci ? off + 1 : 0; k < int(chunk.lines.size()); ++k) {
            const Level &lv = chunk.lines[k].sum[t];
            if (depth + lv.min < 0) {
                target = base + k;
                break;
            }
            depth += lv.net;
        }
        base += int(chunk.lines.size());
    }
    if (target < 0)
        return -1;
    const QTextBlock found = doc->findBlockByNumber(target);
    const int at = lineForward(found.text(), lineAt(target).segments.get(), 0, depth, t);
    return at < 0 ? -1 : found.position() + at;
}

int ScopeFinder::searchBackward(const QTextBlock &block, const QString &text, int rel, int t)
{
    const int number = block.blockNumber();
    int depth = 0;
    const int inLine = lineBackward(text, lineAt(number).segments.get(), rel - 1, depth, t);
    if (inLine >= 0)
        return block.position() + inLine;

    int ci, off;
    locate(number, &ci, &off);
    int target = -1;
    int base = number - off;
    for (int c = ci; c >= 0 && target < 0; --c) {
        Chunk &chunk = chunks[c];
        if (c != ci) {
            base -= int(chunk.lines.size());
            const Level &lv = chunkSummary(chunk)[t];
            if (depth - lv.net + lv.min >= 0) {
                depth -= lv.net;
                continue;
            }
        }
        for (int k = c == ci ? off - 1 : int(chunk.lines.size()) - 1; k >= 0; --k) {
            const Level &lv = chunk.lines[k].sum[t];
            if (depth - lv.net + lv.min < 0) {
                target = base + k;
                break;
            }
            depth -= lv.net;
        }
    }
    if (target < 0)
        return -1;
    const QTextBlock found = doc->findBlockByNumber(target);
    const QString foundText = found.text();
    const int at = lineBackward(foundText, lineAt(target).segments.get(), int(foundText.size()) - 1, depth, t);
    return at < 0 ? -1 : found.position() + at;
}

int ScopeFinder::search(int pos, int firstType, int lastType, int s[4], int e[4], int r[4])
{
    for (int t = firstType; t <= lastType; ++t) {
        s[t] = e[t] = -1;
        r[t] = ScopeOutside;
    }
    if (pos <= 0 || pos >= doc->characterCount() - 1)
        return ScopeOutside;
    if (!built)
        rebuild();
    settleStaleLine();
    const QTextBlock block = doc->findBlock(pos);
    const QString text = block.text();
    const int rel = pos - block.position();
    for (int t = firstType; t <= lastType; ++t) {
        e[t] = searchForward(block, text, rel, t);
        s[t] = searchBackward(block, text, rel, t);
        r[t] = resultOf(s[t], e[t]);
    }
    return r[lastType];
}

int ScopeFinder::find(int pos, int &scopeStart, int &scopeEnd, int scopeType)
{
    int s[4], e[4], r[4];
    const int t = normalType(scopeType);
    const int result = search(pos, t, t, s, e, r);
    scopeStart = s[t];
    scopeEnd = e[t];
    return result;
}

int ScopeFinder::findInnermost(int pos, int &scopeStart, int &scopeEnd, int &scopeType)
{
    int s[4], e[4], r[4];
    search(pos, 0, 3, s, e, r);
    return ScopeSearch::innermost(s, e, r, scopeStart, scopeEnd, scopeType);
}

} // namespace ov
