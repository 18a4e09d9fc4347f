#include "editor/addinfopanel.h"

#include <QTextBlock>
#include <QTextDocument>

#include "editor/sourceedit.h"

namespace ov {

BookmarkData *BookmarkData::of(const QTextBlock &block)
{
    // Another component may one day attach data of its own to a block.
    return dynamic_cast<BookmarkData *>(block.userData());
}

bool BookmarkData::isSet(const QTextBlock &block)
{
    const BookmarkData *data = of(block);
    return data && data->bookmark;
}

void BookmarkData::set(QTextBlock &block, bool bookmark)
{
    if (BookmarkData *data = of(block))
        data->bookmark = bookmark;
    else if (bookmark)
        block.setUserData(new BookmarkData(true));
}

void BookmarkData::toggle(QTextBlock &block)
{
    set(block, !isSet(block));
}

// The editor never wraps, so a line is a block and the project's line
// numbers are block numbers; counting blocks does not depend on layout.
QList<int> BookmarkData::lines(const QTextDocument *document)
{
    QList<int> result;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (isSet(block))
            result.append(block.blockNumber());
    }
    return result;
}

void BookmarkData::mark(QTextDocument *document, const QList<int> &lines)
{
    for (int line : lines) {
        if (line < 0)
            continue;
        QTextBlock block = document->findBlockByNumber(line);
        if (block.isValid())
            set(block, true);
    }
}

AddInfoPanel::AddInfoPanel(SourceEdit *editor)
    : QWidget(editor), editor(editor)
{
}

QSize AddInfoPanel::sizeHint() const
{
    return QSize(editor->addInfoPanelWidth(), 0);
}

void AddInfoPanel::paintEvent(QPaintEvent *event)
{
    editor->addInfoPanelPaintEvent(event);
}

void AddInfoPanel::mousePressEvent(QMouseEvent *event)
{
    editor->addInfoPanelMousePressEvent(event);
}

} // namespace ov
