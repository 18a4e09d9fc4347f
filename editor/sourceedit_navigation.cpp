// Function list, completion, tool tips and the navigation context menu.
#include "editor/sourceedit.h"

#include <QContextMenuEvent>
#include <QMenu>

namespace ov {

void SourceEdit::updateFunctionList() {}
void SourceEdit::fillFunctionList() {}
void SourceEdit::updateCompletionWords() {}
void SourceEdit::goToFunction(QString) {}
void SourceEdit::insertCompletion(QString) {}
void SourceEdit::openIncludeFile() {}
void SourceEdit::goToDeclaration() {}
void SourceEdit::showCallGraph() {}

bool SourceEdit::completerTakesKey(QKeyEvent *) { return false; }
void SourceEdit::updateCompletionPopup(QKeyEvent *, bool) {}

bool SourceEdit::event(QEvent *e)
{
    return QPlainTextEdit::event(e);
}

void SourceEdit::contextMenuEvent(QContextMenuEvent *e)
{
    QPlainTextEdit::contextMenuEvent(e);
}

} // namespace ov
