#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "editor/core/journal.h"
#include "editor/core/originallines.h"
#include "editor/core/textfile.h"

namespace ov {

// A document's file on disk as the editor last read or wrote it: how it was
// encoded and ended its lines, the lines as they were (so that a save keeps
// the tabs of lines not edited), and a stamp of its bytes, to tell when
// another program changed the file since.
class DocumentFile
{
public:
    enum DiskState { DiskUnchanged, DiskChanged, DiskMissing };

    // Takes in the bytes read from `path`; returns their text as stored
    // (tabs not yet expanded).
    QString read(const QString &path, const QByteArray &bytes);
    // The file as read earlier: its stamp is the one to protect, whatever
    // the file holds now.
    void setReadStamp(qint64 size, const QDateTime &modified);
    // Encodes the text a save writes (see textForDisk) and writes it
    // atomically to `path` in `*written`'s format, which a character it
    // cannot hold turns into UTF-8. False with `error` when not written.
    bool write(const QString &path, const QString &text, TextFormat *written, QString *error);

    // The text to write from the document's text: lines not changed since
    // the file was read or written keep their tabs.
    QString textForDisk(const QString &documentText) const;
    // Whether the file at `path` changed since; a new time stamp over the
    // same bytes is no change. `digest`, if given, receives a digest of
    // what the file holds now.
    DiskState check(const QString &path, QByteArray *digest = nullptr);
    // The file at `path` was found to hold the same bytes under a new size
    // or time stamp, by a look made elsewhere: the next check is cheap.
    void touched(const QString &path, qint64 size, const QDateTime &modified);
    // The file moved with its content: the watched path follows.
    void rename(const QString &path);

    TextFormat format() const { return textFormat; }
    void setFormat(const TextFormat &format) { textFormat = format; }
    // False until the file was read.
    bool isLoaded() const { return loaded; }
    DiskStamp stamp() const { return {size, modified.toMSecsSinceEpoch(), digest}; }
    // The digest of a stamp, for a look at the file made elsewhere.
    static QByteArray digestOf(const QByteArray &bytes);

private:
    void record(const QString &path, const QByteArray &bytes);

    TextFormat textFormat;
    bool loaded = false;
    OriginalLines originalLines;
    QString path;
    QByteArray digest;
    qint64 size = -1;
    QDateTime modified;
};

} // namespace ov
