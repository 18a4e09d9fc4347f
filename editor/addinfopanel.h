#pragma once

#include <QList>
#include <QTextBlockUserData>
#include <QWidget>

class QTextBlock;
class QTextDocument;

namespace ov {

class SourceEdit;

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

// The editor's gutter: line numbers and bookmark icons. Its editor does the
// painting and handles the clicks, since it knows the document's geometry.
class AddInfoPanel : public QWidget
{
    Q_OBJECT

public:
    explicit AddInfoPanel(SourceEdit *editor);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    SourceEdit *editor = nullptr;
};

} // namespace ov
