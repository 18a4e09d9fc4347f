#pragma once

#include <QList>
#include <QTextBlock>
#include <QTextBlockUserData>
#include <QWidget>

class QTextDocument;

namespace ov {

class SourceEdit;
class SyntaxMarks;

// Marks a line as bookmarked. Attached to a block it is owned by the
// document; once created it is reused (toggled), never removed, so the flag
// travels with its line as the text is edited.
class BookmarkData : public QTextBlockUserData
{
public:
    explicit BookmarkData(bool bookmark = false) : bookmark(bookmark) {}

    bool bookmark = false;

    // The block's data, or null when it carries none of ours.
    static BookmarkData *of(const QTextBlock &block);
    static bool isSet(const QTextBlock &block);
    static void set(QTextBlock &block, bool bookmark);
    static void toggle(QTextBlock &block);

    // 0-based line numbers of the bookmarked lines, in document order.
    static QList<int> lines(const QTextDocument *document);
    // Bookmarks the given 0-based lines; numbers that match no line are skipped.
    static void mark(QTextDocument *document, const QList<int> &lines);
};

// The editor's gutter: line numbers, bookmark icons and syntax marks; a
// left click toggles the bookmark of its line. It reads the editor's line
// geometry, which only the editor's own classes may.
class AddInfoPanel : public QWidget
{
    Q_OBJECT

public:
    explicit AddInfoPanel(SourceEdit *editor);

    QSize sizeHint() const override;
    // Room for the widest line number and the bookmark column.
    int panelWidth() const;
    // Follows the editor's scrolling and repaints (its updateRequest).
    void followUpdate(const QRect &rect, int dy);
    // The line beside a point of the gutter; invalid below the last line.
    QTextBlock blockAt(const QPoint &pos) const;
    // The syntax errors marked here, created on first use.
    SyntaxMarks *syntaxMarks();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    // A point of the gutter in the editor's viewport.
    QPoint toViewport(const QPoint &pos) const;
    // Whether a viewport point lies on `block`'s line, not below the last.
    bool onLine(const QTextBlock &block, const QPoint &point) const;

    SourceEdit *editor = nullptr;
    SyntaxMarks *marks = nullptr;
};

} // namespace ov
