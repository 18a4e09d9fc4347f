#pragma once

#include <QObject>
#include <QPointF>
#include <QRect>
#include <QTextCursor>
#include <QVariant>

class QKeyEvent;
class QMouseEvent;
class QTextBlock;
class QTimer;

namespace ov {

class LongLineLayout;
class SourceEdit;

// One editor's path for lines over LongLineLayout::Limit characters, which
// the text engine never lays out (see LongLineLayout). Keys, clicks, the
// cursor's place, the word at a position and the painting of such lines
// are worked out here from the character grid, in time that does not grow
// with the line. On other lines each answer is the base editor's.
class LongLineView : public QObject
{
    Q_OBJECT

public:
    explicit LongLineView(SourceEdit *editor);

    // Gives the editor a document laid out by LongLineLayout.
    void install();
    LongLineLayout *layout() const;
    bool cursorInLongLine() const;

    QRect cursorRect() const;
    QRect cursorRect(const QTextCursor &cursor) const;
    QTextCursor cursorForPosition(const QPoint &pos) const;
    void centerCursor();
    // The word at or just before `cursor`, selected.
    QTextCursor wordUnderCursor(QTextCursor cursor) const;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const;
    // The base editor places the cursor; in a long line the view then
    // follows it from where it was.
    void doSetTextCursor(const QTextCursor &cursor);

    // True when the key or mouse event was taken.
    bool handleKey(QKeyEvent *e);
    bool handleMouse(QMouseEvent *e);
    // To `position` without asking the line's layout for the cursor's x.
    void moveTo(int position, QTextCursor::MoveMode mode);
    // In a long line the bracket marks follow once the cursor rests:
    // finding them there copies and sums up the line.
    void scheduleScopeMarks();
    // Draws the part of a long line that lies in `clip`.
    void paint(const QTextBlock &block, const QPointF &at, const QRect &clip);

protected:
    // The text control's cursor blink, held off in a long line.
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    // Position under a viewport point when it lies on a long line, else -1.
    int positionAt(const QPoint &pos) const;
    void scrollToCursor();
    // Text of the document between two positions, without copying the line.
    QString textBetween(int from, int to) const;

    SourceEdit *editor = nullptr;
    bool drag = false;
    QTimer *scopeMarkTimer = nullptr;
    // Where the last character typed into a long line left the cursor.
    int lastTypedEnd = -1;
    int lastTypedRevision = -1;
    QObject *textControl = nullptr;
};

} // namespace ov
