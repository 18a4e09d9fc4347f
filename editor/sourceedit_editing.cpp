// Gutter, line bookmarks and editing commands of the source editor.
#include "editor/sourceedit.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QTextBlock>

#include "editor/addinfopanel.h"

namespace ov {

int SourceEdit::addInfoPanelWidth() const
{
    int digits = 1;
    for (int n = qMax(1, blockCount()); n >= 10; n /= 10)
        ++digits;
    return digits * fontMetrics().horizontalAdvance(QLatin1Char('9')) + 30;
}

void SourceEdit::updateAddInfoPanelWidth(int)
{
    setViewportMargins(addInfoPanelWidth(), functionList->height(), 0, 0);
}

void SourceEdit::updateAddInfoPanel(const QRect &rect, int dy)
{
    if (dy)
        infoPanel->scroll(0, dy);
    else
        infoPanel->update(0, rect.y(), addInfoPanelWidth(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateAddInfoPanelWidth(0);
}

void SourceEdit::addInfoPanelPaintEvent(QPaintEvent *) {}
void SourceEdit::addInfoPanelMousePressEvent(QMouseEvent *) {}
void SourceEdit::syncBookmarks() {}
void SourceEdit::restoreBookmarks() {}
void SourceEdit::addBookmarkToCurrentLine() {}
void SourceEdit::removeBookmarkFromCurrentLine() {}
bool SourceEdit::hasBookmarkInCurrentLiane() { return false; }

void SourceEdit::paste2() { paste(); }
void SourceEdit::indent() {}
void SourceEdit::unindent() {}
void SourceEdit::comment() {}
void SourceEdit::uncomment() {}

void SourceEdit::keyPressEvent(QKeyEvent *e)
{
    if (completerTakesKey(e))
        return;
    const bool shortcut = (e->modifiers() & Qt::ControlModifier) && e->key() == Qt::Key_Space;
    if (!shortcut)
        handleEditingKey(e);
    updateCompletionPopup(e, shortcut);
}

void SourceEdit::handleEditingKey(QKeyEvent *e)
{
    QPlainTextEdit::keyPressEvent(e);
}

} // namespace ov
