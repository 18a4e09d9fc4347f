#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QVector>

#include "editor/core/phphighlightengine.h"

namespace ov {

// Colours the PHP regions of a document: tags, keywords, variables, strings
// and comments. The matching lives in PhpHighlightEngine; this class only
// turns its spans into formats.
class PHPSyntaxHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    explicit PHPSyntaxHighlighter(QTextDocument *parent = nullptr);

    // The format given to characters of this kind.
    QTextCharFormat formatFor(PhpFormat kind) const;

protected:
    void highlightBlock(const QString &text) override;

private:
    QTextCharFormat keywordFormat;
    QTextCharFormat variableFormat;
    QTextCharFormat lineCommentFormat;
    QTextCharFormat blockCommentFormat;
    QTextCharFormat stringFormat;
    QTextCharFormat tagFormat;
    QVector<PhpFormat> lineFormats;
};

} // namespace ov
