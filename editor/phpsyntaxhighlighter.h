#pragma once

#include <QSyntaxHighlighter>

namespace ov {

// Colours the PHP regions of a document. (Stub: rules come with the highlighter work.)
class PHPSyntaxHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    explicit PHPSyntaxHighlighter(QTextDocument *parent = nullptr);

protected:
    void highlightBlock(const QString &text) override;
};

} // namespace ov
