#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "editor/core/textfile.h"

namespace ov {

// The bytes a document was loaded from, as they stood on disk.
struct DiskStamp {
    qint64 size = -1;
    qint64 modifiedMs = 0; // since the epoch, UTC
    QByteArray sha1;
};

struct JournalHeader {
    QString filePath; // absolute
    TextFormat format;
    DiskStamp base;
    qint64 startedMs = 0;
};

// One change of a document's raw text: `removed` characters at `position`
// replaced by `inserted`.
struct JournalEdit {
    qint64 position = 0;
    qint64 removed = 0;
    QString inserted;
};

// A journal of a document's unsaved changes. The file is a magic line and
// records, each `u32 length, u8 type, body, u32 CRC-32 of type and body`, all
// little-endian: first the header, then a snapshot of the raw text (what
// QTextDocument::toRawText() gives), then edits and bookmark lists appended
// as they happen. The header and first snapshot are written atomically, so
// only the tail can be cut short by a crash.
namespace journal {

QByteArray fileStart();
QByteArray headerRecord(const JournalHeader &header);
QByteArray snapshotRecord(const QString &text, qint64 timeMs);
QByteArray editRecord(const JournalEdit &edit, qint64 timeMs);
QByteArray bookmarksRecord(const QList<int> &lines, qint64 timeMs);

// A journal file that starts whole and then grows by appends.
class Writer
{
public:
    Writer() = default;
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Replaces `path` atomically by a journal holding `header`, `text` and
    // `bookmarks`, then keeps it open for appending.
    bool start(const QString &path, const JournalHeader &header, const QString &text,
               const QList<int> &bookmarks, qint64 timeMs);
    // Appends whole records; with `sync`, also waits until they are on the
    // disk. Written without, they survive the process but not a power cut.
    bool append(const QByteArray &records, bool sync = true);
    bool isOpen() const { return fd >= 0; }
    qint64 size() const { return written; }
    void close();
    QString errorString() const { return error; }

private:
    int fd = -1;
    qint64 written = 0;
    QString error;
};

} // namespace journal

struct RecoveredDocument {
    JournalHeader header;
    QString text; // raw text, blocks separated by QChar::ParagraphSeparator
    QList<int> bookmarks;
    qint64 lastChangeMs = 0;
};

// Reads journals back. A last record cut short or torn (the writer stopped
// in the middle of an append) is dropped: the state before it is kept.
// Everything else that is not as the writer leaves it (another magic or
// version, a bad checksum with records after it, an edit outside the text,
// an unknown record, no header or no text) fails with the reason.
class JournalReader
{
public:
    static bool parse(const QByteArray &bytes, RecoveredDocument *out, QString *error);
    // Only the header, cheaply: the file named in it.
    static bool parseHeader(const QByteArray &start, JournalHeader *out, QString *error);
    static bool readFile(const QString &path, RecoveredDocument *out, QString *error);
    static bool readHeader(const QString &path, JournalHeader *out, QString *error);
};

} // namespace ov
