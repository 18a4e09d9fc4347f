// The recovery journal reader on arbitrary bytes, and on every cut of them:
// refuse with a reason or recover, and what it recovers, written as a new
// journal, reads back the same.
#include <cstdint>
#include <cstdlib>

#include "editor/core/journal.h"

namespace {

void check(const QByteArray &bytes)
{
    ov::RecoveredDocument doc;
    QString error;
    if (!ov::JournalReader::parse(bytes, &doc, &error)) {
        if (error.isEmpty())
            abort();
        return;
    }
    QByteArray again = ov::journal::fileStart() + ov::journal::headerRecord(doc.header)
                       + ov::journal::snapshotRecord(doc.text, doc.lastChangeMs);
    if (!doc.bookmarks.isEmpty())
        again += ov::journal::bookmarksRecord(doc.bookmarks, doc.lastChangeMs);
    ov::RecoveredDocument back;
    if (!ov::JournalReader::parse(again, &back, &error) || back.text != doc.text
        || back.bookmarks != doc.bookmarks || back.header.filePath != doc.header.filePath
        || !(back.header.format == doc.header.format) || back.header.base.sha1 != doc.header.base.sha1.left(255))
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    check(bytes);
    // A crash may cut a journal anywhere.
    if (bytes.size() <= 4096) {
        for (qsizetype n = 0; n < bytes.size(); ++n)
            check(bytes.left(n));
    }
    return 0;
}
