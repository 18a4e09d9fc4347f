#include "editor/phpsyntaxhighlighter.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>

namespace ov {

PHPSyntaxHighlighter::PHPSyntaxHighlighter(QTextDocument *parent) : QSyntaxHighlighter(parent)
{
    // Variables and tags take the application's font as a whole, not the
    // editor's, so they stand out in family and size too.
    QFont boldDefault = QGuiApplication::font();
    boldDefault.setWeight(QFont::Bold);

    keywordFormat.setForeground(Qt::blue);
    keywordFormat.setFontWeight(QFont::Bold);

    variableFormat.setForeground(QColor(Qt::darkGray).darker(200));
    variableFormat.setFont(boldDefault);

    lineCommentFormat.setForeground(Qt::darkGreen);
    blockCommentFormat.setForeground(Qt::darkGreen);
    stringFormat.setForeground(Qt::darkRed);

    tagFormat.setForeground(Qt::red);
    tagFormat.setFont(boldDefault);
}

QTextCharFormat PHPSyntaxHighlighter::formatFor(PhpFormat kind) const
{
    switch (kind) {
    case PhpFormat::Tag: return tagFormat;
    case PhpFormat::Keyword: return keywordFormat;
    case PhpFormat::Variable: return variableFormat;
    case PhpFormat::LineComment: return lineCommentFormat;
    case PhpFormat::BlockComment: return blockCommentFormat;
    case PhpFormat::String: return stringFormat;
    case PhpFormat::Plain: break;
    }
    return QTextCharFormat();
}

void PHPSyntaxHighlighter::highlightBlock(const QString &text)
{
    const int state = PhpHighlightEngine::highlightLine(text, previousBlockState(), &lineFormats);
    for (const PhpSpan &span : PhpHighlightEngine::spans(lineFormats))
        setFormat(span.start, span.length, formatFor(span.format));
    setCurrentBlockState(state);
}

} // namespace ov
