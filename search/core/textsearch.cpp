#include "search/core/textsearch.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "editor/core/textfile.h"

namespace ov {

bool isAscii(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 w;
        memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ULL)
            return false;
    }
    for (; i < n; ++i) {
        if (uchar(p[i]) & 0x80)
            return false;
    }
    return true;
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
    const qsizetype m = foldedNeedle.size();
    qsizetype foldedShift[256];
    for (qsizetype &s : foldedShift)
        s = m;
    for (qsizetype k = 0; k + 1 < m; ++k)
        foldedShift[uchar(foldedNeedle[k])] = m - 1 - k;
    for (int b = 0; b < 256; ++b)
        shift[b] = foldedShift[fold[b]];
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
#if defined(__SSE2__)
    // As QStringView::indexOf, eight characters at a time for a plain ASCII
    // search text: only places whose first and last characters can match
    // are compared whole. A character outside ASCII may fold to an ASCII
    // letter (the Kelvin sign to k), so it always counts as possible.
    const qsizetype m = needle.size();
    const qsizetype n = text.size();
    if (asciiNeedle && m > 0 && from >= 0 && n - from >= m + 8) {
        const char16_t *t = text.utf16();
        const QStringView pattern(needle);
        const char16_t first = needle.front().unicode();
        const char16_t last = needle.back().unicode();
        const bool foldFirst = cs == Qt::CaseInsensitive && QChar::isLetter(first);
        const bool foldLast = cs == Qt::CaseInsensitive && QChar::isLetter(last);
        const __m128i firstCase = _mm_set1_epi16(short(foldFirst ? 0x20 : 0));
        const __m128i lastCase = _mm_set1_epi16(short(foldLast ? 0x20 : 0));
        const __m128i firstChar = _mm_set1_epi16(short(foldFirst ? (first | 0x20) : first));
        const __m128i lastChar = _mm_set1_epi16(short(foldLast ? (last | 0x20) : last));
        const __m128i asciiMax = _mm_set1_epi16(0x7F);
        const auto possible = [&](const char16_t *at, __m128i bit, __m128i ch) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
            // Signed compare: also flags code units from 0x8000 up.
            const __m128i wide = _mm_or_si128(_mm_cmpgt_epi16(v, asciiMax), _mm_cmplt_epi16(v, _mm_setzero_si128()));
            return _mm_or_si128(_mm_cmpeq_epi16(_mm_or_si128(v, bit), ch), wide);
        };
        // Plain ASCII is compared through the byte fold table; a character
        // outside it leaves the answer to QStringView.
        const auto wideAt = [m](const char16_t *at) {
            for (qsizetype k = 0; k < m; ++k) {
                if (at[k] >= 0x80)
                    return true;
            }
            return false;
        };
        const auto matchesAt = [&](const char16_t *at) {
            for (qsizetype k = 0; k < m; ++k) {
                if (at[k] < 0x80 && fold[at[k]] != uchar(foldedNeedle[k]))
                    return false;
            }
            return true;
        };
        qsizetype i = from;
        for (; i + m - 1 + 8 <= n; i += 8) {
            const __m128i both = _mm_and_si128(possible(t + i, firstCase, firstChar),
                                               possible(t + i + m - 1, lastCase, lastChar));
            // Two mask bits per character.
            for (unsigned mask = unsigned(_mm_movemask_epi8(both)); mask; mask &= mask - 1, mask &= mask - 1) {
                const qsizetype c = i + __builtin_ctz(mask) / 2;
                if (matchesAt(t + c) && (!wideAt(t + c) || text.sliced(c, m).compare(pattern, cs) == 0))
                    return c;
            }
        }
        const qsizetype rest = text.sliced(i).indexOf(pattern, 0, cs);
        return rest < 0 ? -1 : i + rest;
    }
#endif
    return text.indexOf(QStringView(needle), from, cs);
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
    const uchar last = nd[m - 1];

    auto matchesAt = [&](qsizetype i) {
        for (qsizetype j = 0; j < m; ++j) {
            if (fold[t[i + j]] != nd[j])
                return false;
        }
        return true;
    };
    auto find = [&](qsizetype i) -> qsizetype {
#if defined(__SSE2__)
        // Sixteen candidates at a time: positions whose first and last
        // characters fit; a set case bit makes letters compare in any case.
        const uchar first = nd[0];
        const bool foldFirst = !matchCase() && first >= 'a' && first <= 'z';
        const bool foldLast = !matchCase() && last >= 'a' && last <= 'z';
        const __m128i firstCase = _mm_set1_epi8(char(foldFirst ? 0x20 : 0));
        const __m128i lastCase = _mm_set1_epi8(char(foldLast ? 0x20 : 0));
        const __m128i firstChar = _mm_set1_epi8(char(first));
        const __m128i lastChar = _mm_set1_epi8(char(last));
        for (; i + m - 1 + 16 <= n; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + i + m - 1));
            const __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstCase), firstChar),
                                               _mm_cmpeq_epi8(_mm_or_si128(b, lastCase), lastChar));
            for (unsigned mask = unsigned(_mm_movemask_epi8(hits)); mask; mask &= mask - 1) {
                const qsizetype c = i + __builtin_ctz(mask);
                if (matchesAt(c))
                    return c;
            }
        }
        for (; i + m <= n; ++i) {
            if (matchesAt(i))
                return i;
        }
        return -1;
#else
        if (m == 1) {
            for (; i < n; ++i) {
                if (fold[t[i]] == last)
                    return i;
            }
            return -1;
        }
        while (i + m <= n) {
            const uchar c = t[i + m - 1];
            if (fold[c] == last && matchesAt(i))
                return i;
            i += shift[c];
        }
        return -1;
#endif
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
