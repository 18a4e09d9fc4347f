#include "editor/core/includetarget.h"

#include <QDir>
#include <QList>
#include <QRegularExpression>

namespace ov {

namespace {

bool isNameStart(QChar c) { return c.isLetter() || c == QLatin1Char('_') || c.unicode() >= 0x80; }
bool isNameChar(QChar c) { return isNameStart(c) || c.isDigit(); }

// A small reader of one PHP expression on one line.
class Reader
{
public:
    explicit Reader(QStringView text) : s(text) {}

    struct Operand {
        enum Kind { Literal, Folder, Unknown } kind;
        QString text;   // Literal
        int levels = 0; // Folder: how far above the file's folder
    };

    void skipSpace()
    {
        while (i < s.size() && s[i].isSpace())
            ++i;
    }
    bool atEnd() const { return i >= s.size(); }
    QChar peek(qsizetype ahead = 0) const { return i + ahead < s.size() ? s[i + ahead] : QChar(); }
    bool take(QChar c)
    {
        skipSpace();
        if (peek() != c)
            return false;
        ++i;
        return true;
    }
    QString name()
    {
        const qsizetype from = i;
        while (i < s.size() && isNameChar(s[i]))
            ++i;
        return s.mid(from, i - from).toString();
    }
    // Steps over a bracketed part, nested brackets and strings included.
    bool skipBracketed(QChar open, QChar close)
    {
        int depth = 0;
        while (i < s.size()) {
            const QChar c = s[i];
            if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                QString ignored;
                bool plain;
                if (!quoted(&ignored, &plain))
                    return false;
                continue;
            }
            ++i;
            if (c == open)
                ++depth;
            else if (c == close && --depth == 0)
                return true;
        }
        return false;
    }
    // A quoted string at the reader; `plain` false when it interpolates.
    bool quoted(QString *out, bool *plain)
    {
        const QChar quote = s[i++];
        const bool single = quote == QLatin1Char('\'');
        *plain = true;
        while (i < s.size()) {
            const QChar c = s[i++];
            if (c == quote)
                return true;
            if (c == QLatin1Char('\\') && i < s.size()) {
                const QChar next = s[i];
                if (next == quote || next == QLatin1Char('\\') || (!single && next == QLatin1Char('$'))) {
                    out->append(next);
                    ++i;
                    continue;
                }
            }
            if (!single && c == QLatin1Char('$'))
                *plain = false;
            out->append(c);
        }
        return false;
    }

    // One operand of the "." chain, or false when the text is no operand.
    bool operand(Operand *op)
    {
        skipSpace();
        const QChar c = peek();
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            bool plain;
            op->kind = Operand::Literal;
            if (!quoted(&op->text, &plain))
                return false;
            if (!plain)
                op->kind = Operand::Unknown;
            return true;
        }
        if (c == QLatin1Char('(')) {
            if (!skipBracketed(QLatin1Char('('), QLatin1Char(')')))
                return false;
            op->kind = Operand::Unknown;
            return true;
        }
        if (c == QLatin1Char('$')) {
            ++i;
            if (name().isEmpty())
                return false;
            op->kind = Operand::Unknown;
            return accessors();
        }
        if (c == QLatin1Char('\\') || isNameStart(c)) {
            // A constant, a call or a class member, maybe namespaced.
            QString word;
            while (peek() == QLatin1Char('\\') || isNameStart(peek())) {
                if (peek() == QLatin1Char('\\'))
                    ++i;
                word = name();
            }
            if (word == QLatin1String("__DIR__")) {
                op->kind = Operand::Folder;
                return true;
            }
            if (word.compare(QLatin1String("dirname"), Qt::CaseInsensitive) == 0 && folderOf(op))
                return true;
            op->kind = Operand::Unknown;
            return accessors();
        }
        return false;
    }

private:
    // After "dirname": (__FILE__), (__DIR__) or (dirname(...)), with an
    // optional level count.
    bool folderOf(Operand *op)
    {
        const qsizetype from = i;
        int levels = 0;
        if (dirnameArguments(&levels) && levels >= 0) {
            op->kind = Operand::Folder;
            op->levels = levels;
            return true;
        }
        i = from;
        return false;
    }
    // `levels`: folders above the file's own; the file itself is -1.
    bool dirnameArguments(int *levels)
    {
        if (!take(QLatin1Char('(')))
            return false;
        skipSpace();
        const QString of = name();
        if (of == QLatin1String("__FILE__")) {
            *levels = -1;
        } else if (of == QLatin1String("__DIR__")) {
            *levels = 0;
        } else if (of.compare(QLatin1String("dirname"), Qt::CaseInsensitive) == 0) {
            if (!dirnameArguments(levels))
                return false;
        } else {
            return false;
        }
        int count = 1;
        if (take(QLatin1Char(','))) {
            skipSpace();
            const qsizetype start = i;
            while (peek().isDigit())
                ++i;
            count = s.mid(start, i - start).toInt();
        }
        if (count < 1 || !take(QLatin1Char(')')))
            return false;
        *levels += count;
        return true;
    }
    // Calls, member and element access, class constants after a name.
    bool accessors()
    {
        for (;;) {
            const QChar c = peek();
            if (c == QLatin1Char('(')) {
                if (!skipBracketed(QLatin1Char('('), QLatin1Char(')')))
                    return false;
            } else if (c == QLatin1Char('[')) {
                if (!skipBracketed(QLatin1Char('['), QLatin1Char(']')))
                    return false;
            } else if (c == QLatin1Char('-') && peek(1) == QLatin1Char('>')) {
                i += 2;
                if (name().isEmpty())
                    return false;
            } else if (c == QLatin1Char(':') && peek(1) == QLatin1Char(':')) {
                i += 2;
                if (peek() == QLatin1Char('$'))
                    ++i;
                if (name().isEmpty())
                    return false;
            } else {
                return true;
            }
        }
    }

