#include "search/core/textsearch.h"

#include <algorithm>
#include <cstring>

#include "editor/core/textfile.h"
#include "editor/core/vectorscan.h"

namespace ov {

bool isAscii(QByteArrayView bytes)
{
    const uchar *p = reinterpret_cast<const uchar *>(bytes.data());
    return scan::isAscii(p, p + bytes.size());
}

namespace {

bool isAsciiAlnum(uchar c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A line of ASCII bytes as the editor shows it, built in one pass.
QString latin1WithTabsExpanded(const char *d, qsizetype n)
{
    qsizetype tabs = 0;
    for (qsizetype i = 0; i < n; ++i)
        tabs += d[i] == '\t';
    QString out(n + 3 * tabs, Qt::Uninitialized);
    QChar *o = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        if (d[i] == '\t') {
            for (int k = 0; k < 4; ++k)
                *o++ = u' ';
        } else {
            *o++ = QLatin1Char(d[i]);
        }
    }
    return out;
}

// The first line end in [from, to), or `to`.
qsizetype nextSeparator(const char *d, qsizetype from, qsizetype to)
{
    const void *p = from < to ? memchr(d + from, '\n', size_t(to - from)) : nullptr;
    return p ? static_cast<const char *>(p) - d : to;
}

qsizetype nextSeparator(const QChar *d, qsizetype from, qsizetype to)
{
    while (from < to && !isLineSeparator(d[from]))
        ++from;
    return from;
}

// Remembers the line of the last hit, so that hits on one line share its
// number, start and text, and counting lines never goes backwards.
template <typename Char>
class LineTracker
{
public:
    LineTracker(const Char *data, qsizetype size) : d(data), n(size) {}

    // Moves to the line holding `pos` (never before the previous one).
    void advanceTo(qsizetype pos)
    {
        for (qsizetype i = nextSeparator(d, scanned, pos); i < pos; i = nextSeparator(d, i + 1, pos)) {
            ++lineIndex;
            lineStart = i + 1;
        }
        scanned = pos;
        if (lineStart != textStart) {
            textStart = lineStart;
            textEnd = nextSeparator(d, pos, n);
            haveText = false;
        }
    }

