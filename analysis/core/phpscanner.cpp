#include "analysis/core/phpscanner.h"

#include <QtAlgorithms>

#include <algorithm>
#include <cstring>

#include "editor/core/vectorscan.h"

namespace ov {

namespace {

bool isQuote(QChar c)
{
    return c == QLatin1Char('\'') || c == QLatin1Char('"');
}

} // namespace

PhpScanner::PhpScanner(QStringView text)
    : s(text), d(text.data()), units(text.utf16()), n(int(text.size()))
{
    lastClose = int(s.lastIndexOf(QLatin1Char(')')));
}

bool PhpScanner::isSpaceSlow(QChar c)
{
    // The Unicode separators plus NEL and U+180E, as the regex engine has it.
    return c.unicode() == 0x180E || c.isSpace();
}

bool PhpScanner::isWordAtSlow(int i) const
{
    const char16_t u = d[i].unicode();
    if (QChar::isHighSurrogate(u)) {
        if (i + 1 < n && d[i + 1].isLowSurrogate())
            return QChar::isLetterOrNumber(QChar::surrogateToUcs4(u, d[i + 1].unicode()));
        return false;
    }
    if (QChar::isLowSurrogate(u)) {
        if (i > 0 && d[i - 1].isHighSurrogate())
            return QChar::isLetterOrNumber(QChar::surrogateToUcs4(d[i - 1].unicode(), u));
        return false;
    }
    return QChar::isLetterOrNumber(u);
}

int PhpScanner::skipSpaces(int i) const
{
    while (i < n && isSpace(d[i]))
        ++i;
    return i;
}

// Runs of ASCII are passed over by the vector scans; a unit outside ASCII
// is asked about on its own.
int PhpScanner::skipWord(int i) const
{
    for (;;) {
        i = int(scan::skipAsciiWord(units + i, units + n) - units);
        if (i == n || units[i] < 0x80 || !isWordAt(i))
            return i;
        ++i;
    }
}

int PhpScanner::skipNonWord(int i, int limit) const
{
    while (i < limit) {
        i = int(scan::findAsciiWordOrWide(units + i, units + limit) - units);
        if (i == limit || isWordAt(i))
            return i;
        ++i;
    }
    return limit;
}

bool PhpScanner::keywordAt(int i, Keyword keyword) const
{
    const char16_t *at = units + i;
    if (keyword == FunctionKeyword)
        return std::memcmp(at, u"function", 8 * sizeof(char16_t)) == 0;
    return std::memcmp(at, u"include", 7 * sizeof(char16_t)) == 0
        || std::memcmp(at, u"require", 7 * sizeof(char16_t)) == 0;
}

int PhpScanner::nextKeyword(int from, Keyword keyword) const
{
    // Places are picked by their first and last letters; the few where
    // both fit are compared whole.
    const int length = keyword == FunctionKeyword ? 8 : 7;
    if (n < length)
        return -1;
    const scan::Anchors<char16_t> anchors = keyword == FunctionKeyword
        ? scan::Anchors<char16_t>{u'f', u'f', u'n', length - 1}
        : scan::Anchors<char16_t>{u'i', u'r', u'e', length - 1};
    const char16_t *const end = units + n - (length - 1);
    for (const char16_t *p = units + std::max(from, 0); p < end; ++p) {
        p = scan::findAnchored(p, end, anchors);
        if (p < end && keywordAt(int(p - units), keyword))
            return int(p - units);
    }
    return -1;
}

// The definition match that starts at the keyword at `c`, if any.
PhpScanner::Match PhpScanner::functionAt(int c) const
{
    if (c > 0 && isWordAt(c - 1))
        return {};
    const int k = skipSpaces(c + 8);
    const int e = skipWord(k);
    if (e == k)
        return {};
    const int q = skipSpaces(e);
    if (q < n && d[q] == QLatin1Char('(') && q < lastClose)
        return {c, k, e - k};
    return {};
}

PhpScanner::Match PhpScanner::findFunction(int from, int limit) const
{
    if (!functionsFound) {
        // Whether a keyword starts a match does not depend on where a
        // search starts: all of them are found once.
        for (int c = nextKeyword(0, FunctionKeyword); c >= 0; c = nextKeyword(c + 1, FunctionKeyword)) {
            const Match m = functionAt(c);
            if (m.found())
                functions.push_back(m);
        }
        functionsFound = true;
    }
    const int lim = bound(limit);
    const auto it = std::lower_bound(functions.cbegin(), functions.cend(), from,
                                     [](const Match &m, int pos) { return m.pos < pos; });
    if (it == functions.cend() || it->pos >= lim)
        return {};
    return *it;
}

PhpScanner::Match PhpScanner::findVariable(int from, int limit) const
{
    const int lim = bound(limit);
    for (int c = std::max(from, 0); c < lim; ++c) {
        c = int(s.indexOf(QLatin1Char('$'), c));
        if (c < 0 || c >= lim)
            break;
        if (c + 1 < n && isWordAt(c + 1))
            return {c, c, skipWord(c + 1) - c};
    }
    return {};
}

PhpScanner::Match PhpScanner::findCall(int from, int limit) const
{
    const int lim = bound(limit);
    int i = std::max(from, 0);
    if (i > 0 && i < n && isWordAt(i - 1))
        i = skipWord(i);   // no word boundary inside a word
    for (;;) {
        i = skipNonWord(i, lim);
        if (i >= lim)
            break;
        const int e = skipWord(i);
        const int q = skipSpaces(e);
        if (q < n && d[q] == QLatin1Char('(') && q < lastClose)
            return {i, i, e - i};
        i = e;
    }
    return {};
}

PhpScanner::IncludeMatch PhpScanner::findInclude(int from, int limit) const
{
    const int lim = bound(limit);
    static constexpr QStringView once = u"_once";
    for (int i = std::max(from, 0); i < lim;) {
        const int c = nextKeyword(i, IncludeKeyword);
        if (c < 0 || c >= lim)
            break;
        i = c + 1;
        if (c > 0 && isWordAt(c - 1))
            continue;
        int kwEnd = c + 7;
        if (s.mid(kwEnd, 5) == once && kwEnd + 5 < n && isSpace(d[kwEnd + 5]))
            kwEnd += 5;
        if (kwEnd >= n || !isSpace(d[kwEnd]))
            continue;
        const int q = skipSpaces(kwEnd);
        if (q >= n || !isQuote(d[q]))
            continue;
        int close = -1;
        int r = q + 1;
        for (; r < n && !isSpace(d[r]); ++r) {
            if (r >= q + 2 && isQuote(d[r]))
                close = r;
        }
        if (close < 0)
            continue;
        IncludeMatch m;
        m.pos = c;
        m.openQuote = d[q];
        m.closeQuote = d[close];
        m.pathStart = q + 1;
        m.pathLength = close - q - 1;
        return m;
    }
    return {};
}

} // namespace ov
