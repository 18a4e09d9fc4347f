#include "editor/core/phphighlightengine.h"

#include <QStringList>
#include <algorithm>
#include <climits>
#include <vector>

namespace ov {

namespace {

const int NoEnd = INT_MAX;

// A word character as the word boundary of the rules sees it.
inline bool isWord(QChar c)
{
    const ushort u = c.unicode();
    if (u < 128)
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
    return c.isLetterOrNumber() || c.isMark();
}

inline bool isVariableChar(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
}

// The first element >= from, or -1.
inline int nextIn(const std::vector<int> &v, int from)
{
    auto it = std::lower_bound(v.begin(), v.end(), from);
    return it == v.end() ? -1 : *it;
}

// The last element < before, or -1.
inline int lastBefore(const std::vector<int> &v, int before)
{
    auto it = std::lower_bound(v.begin(), v.end(), before);
    return it == v.begin() ? -1 : *(it - 1);
}

bool isKeyword(const QChar *s, int n)
{
    if (n < 2 || n > 15)
        return false;
    for (int i = 0; i < n; ++i)
        if (s[i].unicode() >= 128)
            return false;
    const QStringView word(s, n);
    for (const QString &k : PhpHighlightEngine::keywords())
        if (k.size() == n && word == k)
            return true;
    return false;
}

// Where the fixed tokens of one line are, so every test is a lookup.
struct LineIndex {
    const QChar *s = nullptr;
    int n = 0;
    std::vector<int> dq, sq;          // '"' and '\''
    std::vector<int> commentStart;    // "/*"
    std::vector<int> commentEnd;      // "*/"
    std::vector<int> slashes;         // "//"
    std::vector<int> lineComment;     // "//" or "#"
    std::vector<int> closeTag;        // "?>"
    std::vector<int> newline;

    explicit LineIndex(const QString &line) : s(line.constData()), n(int(line.size()))
    {
        for (int i = 0; i < n; ++i) {
            const ushort c = s[i].unicode();
            const ushort next = i + 1 < n ? s[i + 1].unicode() : 0;
            switch (c) {
            case '"': dq.push_back(i); break;
            case '\'': sq.push_back(i); break;
            case '#': lineComment.push_back(i); break;
            case '\n': newline.push_back(i); break;
            case '/':
                if (next == '*')
                    commentStart.push_back(i);
                else if (next == '/') {
                    slashes.push_back(i);
                    lineComment.push_back(i);
                }
                break;
            case '*':
                if (next == '/')
                    commentEnd.push_back(i);
                break;
            case '?':
                if (next == '>')
                    closeTag.push_back(i);
                break;
            default: break;
            }
        }
    }

    // End of a "[^\n]*" run starting at p.
    int lineEnd(int p) const
    {
        const int nl = nextIn(newline, p);
        return nl < 0 ? n : nl;
    }
};

class Segment
{
public:
    Segment(const LineIndex &ix, int prev, PhpFormat *fmt) : ix(ix), prev(prev), fmt(fmt) {}

