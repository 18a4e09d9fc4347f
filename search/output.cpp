#include "search/output.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace ov {

Output::Output(QWidget *parent)
    : QListWidget(parent),
      errorIcon(QStringLiteral(":/icons/silk/exclamation.png")),
      noteIcon(QStringLiteral(":/icons/silk/information.png"))
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    menu = new QMenu(this);
    menu->addAction(QStringLiteral("Copy"), this, &Output::copySelection);
    menu->addAction(QStringLiteral("Clear"), this, &QListWidget::clear);
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        const QString fileName = item->data(FileNameRole).toString();
        if (!fileName.isEmpty())
            Q_EMIT locationActivated(fileName, item->data(LineRole).toInt());
    });
}

int Output::lowerBound(const QString &fileName) const
{
    // Notes carry no file name, so they sort first.
    int low = 0;
    int high = count();
    while (low < high) {
        const int mid = (low + high) / 2;
        if (item(mid)->data(FileNameRole).toString() < fileName)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

void Output::setFileErrors(const QString &fileName, const QList<SyntaxError> &errors)
{
    if (fileName.isEmpty())
        return;
    int row = lowerBound(fileName);
    while (row < count() && item(row)->data(FileNameRole).toString() == fileName)
        delete takeItem(row);
    QList<SyntaxError> sorted = errors;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SyntaxError &a, const SyntaxError &b) { return a.line < b.line; });
    for (const SyntaxError &error : std::as_const(sorted)) {
        auto *line = new QListWidgetItem(errorIcon, error.text());
        line->setData(FileNameRole, fileName);
        line->setData(LineRole, error.line);
        line->setToolTip(error.message);
        insertItem(row++, line);
    }
}

void Output::addNote(const QString &text)
{
    auto *line = new QListWidgetItem(noteIcon, text);
    line->setToolTip(text);
    int row = 0;
    while (row < count() && item(row)->data(FileNameRole).toString().isEmpty())
        ++row;
    insertItem(row, line);
}

QString Output::selectedText() const
{
    QStringList lines;
    for (int row = 0; row < count(); ++row) {
        if (item(row)->isSelected())
            lines.append(item(row)->text());
    }
    if (lines.isEmpty() && currentItem())
        lines.append(currentItem()->text());
    return lines.join(QLatin1Char('\n'));
}

void Output::copySelection()
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void Output::contextMenuEvent(QContextMenuEvent *event)
{
    const QList<QAction *> actions = menu->actions();
    actions.at(0)->setEnabled(count() > 0);
    actions.at(1)->setEnabled(count() > 0);
    menu->popup(event->globalPos());
}

void Output::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace ov
