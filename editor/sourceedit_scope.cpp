// Bracket matching around the cursor.
#include "editor/sourceedit.h"

namespace ov {

int SourceEdit::findScopeForCursor(int, int &scopeStart, int &scopeEnd, int)
{
    scopeStart = scopeEnd = -1;
    return -1;
}

int SourceEdit::findScopeTypeForCursor(int, int &startScope, int &endScope, int &scopeType)
{
    startScope = endScope = -1;
    scopeType = 0;
    return -1;
}

void SourceEdit::getScope(QTextEdit::ExtraSelection &start, QTextEdit::ExtraSelection &end)
{
    start = scopeStartSelection;
    end = scopeEndSelection;
}

void SourceEdit::updateScopeSelections() {}

} // namespace ov
