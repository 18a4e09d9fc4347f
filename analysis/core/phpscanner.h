#pragma once

#include <QChar>
#include <QStringView>

#include <vector>

namespace ov {

namespace detail {
// \w and \s of the ASCII characters, for the scanners' inner loops.
struct AsciiClasses {
    bool word[128] = {};
    bool space[128] = {};
    constexpr AsciiClasses()
    {
        for (int c = '0'; c <= '9'; ++c)
            word[c] = true;
        for (int c = 'a'; c <= 'z'; ++c)
            word[c] = true;
        for (int c = 'A'; c <= 'Z'; ++c)
            word[c] = true;
        word[int('_')] = true;
        for (int c = 9; c <= 13; ++c)
            space[c] = true;
        space[int(' ')] = true;
    }
};
inline constexpr AsciiClasses asciiClasses;
} // namespace detail

// The analyser's four patterns as single forward scans, so that a file's
// analysis stays linear in its length. Each finder returns the first match
// that starts at or after `from` and before `limit` (-1: the text's end),
// with exactly the start and captures that these regular expressions give
// with dot-matches-all, Unicode classes and, for the definition pattern,
// every quantifier lazy:
//   definition  \bfunction(\s)*((\w)+|(\w)+)(\s)*\(.*\)        capture 2
//   variable    \$((\w)+)\b                                   capture 0
//   call        \b((\w)+|(\w))(\s)*\(.*\)                      capture 1
//   include     \b(include_once|include|require_once|require)\s+('|")(\S+)('|")
// The ".*\)" tails only ask that some ")" follows the "(".
// The definitions are found in one pass on first use and kept: a scanner
// belongs to one thread.
class PhpScanner
{
public:
    struct Match {
        int pos = -1;        // start of the whole match
        int capStart = 0;    // the capture the analyser uses
        int capLength = 0;
        bool found() const { return pos >= 0; }
    };
    struct IncludeMatch {
        int pos = -1;
        QChar openQuote;
        QChar closeQuote;
        int pathStart = 0;
        int pathLength = 0;
        bool found() const { return pos >= 0; }
    };

    explicit PhpScanner(QStringView text);

    Match findFunction(int from, int limit = -1) const;
    Match findVariable(int from, int limit = -1) const;
    Match findCall(int from, int limit = -1) const;
    IncludeMatch findInclude(int from, int limit = -1) const;

    QStringView text() const { return s; }
    QStringView captured(const Match &m) const { return s.mid(m.capStart, m.capLength); }

    // \w and \s as the patterns see them (a surrogate pair is one character).
    bool isWordAt(int i) const
    {
        const char16_t u = d[i].unicode();
        return u < 128 ? detail::asciiClasses.word[u] : isWordAtSlow(i);
    }
    static bool isSpace(QChar c)
    {
        const char16_t u = c.unicode();
        return u < 128 ? detail::asciiClasses.space[u] : isSpaceSlow(c);
    }

private:
    bool isWordAtSlow(int i) const;
    static bool isSpaceSlow(QChar c);

    int bound(int limit) const { return limit < 0 || limit > n ? n : limit; }
    enum Keyword { FunctionKeyword, IncludeKeyword };
    // Where "function" (or "include" or "require") next starts, from `from`.
    int nextKeyword(int from, Keyword keyword) const;
    bool keywordAt(int i, Keyword keyword) const;
    Match functionAt(int c) const;
    int skipSpaces(int i) const;
    int skipWord(int i) const;
    // The first word character from `i` on, else `limit`.
    int skipNonWord(int i, int limit) const;

    QStringView s;
    const QChar *d = nullptr;
    const char16_t *units = nullptr;   // d, as the vector scans take it
    int n = 0;
    int lastClose = -1;   // the last ")" of the text
    mutable std::vector<Match> functions;
    mutable bool functionsFound = false;
};

} // namespace ov
