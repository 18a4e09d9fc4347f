#pragma once

#include <QFutureWatcher>
#include <QPromise>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

#include "search/core/findentry.h"
#include "search/core/textsearch.h"

namespace ov {

// One file to search: an open editor's text, or the file on disk.
struct SearchSource {
    QString fileName;
    QString text;      // the editor's raw text when `open`
    bool open = false;
};

// Files larger than this are not searched: they cannot be edited either.
constexpr qint64 MaxSearchedFileSize = qint64(128) * 1024 * 1024;

// Reads a regular file of at most MaxSearchedFileSize bytes whole; false
// for anything else (missing, a folder, a pipe, unreadable, too large).
bool readRegularFile(const QString &fileName, QByteArray *buffer);

// Reads a file as the editor would hold it and lists every hit; false when
// the file cannot be read (missing, a folder, unreadable, too large).
bool searchFile(const SearchSource &source, const TextMatcher &matcher, QList<FindEntry> *entries,
                qsizetype maxHits = -1);

class Workers;

// "Find All" over a list of files on the application's workers. The hits
// come back through found() in file order, in batches, then finished().
// The work holds copies of its inputs only; cancelling or deleting the
// object tells it to stop and returns at once, and nothing of it is
// reported after.
class FileSearch : public QObject
{
    Q_OBJECT

public:
    // `workers` null: the application's.
    FileSearch(QList<SearchSource> sources, TextMatcher matcher, QObject *parent = nullptr,
               Workers *workers = nullptr);
    ~FileSearch() override;

    void start();
    void cancel();

Q_SIGNALS:
    void found(const QList<ov::FindEntry> &entries);
    void finished();

private:
    struct Inputs;
    static void run(QPromise<QList<FindEntry>> &promise, const std::shared_ptr<Inputs> &inputs);

    std::shared_ptr<Inputs> inputs;
    Workers *workers;
    QFutureWatcher<QList<FindEntry>> watcher;
    bool cancelled = false;
};

} // namespace ov
