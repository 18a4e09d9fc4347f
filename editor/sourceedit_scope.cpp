// Bracket matching around the cursor.
#include "editor/sourceedit.h"

#include <QFont>

#include "editor/core/scopefinder.h"
#include "editor/longlinelayout.h"

namespace ov {

namespace {

void selectCharacter(QTextEdit::ExtraSelection &sel, QTextDocument *doc, int at)
{
    sel.cursor = LongLineLayout::placedCursor(doc, at, at + 1);
}

void selectNothing(QTextEdit::ExtraSelection &sel, QTextDocument *doc, int at)
{
    sel.cursor = LongLineLayout::placedCursor(doc, at, at);
}

// Formats are changed in place: properties set earlier stay until set again.
void markFound(QTextEdit::ExtraSelection &sel, const QColor &background)
{
    sel.format.setForeground(QColor(Qt::darkRed));
    sel.format.setBackground(background);
    sel.format.setFontWeight(QFont::Black);
}

void markMissing(QTextEdit::ExtraSelection &sel)
{
    sel.format.setForeground(QColor(Qt::black));
    sel.format.setFontWeight(QFont::Black);
}

} // namespace

ScopeFinder *SourceEdit::scopeIndex()
{
    if (!scopeFinder || scopeFinder->document() != document()) {
        delete scopeFinder;
        scopeFinder = new ScopeFinder(document(), this);
    }
    return scopeFinder;
}

int SourceEdit::findScopeForCursor(int pos, int &scopeStart, int &scopeEnd, int scopeType)
{
    return scopeIndex()->find(pos, scopeStart, scopeEnd, scopeType);
}

int SourceEdit::findScopeTypeForCursor(int pos, int &startScope, int &endScope, int &scopeType)
{
    return scopeIndex()->findInnermost(pos, startScope, endScope, scopeType);
}

void SourceEdit::getScope(QTextEdit::ExtraSelection &start, QTextEdit::ExtraSelection &end)
{
    start = scopeStartSelection;
    end = scopeEndSelection;
}

void SourceEdit::updateScopeSelections()
{
    const int pos = textCursor().position();
    int start, end, type;
    QTextDocument *doc = document();
    switch (findScopeTypeForCursor(pos, start, end, type)) {
    case ScopeFound:
        selectCharacter(scopeStartSelection, doc, start);
        selectCharacter(scopeEndSelection, doc, end);
        markFound(scopeStartSelection, Qt::lightGray);
        markFound(scopeEndSelection, Qt::lightGray);
        break;
    case ScopeNoStart:
        selectNothing(scopeStartSelection, doc, pos);
        markMissing(scopeStartSelection);
        selectCharacter(scopeEndSelection, doc, end);
        markFound(scopeEndSelection, Qt::yellow);
        break;
    case ScopeNoEnd:
        selectCharacter(scopeStartSelection, doc, start);
        markFound(scopeStartSelection, Qt::yellow);
        selectNothing(scopeEndSelection, doc, pos);
        markMissing(scopeEndSelection);
        break;
    case ScopeNone:
        selectNothing(scopeStartSelection, doc, pos);
        selectNothing(scopeEndSelection, doc, pos);
        markMissing(scopeStartSelection);
        markMissing(scopeEndSelection);
        break;
    default:   // at the very start or end: the marks stay
        break;
    }
}

} // namespace ov
