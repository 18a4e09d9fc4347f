#pragma once

#include <QString>
#include <QVector>

namespace ov {

// What one character of a line is coloured as.
enum class PhpFormat : quint8 { Plain, Tag, Keyword, Variable, LineComment, BlockComment, String };

struct PhpSpan {
    int start;
    int length;
    PhpFormat format;
    bool operator==(const PhpSpan &o) const { return start == o.start && length == o.length && format == o.format; }
};

// The PHP line procedure without any widget: one line and the state of the
// line above in, the format of every character and the line's state out.
// Matching follows the regular expressions of the rules exactly (word
// boundaries, greedy string test, minimal string pass) but by hand, so a
// line costs O(n log n) however hostile it is.
class PhpHighlightEngine
{
public:
    // Line states: bit 0 = ends inside an unterminated block comment; the
    // bits 0xff00 = ends inside a PHP region; -1 = never highlighted.
    static constexpr int InBlockComment = 0x1;
    static constexpr int InPhp = 0x100;
    static constexpr int PhpBits = 0xff00;

    // `previousState` is the state of the line above (-1 for the first
    // line). `formats` is resized to the line's length.
    static int highlightLine(const QString &line, int previousState, QVector<PhpFormat> *formats);

    // Runs of equal, non-plain formats, in order.
    static QVector<PhpSpan> spans(const QVector<PhpFormat> &formats);

    // The keywords, in the order of their rules.
    static const QStringList &keywords();
};

} // namespace ov
