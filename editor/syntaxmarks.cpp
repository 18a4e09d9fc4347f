#include "editor/syntaxmarks.h"

#include <QHelpEvent>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>

#include "editor/sourceedit.h"

namespace ov {

SyntaxMarks::SyntaxMarks(SourceEdit *editor, QWidget *gutter)
    : QObject(editor), editor(editor), gutter(gutter)
{
    gutter->installEventFilter(this);
}

void SyntaxMarks::set(const QList<QPair<int, QString>> &lines, quint64 checkId)
{
    marks.clear();
    id = checkId;
    QTextDocument *document = editor->document();
    for (const auto &line : lines) {
        const QTextBlock block = document->findBlockByNumber(line.first - 1);
        if (line.first < 1 || !block.isValid())
            continue;
        marks.append({QTextCursor(block), line.second});
    }
    gutter->update();
}

QList<int> SyntaxMarks::lines() const
{
    QList<int> result;
    for (const Mark &mark : marks)
        result.append(mark.cursor.blockNumber());
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

QString SyntaxMarks::messageAt(const QTextBlock &block) const
{
    QStringList messages;
    for (const Mark &mark : marks) {
        // A line removed since takes its mark to the line it merged into.
        if (mark.cursor.block() == block)
            messages.append(mark.message);
    }
    return messages.join(QLatin1Char('\n'));
}

void SyntaxMarks::paint(QPainter &painter, const QTextBlock &block, const QRect &row) const
{
    const auto onLine = [&block](const Mark &mark) { return mark.cursor.block() == block; };
    if (std::none_of(marks.cbegin(), marks.cend(), onLine))
        return;
    painter.save();
    painter.fillRect(row, QColor(255, 200, 200));
    painter.fillRect(QRect(row.left(), row.top(), 3, row.height()), QColor(220, 0, 0));
    painter.restore();
}

bool SyntaxMarks::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != gutter || event->type() != QEvent::ToolTip || marks.isEmpty())
        return QObject::eventFilter(watched, event);
    auto *help = static_cast<QHelpEvent *>(event);
    const QString message = messageAt(editor->addInfoPanelBlockAt(help->pos()));
    if (message.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), message, gutter);
    return true;
}

} // namespace ov