    const Char *d;
    qsizetype n;
    qsizetype scanned = 0;
    qsizetype lineIndex = 0;
    qsizetype lineStart = 0;
    qsizetype textStart = -1; // the line whose text is cached
    qsizetype textEnd = 0;
    bool haveText = false;
    QString text;
};

// The places worth comparing a folded ASCII search text at, told by its
// first and last characters; a search that ignores case lets letters match
// in either case.
template<typename Unit>
scan::Anchors<Unit> anchorsFor(const QByteArray &foldedNeedle, bool ignoreCase, bool wideMatches)
{
    const Unit first = uchar(foldedNeedle.front());
    const Unit last = uchar(foldedNeedle.back());
    const auto caseBit = [ignoreCase](Unit c) { return Unit(ignoreCase && c >= 'a' && c <= 'z' ? 0x20 : 0); };
    return {first, first, last, foldedNeedle.size() - 1, caseBit(first), caseBit(last), wideMatches};
}

} // namespace

bool isLineSeparator(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'\n' || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1;
}

TextMatcher::TextMatcher(const QString &text, bool matchCase, bool matchWord)
    : needle(text), cs(matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive), wholeWord(matchWord)
{
    never = needle.isEmpty();
    asciiNeedle = !never;
    for (QChar c : needle) {
        // The document turns no-break spaces into blanks before matching,
        // so a search text holding one, like one holding a line end, never matches.
        if (isLineSeparator(c) || c == QChar::Nbsp)
            never = true;
        if (c == u' ')
            hasBlank = true;
        // Blanks and tabs may meet expanded tabs: only the decoded text can say.
        if (c.unicode() >= 0x80 || c == u' ' || c == u'\t')
            asciiNeedle = false;
    }
    if (never || !asciiNeedle)
        return;

    for (int b = 0; b < 256; ++b)
        fold[b] = uchar((!matchCase && b >= 'A' && b <= 'Z') ? b - 'A' + 'a' : b);
    foldedNeedle.resize(needle.size());
    for (qsizetype i = 0; i < needle.size(); ++i)
        foldedNeedle[i] = char(fold[uchar(needle.at(i).unicode())]);
}

QString TextMatcher::prepare(const QString &text) const
{
    if (!hasBlank || !text.contains(QChar::Nbsp))
        return text;
    QString copy = text;
    copy.replace(QChar::Nbsp, u' ');
    return copy;
}

bool TextMatcher::isWholeWord(QStringView text, qsizetype start, const QChar *before, qsizetype from) const
{
    const qsizetype end = start + needle.size();
    if (start == from && before) {
        if (before->isLetterOrNumber())
            return false;
    } else if (start > 0 && text.at(start - 1).isLetterOrNumber()) {
        return false;
    }
    return end >= text.size() || !text.at(end).isLetterOrNumber();
}

qsizetype TextMatcher::indexIn(QStringView text, qsizetype from, const QChar *before) const
{
    if (never)
        return -1;
    qsizetype pos = qMax<qsizetype>(from, 0);
    while (pos <= text.size()) {
        // A hit cannot cross a line end: the search text holds none.
        const qsizetype idx = find(text, pos);
        if (idx < 0)
            return -1;
        if (!wholeWord || isWholeWord(text, idx, before, from))
            return idx;
        // The document resumes one past the rejected candidate's end.
        pos = idx + needle.size() + 1;
    }
    return -1;
}

qsizetype TextMatcher::find(QStringView text, qsizetype from) const
{
    // As QStringView::indexOf, for a plain ASCII search text: only places
    // whose first and last characters can match are compared whole. A
    // character outside ASCII may fold to an ASCII letter (the Kelvin sign
    // to k), so it always counts as possible, and leaves the answer to
    // QStringView.
    const qsizetype m = needle.size();
    if (!asciiNeedle || from < 0 || text.size() - from < m)
        return text.indexOf(QStringView(needle), from, cs);
    const char16_t *const t = text.utf16();
    const scan::Anchors<char16_t> anchors = anchorsFor<char16_t>(foldedNeedle, cs == Qt::CaseInsensitive, true);
    const auto wideAt = [m](const char16_t *at) {
        return std::any_of(at, at + m, [](char16_t u) { return u >= 0x80; });
    };
    const auto matchesAt = [&](const char16_t *at) {
        for (qsizetype k = 0; k < m; ++k) {
            if (at[k] < 0x80 && fold[at[k]] != uchar(foldedNeedle[k]))
                return false;
        }
        return true;
    };
    const char16_t *const end = t + text.size() - (m - 1);
    for (const char16_t *p = t + from; p < end; ++p) {
        p = scan::findAnchored(p, end, anchors);
        if (p < end && matchesAt(p) && (!wideAt(p) || text.sliced(p - t, m).compare(QStringView(needle), cs) == 0))
            return p - t;
    }
    return -1;
}

qsizetype TextMatcher::nextValid(QStringView text, qsizetype from, qsizetype cursorPosition,
                                 qsizetype startPosition) const
{
    qsizetype searchStart = cursorPosition;
    qsizetype hit = indexIn(text, from);
    if (hit < 0) {
        searchStart = 0;
        hit = indexIn(text, 0);
    }
    if (hit < 0)
        return -1;
    if (searchStart >= startPosition || hit + needle.size() < startPosition)
        return hit;
    return -1;
}

QList<FindEntry> TextMatcher::findAll(const QString &fileName, const QString &text, qsizetype maxHits) const
{
    QList<FindEntry> out;
    if (never)
        return out;
    const QString prepared = prepare(text);
    LineTracker<QChar> lines(text.constData(), text.size());
    for (qsizetype hit = indexIn(prepared, 0); hit >= 0 && maxHits != 0; hit = indexIn(prepared, hit + needle.size())) {
        lines.advanceTo(hit);
        if (!lines.haveText) {
            lines.text = text.mid(lines.textStart, lines.textEnd - lines.textStart);
            lines.haveText = true;
        }
        FindEntry e;
        e.fileName = fileName;
        e.lineText = lines.text;
        e.startColumn = int(hit - lines.lineStart);
        e.endColumn = int(e.startColumn + needle.size());
        e.lineNumber = int(lines.lineIndex + 1);
        out.append(e);
        if (maxHits > 0)
            --maxHits;
    }
    return out;
}

QList<FindEntry> TextMatcher::findAllInBytes(const QString &fileName, const QByteArray &bytes, qsizetype maxHits) const
{
    if (never)
        return {};
    if (asciiNeedle && isAscii(bytes))
        return findAllInAscii(fileName, bytes, maxHits);
    return findAll(fileName, editorText(bytes), maxHits);
}

// An ASCII file decodes to the same characters, one per byte; only
// carriage returns go and tabs widen. The search text holds neither blanks
// nor tabs, so it matches the bytes exactly where it matches the editor's
// text, and a whole-word check sees a tab as it sees the blanks it becomes.
QList<FindEntry> TextMatcher::findAllInAscii(const QString &fileName, QByteArrayView bytes, qsizetype maxHits) const
{
    QList<FindEntry> out;
    QByteArray withoutCr;
    if (memchr(bytes.data(), '\r', size_t(bytes.size()))) {
        withoutCr.reserve(bytes.size());
        for (char c : bytes) {
            if (c != '\r')
                withoutCr.append(c);
        }
        bytes = withoutCr;
    }
    const uchar *t = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype n = bytes.size();
    const uchar *nd = reinterpret_cast<const uchar *>(foldedNeedle.constData());
    const qsizetype m = foldedNeedle.size();

    auto matchesAt = [&](qsizetype i) {
        for (qsizetype j = 0; j < m; ++j) {
            if (fold[t[i + j]] != nd[j])
                return false;
        }
        return true;
    };
    const scan::Anchors<uchar> anchors = anchorsFor<uchar>(foldedNeedle, !matchCase(), false);
    auto find = [&](qsizetype i) -> qsizetype {
        if (n < m)
            return -1;
        const uchar *const end = t + n - (m - 1);
        for (const uchar *p = t + i; p < end; ++p) {
            p = scan::findAnchored(p, end, anchors);
            if (p < end && matchesAt(p - t))
                return p - t;
        }
        return -1;
    };

    LineTracker<char> lines(bytes.data(), n);
    qsizetype pos = 0;
    while (maxHits != 0 && pos <= n) {
        const qsizetype idx = find(pos);
        if (idx < 0)
            break;
        const qsizetype end = idx + m;
        if (wholeWord && ((idx > 0 && isAsciiAlnum(t[idx - 1])) || (end < n && isAsciiAlnum(t[end])))) {
            pos = end + 1;
            continue;
        }
        lines.advanceTo(idx);
        if (!lines.haveText) {
            lines.text = latin1WithTabsExpanded(bytes.data() + lines.textStart, lines.textEnd - lines.textStart);
            lines.haveText = true;
        }
        qsizetype tabs = 0;
        for (qsizetype i = lines.lineStart; i < idx; ++i)
            tabs += t[i] == '\t';
        FindEntry e;
        e.fileName = fileName;
        e.lineText = lines.text;
        e.startColumn = int(idx - lines.lineStart + 3 * tabs);
        e.endColumn = int(e.startColumn + m);
        e.lineNumber = int(lines.lineIndex + 1);
        out.append(e);
        if (maxHits > 0)
            --maxHits;
        pos = end;
    }
    return out;
}

QList<qsizetype> TextMatcher::replaceAllHits(QStringView text, const QString &replacement) const
{
    QList<qsizetype> hits;
    qsizetype pos = 0;
    QChar before;
    bool replacedBefore = false; // whether `before` stands for text[pos - 1]
    for (;;) {
        const qsizetype hit = indexIn(text, pos, replacedBefore ? &before : nullptr);
        if (hit < 0)
            break;
        hits.append(hit);
        if (!replacement.isEmpty())
            before = replacement.back();
        else if (!(replacedBefore && hit == pos))
            before = hit > 0 ? text.at(hit - 1) : QChar(u'\n'); // nothing before: a line start
        replacedBefore = true;
        pos = hit + needle.size();
    }
    return hits;
}

} // namespace ov