    QStringView s;

public:
    qsizetype i = 0;
};

} // namespace

IncludeTarget IncludeTarget::parse(QStringView line)
{
    static const QRegularExpression keyword(QStringLiteral("\\b(include_once|include|require_once|require)\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = keyword.match(line.toString());
    if (!match.hasMatch())
        return IncludeTarget();
    const QStringView rest = line.mid(match.capturedEnd());
    // Parentheses round the whole path are the usual way of writing it;
    // read without that, they make an operand of their own.
    QList<Reader::Operand> ops;
    bool read = false;
    for (const bool parenthesised : {true, false}) {
        Reader r(rest);
        if (parenthesised && !r.take(QLatin1Char('(')))
            continue;
        ops.clear();
        bool ok = true;
        do {
            Reader::Operand op{Reader::Operand::Unknown, QString(), 0};
            ok = r.operand(&op);
            ops.append(op);
        } while (ok && r.take(QLatin1Char('.')));
        if (!ok || (parenthesised && !r.take(QLatin1Char(')'))))
            continue;
        r.skipSpace();
        // The statement ends: ";", "?>", or the parenthesis of a condition.
        if (r.atEnd() || r.peek() == QLatin1Char(';') || r.peek() == QLatin1Char(')')
            || (r.peek() == QLatin1Char('?') && r.peek(1) == QLatin1Char('>'))) {
            read = true;
            break;
        }
    }
    if (!read)
        return IncludeTarget();

    // The literal text after the last operand that is not one.
    qsizetype firstLiteral = ops.size();
    while (firstLiteral > 0 && ops[firstLiteral - 1].kind == Reader::Operand::Literal)
        --firstLiteral;
    QString tail;
    for (qsizetype k = firstLiteral; k < ops.size(); ++k)
        tail += ops[k].text;

    IncludeTarget target;
    if (firstLiteral == 0) {
        target.kind = Plain;
        target.path = tail;
    } else if (firstLiteral == 1 && ops[0].kind == Reader::Operand::Folder) {
        target.kind = InFolder;
        target.path = tail;
        target.levelsUp = ops[0].levels;
    } else {
        // Only a file name tells files apart: ".php" alone would match most.
        const QString file = tail.section(QLatin1Char('/'), -1);
        if (file.isEmpty() || file.startsWith(QLatin1Char('.')))
            return IncludeTarget();
        target.kind = Suffix;
        target.path = tail;
    }
    if (target.path.isEmpty())
        return IncludeTarget();
    return target;
}

QString IncludeTarget::resolve(const QString &fileDir) const
{
    QString dir = fileDir;
    for (int k = 0; k < levelsUp; ++k)
        dir = QDir::cleanPath(dir + QStringLiteral("/.."));
    return QDir::cleanPath(dir + path);
}

QStringList IncludeTarget::matches(const QStringList &files) const
{
    QString end = QDir::cleanPath(path);
    while (end.startsWith(QLatin1String("./")))
        end.remove(0, 2);
    if (!end.startsWith(QLatin1Char('/')))
        end.prepend(QLatin1Char('/'));
    QStringList found;
    for (const QString &file : files) {
        if (file.endsWith(end) && !found.contains(file))
            found.append(file);
    }
    return found;
}

} // namespace ov
