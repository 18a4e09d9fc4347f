#include "editor/core/documentfile.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace ov {

QByteArray DocumentFile::digestOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

QString DocumentFile::read(const QString &filePath, const QByteArray &bytes)
{
    record(filePath, bytes);
    DecodedText decoded = decodeText(bytes);
    textFormat = decoded.format;
    originalLines = OriginalLines(decoded.text);
    loaded = true;
    return decoded.text;
}

void DocumentFile::setReadStamp(qint64 readSize, const QDateTime &readModified)
{
    size = readSize;
    modified = readModified;
}

bool DocumentFile::write(const QString &filePath, const QString &text, TextFormat *written, QString *error)
{
    const QByteArray bytes = encodeText(text, written);
    if (!writeFileAtomically(filePath, bytes, error))
        return false;
    originalLines = OriginalLines(text);
    textFormat = *written;
    record(filePath, bytes);
    return true;
}

QString DocumentFile::textForDisk(const QString &documentText) const
{
    return originalLines.restore(documentText);
}

void DocumentFile::record(const QString &filePath, const QByteArray &bytes)
{
    const QFileInfo info(filePath);
    path = filePath;
    digest = digestOf(bytes);
    size = info.size();
    modified = info.lastModified();
}

void DocumentFile::rename(const QString &newPath)
{
    if (!path.isEmpty())
        path = newPath;
}

DocumentFile::DiskState DocumentFile::check(const QString &filePath, QByteArray *now)
{
    if (now)
        *now = digest;
    // Nothing was read from or written to this path: nothing to protect.
    if (path.isEmpty() || path != filePath)
        return DiskUnchanged;
    const QFileInfo info(filePath);
    if (!info.exists())
        return DiskMissing;
    if (info.size() == size && info.lastModified() == modified)
        return DiskUnchanged;
    QByteArray bytes;
    QString error;
    if (!readFileBytes(filePath, &bytes, &error))
        return DiskChanged;
    const QByteArray current = digestOf(bytes);
    if (now)
        *now = current;
    if (current != digest)
        return DiskChanged;
    // Touched, not changed: remember the new stamp so the next look is cheap.
    touched(filePath, info.size(), info.lastModified());
    return DiskUnchanged;
}

void DocumentFile::touched(const QString &filePath, qint64 newSize, const QDateTime &newModified)
{
    if (path.isEmpty() || path != filePath)
        return;
    size = newSize;
    modified = newModified;
}

} // namespace ov