    // One segment of the line from `a`; returns where the next segment
    // resumes (a closing tag) or -1.
    int run(int a, bool first, int &state)
    {
        const bool prevInPhp = prev != -1 && (prev & PhpHighlightEngine::PhpBits);
        const bool prevInComment = prev != -1 && (prev & PhpHighlightEngine::InBlockComment);

        if (!first || !prevInPhp) {
            int tagLength = 0;
            const int tag = findOpeningTag(a, &tagLength);
            if (tag < 0) {
                state = 0;
                return -1;
            }
            fill(tag, tagLength, PhpFormat::Tag);
            state = PhpHighlightEngine::InPhp;
            a = tag + tagLength;
        } else {
            // Continuing a region: the line carries the PHP bit itself rather
            // than whatever state it held before, so an opening tag typed (or
            // restored by undo) above re-colours every line below it.
            state = PhpHighlightEngine::InPhp;
        }
        setStringOrigin(a);

        int end = NoEnd;
        int result = -1;
        if (!prevInComment) {
            for (auto it = std::lower_bound(ix.closeTag.begin(), ix.closeTag.end(), a); it != ix.closeTag.end(); ++it) {
                const int d = *it;
                if (!insideString(d) && !insideComment(d, a)) {
                    fill(d, 2, PhpFormat::Tag);
                    state &= ~0xffff;
                    end = d;
                    result = d;
                    break;
                }
            }
        }

        applyRules(a, end);

        // Line-comment cut: strings and block comments stop at a real "//" or "#".
        for (auto it = std::lower_bound(ix.lineComment.begin(), ix.lineComment.end(), a);
             it != ix.lineComment.end() && *it < end; ++it) {
            if (!insideString(*it)) {
                end = *it;
                break;
            }
        }

        state &= ~0xff;

        int c;
        if (!prevInComment) {
            c = commentStartBefore(a, end);
            stringPass(a, end, c);
        } else {
            c = a;
        }
        while (c >= 0) {
            const int e = nextIn(ix.commentEnd, c);
            int length;
            if (e < 0) {
                state |= PhpHighlightEngine::InBlockComment;
                length = ix.n - c;
            } else {
                length = e - c + 2;
            }
            fill(c, length, PhpFormat::BlockComment);
            const int after = c + length;
            c = commentStartBefore(after, end);
            if (e < 0)
                break;
            stringPass(after, end, c);
        }
        return result;
    }

private:
    const LineIndex &ix;
    const int prev;
    PhpFormat *fmt;
    int firstDq = -1, firstSq = -1;

    void fill(int from, int length, PhpFormat f)
    {
        std::fill(fmt + from, fmt + std::min(ix.n, from + length), f);
    }

    // "(<\?php)|(<\?)\b" from a.
    int findOpeningTag(int a, int *length) const
    {
        const QChar *s = ix.s;
        for (int i = a; i + 1 < ix.n; ++i) {
            if (s[i] != u'<' || s[i + 1] != u'?')
                continue;
            if (i + 4 < ix.n && s[i + 2] == u'p' && s[i + 3] == u'h' && s[i + 4] == u'p') {
                *length = 5;
                return i;
            }
            if (i + 2 < ix.n && isWord(s[i + 2])) {
                *length = 2;
                return i;
            }
        }
        return -1;
    }

    // The greedy string matches searched from `a` onwards start at every
    // quote but the last of its kind and all end at that last one.
    void setStringOrigin(int a)
    {
        firstDq = nextIn(ix.dq, a);
        firstSq = nextIn(ix.sq, a);
    }

    bool insideString(int p) const
    {
        return (firstDq >= 0 && firstDq < p && ix.dq.back() >= p)
            || (firstSq >= 0 && firstSq < p && ix.sq.back() >= p);
    }

    // Only for closing tags: after an open "/*" or after a "//" (never "#").
    bool insideComment(int p, int a) const
    {
        const int b = lastBefore(ix.commentStart, p);
        if (b >= a) {
            const int e = nextIn(ix.commentEnd, b);
            if (e < 0 || e > p)
                return true;
        }
        const int slashes = nextIn(ix.slashes, a);
        return slashes >= 0 && slashes < p;
    }

    int commentStartBefore(int from, int end) const
    {
        const int c = nextIn(ix.commentStart, from);
        return c >= 0 && c < end ? c : -1;
    }

    // The minimal string match from `from`: a quote with a later one of its
    // kind, up to that next one.
    bool minimalString(int from, int *l, int *length) const
    {
        int best = -1, close = -1;
        for (const std::vector<int> *quotes : {&ix.dq, &ix.sq}) {
            const int q = nextIn(*quotes, from);
            if (q < 0 || q >= quotes->back())
                continue;
            if (best < 0 || q < best) {
                best = q;
                close = nextIn(*quotes, q + 1);
            }
        }
        if (best < 0)
            return false;
        *l = best;
        *length = close - best + 1;
        return true;
    }

