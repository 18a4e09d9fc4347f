#include "search/core/filesearch.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include "editor/core/textfile.h"

namespace ov {

bool searchFile(const SearchSource &source, const TextMatcher &matcher, QList<FindEntry> *entries, qsizetype maxHits)
{
    if (source.open) {
        *entries = matcher.findAll(source.fileName, source.text, maxHits);
        return true;
    }
    const QFileInfo info(source.fileName);
    if (!info.isFile() || info.size() > MaxSearchedFileSize)
        return false;
    QByteArray bytes;
    if (!readFileBytes(source.fileName, &bytes, nullptr))
        return false;
    *entries = matcher.findAllInBytes(source.fileName, bytes, maxHits);
    return true;
}

FileSearch::FileSearch(QList<SearchSource> sources, TextMatcher matcher, QObject *parent)
    : QObject(parent), sources(std::move(sources)), matcher(std::move(matcher))
{
    registerFindEntryType();
}

FileSearch::~FileSearch()
{
    cancel();
    future.waitForFinished();
}

void FileSearch::start()
{
    future = QtConcurrent::run([this] { run(); });
}

void FileSearch::cancel()
{
    cancelled = true;
}

void FileSearch::run()
{
    // Batches keep the queue short without holding hits back for long.
    constexpr qsizetype BatchSize = 2000;
    constexpr qint64 BatchMs = 50;
    QList<FindEntry> batch;
    QElapsedTimer sinceSent;
    sinceSent.start();
    for (const SearchSource &source : std::as_const(sources)) {
        if (cancelled)
            return;
        QList<FindEntry> entries;
        if (!searchFile(source, matcher, &entries))
            continue;
        batch.append(std::move(entries));
        if (batch.size() >= BatchSize || (!batch.isEmpty() && sinceSent.elapsed() >= BatchMs)) {
            Q_EMIT found(batch);
            batch.clear();
            sinceSent.restart();
        }
    }
    if (cancelled)
        return;
    if (!batch.isEmpty())
        Q_EMIT found(batch);
    Q_EMIT finished();
}

} // namespace ov
