#include "editor/phpsyntaxhighlighter.h"

namespace ov {

PHPSyntaxHighlighter::PHPSyntaxHighlighter(QTextDocument *parent) : QSyntaxHighlighter(parent) {}

void PHPSyntaxHighlighter::highlightBlock(const QString &) {}

} // namespace ov
