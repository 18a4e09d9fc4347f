#include "search/core/filesearch.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <QtConcurrent/QtConcurrentRun>

#include "editor/core/textfile.h"
#include "search/core/searchlog.h"

namespace ov {

// `buffer`'s memory is reused from file to file: most files are read,
// searched and dropped.
bool readRegularFile(const QString &fileName, QByteArray *buffer)
{
#if defined(Q_OS_UNIX)
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // A project may list files deleted since: no failure.
        const int error = errno;
        if (error == ENOENT)
            qCDebug(lcSearch, "skipped %s: no such file", qUtf8Printable(fileName));
        else
            qCWarning(lcSearch, "cannot search %s: %s", qUtf8Printable(fileName), qUtf8Printable(qt_error_string(error)));
        return false;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxSearchedFileSize;
    if (!ok)
        qCDebug(lcSearch, "skipped %s: not a regular file or too large", qUtf8Printable(fileName));
    qsizetype size = 0;
    if (ok) {
        buffer->resize(qsizetype(st.st_size) + 1);
        for (;;) {
            if (size == buffer->size()) {
                // The file grew while we read it.
                if (size > MaxSearchedFileSize) {
                    ok = false;
                    break;
                }
                buffer->resize(size * 2);
            }
            const ssize_t got = ::read(fd, buffer->data() + size, size_t(buffer->size() - size));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            size += got;
        }
    }
    ::close(fd);
    buffer->resize(size);
    return ok;
#else
    const QFileInfo info(fileName);
    return info.isFile() && info.size() <= MaxSearchedFileSize && readFileBytes(fileName, buffer, nullptr);
#endif
}

bool searchFile(const SearchSource &source, const TextMatcher &matcher, QList<FindEntry> *entries, qsizetype maxHits)
{
    if (source.open) {
        *entries = matcher.findAll(source.fileName, source.text, maxHits);
        return true;
    }
    thread_local QByteArray buffer;
    if (!readRegularFile(source.fileName, &buffer)) {
        buffer.clear();
        return false;
    }
    *entries = matcher.findAllInBytes(source.fileName, buffer, maxHits);
    // A very large file's memory is not kept for the next one.
    if (buffer.capacity() > 16 * 1024 * 1024)
        buffer = QByteArray();
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
