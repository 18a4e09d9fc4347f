// The editing keys and line commands of the source editor (see EditingKeys).
#include "editor/sourceedit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>

#include "editor/longlineview.h"

namespace ov {

namespace {

// A modifier pressed on its own, a dead key, or any key that brings no
// text and no command: on a real keyboard these come between the keys
// that type, so they must leave the closer rules as they stand.
bool typesNothing(const QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
    case Qt::Key_Multi_key:
    case Qt::Key_Codeinput:
    case Qt::Key_unknown:
    case 0:
        return true;
    default:
        return e->key() >= Qt::Key_Dead_Grave && e->key() <= Qt::Key_Dead_Longsolidusoverlay;
    }
}

// True when only Shift (and the keypad flag) may be held.
bool atMostShift(const QKeyEvent *e)
{
    return !(e->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
}

} // namespace

// ---------------------------------------------------------- line commands

void SourceEdit::indent()
{
    QTextCursor cursor = textCursor();
    EditingKeys::indent(cursor);
    setTextCursor(cursor);
}

void SourceEdit::unindent()
{
    QTextCursor cursor = textCursor();
    EditingKeys::unindent(cursor);
    setTextCursor(cursor);
}

void SourceEdit::comment()
{
    QTextCursor cursor = textCursor();
    EditingKeys::comment(cursor);
    setTextCursor(cursor);
}

void SourceEdit::uncomment()
{
    QTextCursor cursor = textCursor();
    EditingKeys::uncomment(cursor);
    setTextCursor(cursor);
}

void SourceEdit::paste2()
{
    if (isReadOnly())
        return;
    // With no clipboard owner there may be no data at all, and an image
    // has no text: then there is nothing to paste.
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QMimeData *data = clipboard->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return;
    QString text = data->text();
    if (text.isEmpty())
        return;
    // Only rewrite when needed: setText drops the clipboard's other formats.
    if (text.contains(QLatin1Char('\t'))) {
        text.replace(QLatin1Char('\t'), EditingKeys::IndentUnit);
        clipboard->setText(text, QClipboard::Clipboard);
    }
    // The text read is the text inserted: the clipboard is not asked again,
    // so a change of owner in between cannot hand the editor nothing.
    QMimeData pasted;
    pasted.setText(text);
    insertFromMimeData(&pasted);
}

// ----------------------------------------------------------- editing keys

void SourceEdit::keyPressEvent(QKeyEvent *e)
{
    if (typesNothing(e)) {
        // Neither the closer rules nor the completion popup change.
        QPlainTextEdit::keyPressEvent(e);
        return;
    }
    if (completerTakesKey(e))
        return;
    const bool shortcut = (e->modifiers() & Qt::ControlModifier) && e->key() == Qt::Key_Space;
    if (!shortcut)
        handleEditingKey(e);
    updateCompletionPopup(e, shortcut);
}

void SourceEdit::inputMethodEvent(QInputMethodEvent *e)
{
    const QString commit = e->commitString();
    if (e->preeditString().isEmpty() && e->replacementLength() == 0 && commit.size() == 1
        && QStringLiteral("\"'()[]{}").contains(commit) && !isReadOnly()) {
        QKeyEvent typed(QEvent::KeyPress, commit.at(0).unicode(), Qt::NoModifier, commit);
        keyPressEvent(&typed);
        e->accept();
        return;
    }
    QPlainTextEdit::inputMethodEvent(e);
}

void SourceEdit::handleEditingKey(QKeyEvent *e)
{
    editingKeys.prunePendingPairs(textCursor().position());
    if (longLines->handleKey(e))
        return;
    if (handleMovementKey(e))
        return;
    // The keys write through cursors, which a read-only editor would not stop.
    if (!isReadOnly()) {
        QTextCursor cursor = textCursor();
        if (editingKeys.handleKey(e, cursor))
            return;
    }
    editingKeys.clearPendingClosers();
    if (e->key() == Qt::Key_Y && (e->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        redo(); // the other usual key for it
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        // The keyboard pastes like the menu: tabs become spaces.
        paste2();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

// Home, End, Insert and word moves.
bool SourceEdit::handleMovementKey(QKeyEvent *e)
{
    if (handleVariableWordMove(e))
        return true;
    const QTextCursor::MoveMode mode =
        e->modifiers() & Qt::ShiftModifier ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    if (e->key() == Qt::Key_Home && atMostShift(e)) {
        moveCursorTo(EditingKeys::homeTarget(textCursor().block(), textCursor().position()), mode);
        return true;
    }
    if (e->key() == Qt::Key_End && atMostShift(e)) {
        moveCursorTo(EditingKeys::endTarget(textCursor().block(), textCursor().position()), mode);
        return true;
    }
    if (e->key() == Qt::Key_Insert && !(e->modifiers() & ~Qt::KeypadModifier)) {
        setOverwrite(!overwriteMode());
        return true;
    }
    return false;
}

void SourceEdit::moveCursorTo(int position, QTextCursor::MoveMode mode)
{
    if (cursorInLongLine()) {
        longLines->moveTo(position, mode);
        return;
    }
    QTextCursor cursor = textCursor();
    cursor.setPosition(position, mode);
    setTextCursor(cursor);
}

} // namespace ov
