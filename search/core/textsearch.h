#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include "search/core/findentry.h"

namespace ov {

// The characters that end a line (a text block) in the editor's documents:
// a hit never spans one. An editor's raw text separates its lines with
// U+2029; a file's text with '\n'.
bool isLineSeparator(QChar c);

// Whether every byte is below 128: such bytes are searched as they are.
bool isAscii(QByteArrayView bytes);

// Plain-text matching exactly as the editor's document search does it:
// letters compare regardless of case unless matchCase; with matchWord a hit
// counts only when neither the character before nor the one after it (in
// the same line) is a letter or digit; a rejected candidate resumes the
// search one character past its end. A no-break space in the text matches a
// blank in the search text. An empty search text finds nothing.
class TextMatcher
{
public:
    TextMatcher() = default; // finds nothing
    TextMatcher(const QString &text, bool matchCase, bool matchWord);

    const QString &text() const { return needle; }
    bool matchCase() const { return cs == Qt::CaseSensitive; }
    bool matchWord() const { return wholeWord; }
    qsizetype length() const { return needle.size(); }
    bool findsNothing() const { return never; }

    // The text to match against, for a document's text (its lines
    // separated by isLineSeparator characters). Shares `text` when it can.
    QString prepare(const QString &text) const;

    // Start of the first hit at or after `from` in prepared text, or -1.
    // `before`, when given, stands for the character just before `from`:
    // a Replace All continues after inserted text the original lacks.
    qsizetype indexIn(QStringView prepared, qsizetype from, const QChar *before = nullptr) const;

    // "Find Next" in one document: search from `from`, then once more from
    // the start. With the recorded start position S, a hit is kept when the
    // search began at or after S or the hit ends before S, so stepping stops
    // once it comes back around to S. Returns the hit's start or -1.
    qsizetype nextValid(QStringView prepared, qsizetype from, qsizetype cursorPosition,
                        qsizetype startPosition) const;

    // Every hit of a document's text in order, as result entries.
    QList<FindEntry> findAll(const QString &fileName, const QString &text, qsizetype maxHits = -1) const;

    // Every hit of a file's bytes as an editor would hold them (decoded,
    // carriage returns removed, tabs as four spaces). Plain ASCII files are
    // searched in their bytes, with the same hits, columns and lines.
    QList<FindEntry> findAllInBytes(const QString &fileName, const QByteArray &bytes,
                                    qsizetype maxHits = -1) const;

    // Replace All in prepared text: the starts, in the original text, of
    // the hits that replacing each by `replacement` in turn (searching on
    // after the inserted text) meets.
    QList<qsizetype> replaceAllHits(QStringView prepared, const QString &replacement) const;

private:
    // The first place at or after `from` where the search text matches, as
    // QStringView::indexOf finds it.
    qsizetype find(QStringView text, qsizetype from) const;
    bool isWholeWord(QStringView text, qsizetype start, const QChar *before, qsizetype from) const;
    bool asciiSearchable() const;
    QList<FindEntry> findAllInAscii(const QString &fileName, QByteArrayView bytes, qsizetype maxHits) const;

    QString needle;
    Qt::CaseSensitivity cs = Qt::CaseInsensitive;
    bool wholeWord = false;
    bool never = true;
    bool hasBlank = false;
    // For plain ASCII search texts: the folded needle.
    bool asciiNeedle = false;
    QByteArray foldedNeedle;
    unsigned char fold[256] = {};
};

} // namespace ov
