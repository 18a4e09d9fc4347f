#include "analysis/core/phpscanner.h"

#include <algorithm>

namespace ov {

namespace {

bool isQuote(QChar c)
{
    return c == QLatin1Char('\'') || c == QLatin1Char('"');
}

} // namespace

PhpScanner::PhpScanner(QStringView text)
    : s(text), d(text.data()), n(int(text.size()))
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

int PhpScanner::skipWord(int i) const
{
    while (i < n && isWordAt(i))
        ++i;
    return i;
}

PhpScanner::Match PhpScanner::findFunction(int from, int limit) const
{
    const int lim = bound(limit);
    static constexpr QStringView keyword = u"function";
    for (int c = std::max(from, 0); c < lim; ++c) {
        c = int(s.indexOf(keyword, c));
        if (c < 0 || c >= lim)
            break;
        if (c > 0 && isWordAt(c - 1))
            continue;
        const int k = skipSpaces(c + 8);
        const int e = skipWord(k);
        if (e == k)
            continue;
        const int q = skipSpaces(e);
        if (q < n && d[q] == QLatin1Char('(') && q < lastClose)
            return {c, k, e - k};
    }
    return {};
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
    while (i < lim) {
        if (!isWordAt(i)) {
            ++i;
            continue;
        }
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
    static constexpr QStringView include = u"include";
    static constexpr QStringView require = u"require";
    static constexpr QStringView once = u"_once";
    int nextInclude = -2, nextRequire = -2;
    for (int i = std::max(from, 0); i < lim;) {
        if (nextInclude != -1 && nextInclude < i)
            nextInclude = int(s.indexOf(include, i));
        if (nextRequire != -1 && nextRequire < i)
            nextRequire = int(s.indexOf(require, i));
        int c;
        if (nextInclude < 0)
            c = nextRequire;
        else if (nextRequire < 0)
            c = nextInclude;
        else
            c = std::min(nextInclude, nextRequire);
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
