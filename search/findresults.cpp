#include "search/findresults.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStyle>
#include <QStyleFactory>
#include <QTextBlock>

#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "host/host.h"
#include "search/core/filesearch.h"

namespace ov {

namespace {

// Longer lines show an excerpt around the hit: a minified file can hold
// thousands of hits on one line of megabytes.
constexpr qsizetype LongLine = 1000;
constexpr qsizetype ExcerptLead = 200;
// One slice of tree growth between two turns of the event loop.
constexpr qint64 SliceMs = 25;
constexpr qsizetype RunLength = 1000;
constexpr qsizetype ExpandedHits = 5000;

} // namespace

FindResults::FindResults(QMainWindow *mainWindow, QWidget *parent)
    : QTreeWidget(parent),
      mainWindow(mainWindow),
      fileIcon(QStringLiteral(":/icons/silk/page_find.png")),
      hitIcon(QStringLiteral(":/icons/silk/page_go.png"))
{
    registerFindEntryType();
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        fusion->setParent(this);
        setStyle(fusion);
    }
    fileFont = font();
    fileFont.setWeight(QFont::Bold);
    insertTimer.setSingleShot(true);
    insertTimer.setInterval(0);
    connect(&insertTimer, &QTimer::timeout, this, &FindResults::insertQueued);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &FindResults::_itemDoubleClicked);
}

QString FindResults::hitText(const FindEntry &entry)
{
    QString text = QFileInfo(entry.fileName).fileName() + QStringLiteral(" (%1): ").arg(entry.lineNumber);
    const QString &line = entry.lineText;
    if (line.size() <= LongLine)
        return text + line;
    const qsizetype from = qBound<qsizetype>(0, entry.startColumn - ExcerptLead, line.size() - LongLine);
    if (from > 0)
        text += QChar(0x2026);
    text += QStringView(line).mid(from, LongLine);
    if (from + LongLine < line.size())
        text += QChar(0x2026);
    return text;
}

QTreeWidgetItem *FindResults::fileItem(const QString &fileName)
{
    // The inherited clear() may have emptied the tree behind our back.
    if (topLevelItemCount() == 0) {
        fileItems.clear();
        hitCount = 0;
    }
    if (QTreeWidgetItem *item = fileItems.value(fileName))
        return item;
    auto *item = new QTreeWidgetItem;
    item->setText(0, fileName);
    item->setData(0, FileNameRole, fileName);
    item->setIcon(0, fileIcon);
    item->setFont(0, fileFont);
    addTopLevelItem(item);
    // Open, so that the hits show without a click per file; past a few
    // thousand hits the groups stay closed, as an open tree of hundreds of
    // thousands of rows is laid out again with every slice added.
    if (hitCount < ExpandedHits)
        item->setExpanded(true);
    fileItems.insert(fileName, item);
    return item;
}

QTreeWidgetItem *FindResults::makeHitItem(const FindEntry &entry) const
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, hitText(entry));
    item->setData(0, EntryRole, QVariant::fromValue(entry));
    item->setIcon(0, hitIcon);
    return item;
}

void FindResults::updateFileText(QTreeWidgetItem *item) const
{
    item->setText(0, item->data(0, FileNameRole).toString()
                         + QStringLiteral(" (entries %1)").arg(item->childCount()));
}

void FindResults::addEntry(FindEntry entry)
{
    QTreeWidgetItem *file = fileItem(entry.fileName);
    file->addChild(makeHitItem(entry));
    ++hitCount;
    updateFileText(file);
}

void FindResults::clear()
{
    dropSearch();
    QTreeWidget::clear();
    fileItems.clear();
    hitCount = 0;
}

void FindResults::dropSearch()
{
    ++generation;
    delete search; // tells the worker to stop; its hits are dropped
    searchDone = true;
    filling = false;
    queue.clear();
    queueHead = 0;
    insertTimer.stop();
}

void FindResults::fill(FileSearch *newSearch)
{
    dropSearch();
    search = newSearch;
    search->setParent(this);
    searchDone = false;
    filling = true;
    // Batches already queued by a dropped search must not land here.
    const quint64 mine = generation;
    connect(search, &FileSearch::found, this, [this, mine](const QList<FindEntry> &entries) {
        if (mine == generation)
            queueEntries(entries);
    }, Qt::QueuedConnection);
    connect(search, &FileSearch::finished, this, [this, mine] {
        if (mine == generation)
            searchFinished();
    }, Qt::QueuedConnection);
    search->start();
}

bool FindResults::isFilling() const
{
    return filling;
}

void FindResults::queueEntries(const QList<FindEntry> &entries)
{
    queue.append(entries);
    if (!insertTimer.isActive())
        insertTimer.start();
}

void FindResults::searchFinished()
{
    searchDone = true;
    if (search)
        search->deleteLater();
    if (queueHead >= queue.size())
        insertQueued();
}

void FindResults::insertQueued()
{
    QElapsedTimer slice;
    slice.start();
    while (queueHead < queue.size() && slice.elapsed() < SliceMs) {
        // A run of hits of one file goes in at once.
        const QString &fileName = queue.at(queueHead).fileName;
        qsizetype end = queueHead + 1;
        while (end < queue.size() && end - queueHead < RunLength && queue.at(end).fileName == fileName)
            ++end;
        QList<QTreeWidgetItem *> items;
        items.reserve(end - queueHead);
        for (qsizetype i = queueHead; i < end; ++i)
            items.append(makeHitItem(queue.at(i)));
        QTreeWidgetItem *file = fileItem(fileName);
        file->addChildren(items);
        hitCount += items.size();
        updateFileText(file);
        queueHead = end;
    }
    if (queueHead < queue.size()) {
        insertTimer.start();
        return;
    }
    queue.clear();
    queueHead = 0;
    if (searchDone && filling) {
        filling = false;
        Q_EMIT filled();
    }
}

void FindResults::_itemDoubleClicked(QTreeWidgetItem *item, int)
{
    if (!item || !item->parent())
        return;
    const FindEntry entry = item->data(0, EntryRole).value<FindEntry>();
    Host *host = qobject_cast<Host *>(mainWindow);
    MainView *view = host ? host->mainView() : nullptr;
    if (!view || !view->addSource(entry.fileName))
        return;
    SourceEdit *editor = view->getSource(entry.fileName);
    if (!editor)
        return;
    // The document may have changed since the search: stay inside the line.
    const QTextBlock block = editor->document()->findBlockByNumber(entry.lineNumber - 1);
    if (!block.isValid())
        return;
    const int lineLength = block.length() - 1;
    const int p = block.position();
    editor->selectRange(p + qMin(entry.startColumn, lineLength), p + qMin(entry.endColumn, lineLength));
}

} // namespace ov