    void stringPass(int from, int end, int &c)
    {
        int l, n;
        while (minimalString(from, &l, &n) && l < end && (c < 0 || l < c)) {
            if (l + n < end)
                fill(l, n, PhpFormat::String);
            if (l + n > c)
                c = commentStartBefore(l + n, end);
            // An escaped closing quote may open the next match.
            from = ix.s[l + n - 2] == u'\\' ? l + n - 1 : l + n;
        }
    }

    void applyRules(int a, int end)
    {
        const QChar *s = ix.s;
        const int limit = std::min(ix.n, end);

        // "\bword\b" matches only whole runs of word characters, so one pass
        // over the runs serves all keyword rules (they share one format).
        int i = a;
        if (i > 0 && i < limit && isWord(s[i - 1]))
            while (i < limit && isWord(s[i]))
                ++i;
        while (i < limit) {
            if (!isWord(s[i])) {
                ++i;
                continue;
            }
            int j = i;
            while (j < ix.n && isWord(s[j]))
                ++j;
            if (j < end && isKeyword(s + i, j - i) && !insideString(i))
                fill(i, j - i, PhpFormat::Keyword);
            i = j;
        }

        for (i = a; i < limit; ++i) {
            if (s[i] != u'$' || i + 1 >= ix.n || !isVariableChar(s[i + 1]))
                continue;
            int j = i + 1;
            while (j < ix.n && isVariableChar(s[j]))
                ++j;
            if (j < end && !insideString(i))
                fill(i, j - i, PhpFormat::Variable);
            i = j - 1;
        }

        int f = nextIn(ix.lineComment, a);
        while (f >= 0 && f < end) {
            const int stop = ix.lineEnd(f);
            if (stop < end && !insideString(f))
                fill(f, stop - f, PhpFormat::LineComment);
            f = nextIn(ix.lineComment, std::max(stop, f + 1));
        }
    }
};

} // namespace

const QStringList &PhpHighlightEngine::keywords()
{
    static const QStringList words = {
        "and", "or", "xor", "__FILE__", "exception", "__LINE__", "array", "as", "break", "case", "class",
        "const", "continue", "declare", "default", "die", "do", "echo", "else", "elseif", "empty",
        "enddeclare", "endfor", "endforeach", "endif", "endswitch", "endwhile", "eval", "exit", "extends",
        "for", "foreach", "function", "global", "if", "include", "include_once", "isset", "list", "new",
        "print", "require", "require_once", "return", "static", "switch", "unset", "use", "var", "while",
        "__FUNCTION__", "__CLASS__", "__METHOD__", "final", "php_user_filter", "interface", "implements",
        "instanceof", "public", "private", "protected", "abstract", "clone", "try", "catch", "throw",
        "cfunction", "old_function", "this", "final", "__NAMESPACE__", "namespace", "goto", "__DIR__"};
    return words;
}

int PhpHighlightEngine::highlightLine(const QString &line, int previousState, QVector<PhpFormat> *formats)
{
    formats->fill(PhpFormat::Plain, line.size());
    const LineIndex ix(line);
    Segment segment(ix, previousState, formats->data());
    int state = 0;
    int start = 0;
    bool first = true;
    do {
        start = segment.run(start, first, state);
        first = false;
    } while (start >= 0);
    return state;
}

QVector<PhpSpan> PhpHighlightEngine::spans(const QVector<PhpFormat> &formats)
{
    QVector<PhpSpan> out;
    const int n = int(formats.size());
    for (int i = 0; i < n;) {
        int j = i + 1;
        while (j < n && formats[j] == formats[i])
            ++j;
        if (formats[i] != PhpFormat::Plain)
            out.append({i, j - i, formats[i]});
        i = j;
    }
    return out;
}

} // namespace ov
