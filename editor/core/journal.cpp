#include "editor/core/journal.h"

#include <QFile>
#include <QStringDecoder>
#include <QtEndian>
#include <array>
#include <limits>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ov {

namespace {

const char Magic[] = "VIZIRO-JOURNAL 1\n";
const qsizetype MagicSize = sizeof(Magic) - 1;
// A prefix that names the format whatever the version, to tell "another
// version" from "not a journal".
const qsizetype MagicFamily = 15;

enum RecordType : quint8 { Header = 1, Snapshot = 2, Edit = 3, Bookmarks = 4 };
enum TextEncoding : quint8 { Utf8 = 0, Utf16LE = 1 };
// Length, type, CRC.
const qsizetype RecordOverhead = 4 + 1 + 4;

quint32 crc32(const char *data, qsizetype size)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < size; ++i)
        c = table[(c ^ quint8(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

class Record
{
public:
    explicit Record(RecordType type) { bytes.resize(4); bytes.append(char(type)); }
    void u8(quint8 v) { bytes.append(char(v)); }
    void u32(quint32 v)
    {
        char b[4];
        qToLittleEndian(v, b);
        bytes.append(b, 4);
    }
    void i64(qint64 v)
    {
        char b[8];
        qToLittleEndian(v, b);
        bytes.append(b, 8);
    }
    void raw(const QByteArray &b) { bytes.append(b); }
    // Text to the end of the body, in the most compact lossless form.
    void text(const QString &s)
    {
        if (s.isValidUtf16()) {
            u8(Utf8);
            raw(s.toUtf8());
        } else {
            u8(Utf16LE);
            for (QChar c : s) {
                char b[2];
                qToLittleEndian(c.unicode(), b);
                bytes.append(b, 2);
            }
        }
    }
    QByteArray finish()
    {
        const qsizetype body = bytes.size() - 4;
        qToLittleEndian(quint32(body - 1), bytes.data());
        const quint32 crc = crc32(bytes.constData() + 4, body);
        u32(crc);
        return std::move(bytes);
    }

private:
    QByteArray bytes;
};

// Reads a record body; every read is bounds-checked.
class Cursor
{
public:
    Cursor(const char *data, qsizetype size) : p(data), end(data + size) {}
    bool ok = true;
    qsizetype left() const { return end - p; }
    quint8 u8()
    {
        if (!need(1))
            return 0;
        return quint8(*p++);
    }
    quint32 u32()
    {
        if (!need(4))
            return 0;
        const quint32 v = qFromLittleEndian<quint32>(p);
        p += 4;
        return v;
    }
    qint64 i64()
    {
        if (!need(8))
            return 0;
        const qint64 v = qFromLittleEndian<qint64>(p);
        p += 8;
        return v;
    }
    QByteArray bytes(qsizetype n)
    {
        if (n < 0 || !need(n))
            return QByteArray();
        QByteArray b(p, n);
        p += n;
        return b;
    }
    QString text()
    {
        const quint8 encoding = u8();
        if (!ok)
            return QString();
        const char *from = p;
        const qsizetype n = left();
        p = end;
        if (encoding == Utf8) {
            QStringDecoder decoder(QStringDecoder::Utf8,
                                   QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
            QString s = decoder.decode(QByteArrayView(from, n));
            if (decoder.hasError())
                ok = false;
            return s;
        }
        if (encoding == Utf16LE && n % 2 == 0) {
            QString s(n / 2, Qt::Uninitialized);
            for (qsizetype i = 0; i < n / 2; ++i)
                s[i] = QChar(qFromLittleEndian<quint16>(from + 2 * i));
            return s;
        }
        ok = false;
        return QString();
    }

private:
    bool need(qsizetype n)
    {
        if (left() < n)
            ok = false;
        return ok;
    }
    const char *p;
    const char *end;
};

// The text being rebuilt: a gap at the place of the last edit makes a run
// of nearby edits cost their own size, not the document's.
class GapText
{
public:
    explicit GapText(QString text) : buf(std::move(text)), gapStart(buf.size()), gapEnd(buf.size()) {}
    qsizetype length() const { return buf.size() - (gapEnd - gapStart); }

    void replace(qsizetype pos, qsizetype removed, const QString &inserted)
    {
        moveGap(pos);
        gapEnd += removed;
        if (gapEnd - gapStart < inserted.size())
            grow(inserted.size());
        std::copy(inserted.constBegin(), inserted.constEnd(), buf.begin() + gapStart);
        gapStart += inserted.size();
    }

    QString text() const
    {
        QString s = buf.left(gapStart);
        s.append(QStringView(buf).mid(gapEnd));
        return s;
    }

private:
    void moveGap(qsizetype pos)
    {
        QChar *d = buf.data();
        if (pos < gapStart) {
            const qsizetype n = gapStart - pos;
            std::memmove(d + gapEnd - n, d + pos, n * sizeof(QChar));
            gapStart -= n;
            gapEnd -= n;
        } else if (pos > gapStart) {
            const qsizetype n = pos - gapStart;
            std::memmove(d + gapStart, d + gapEnd, n * sizeof(QChar));
            gapStart += n;
            gapEnd += n;
        }
    }
    void grow(qsizetype need)
    {
        const qsizetype tail = buf.size() - gapEnd;
        const qsizetype gap = need + qMax<qsizetype>(4096, length() / 8);
        QString bigger(gapStart + gap + tail, Qt::Uninitialized);
        std::copy(buf.constBegin(), buf.constBegin() + gapStart, bigger.begin());
        std::copy(buf.constBegin() + gapEnd, buf.constEnd(), bigger.begin() + gapStart + gap);
        buf = std::move(bigger);
        gapEnd = gapStart + gap;
    }

    QString buf;
    qsizetype gapStart;
    qsizetype gapEnd;
};

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

bool checkMagic(const QByteArray &bytes, QString *error)
{
    if (bytes.startsWith(QByteArrayView(Magic, MagicSize)))
        return true;
    if (bytes.startsWith(QByteArrayView(Magic, MagicFamily)))
        return fail(error, QStringLiteral("it was written by another version of Viziro"));
    return fail(error, QStringLiteral("it is not a recovery journal"));
}

bool readHeaderBody(Cursor &c, JournalHeader *h)
{
    h->startedMs = c.i64();
    const quint8 encoding = c.u8();
    const quint8 lineEnding = c.u8();
    h->base.size = c.i64();
    h->base.modifiedMs = c.i64();
    h->base.sha1 = c.bytes(c.u8());
    const QString path = c.text();
    if (!c.ok || encoding > TextFormat::Latin1 || lineEnding > TextFormat::CRLF || path.isEmpty()
        || !path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return false;
    h->format.encoding = TextFormat::Encoding(encoding);
    h->format.lineEnding = TextFormat::LineEnding(lineEnding);
    h->filePath = path;
    return true;
}

// The next record at `at`: its type and body. False at a record that does
// not hold together; `torn` then says whether it may be an interrupted
// append (nothing whole follows it).
bool nextRecord(const QByteArray &bytes, qsizetype at, quint8 *type, QByteArrayView *body, qsizetype *next,
                bool *torn)
{
    const qsizetype left = bytes.size() - at;
    *torn = false;
    if (left < RecordOverhead) {
        *torn = true;
        return false;
    }
    const quint32 length = qFromLittleEndian<quint32>(bytes.constData() + at);
    if (qint64(length) > left - RecordOverhead) {
        *torn = true;
        return false;
    }
    const char *start = bytes.constData() + at + 4;
    const quint32 crc = qFromLittleEndian<quint32>(start + 1 + length);
    *next = at + RecordOverhead + length;
    if (crc != crc32(start, 1 + length)) {
        // A tail of zeros is an append the disk had only made room for.
        bool zeros = true;
        for (qsizetype i = at; i < bytes.size() && zeros; ++i)
            zeros = bytes.at(i) == 0;
        *torn = zeros || *next == bytes.size();
        return false;
    }
    *type = quint8(*start);
    *body = QByteArrayView(start + 1, length);
    return true;
}

} // namespace

namespace journal {

QByteArray fileStart() { return QByteArray(Magic, MagicSize); }

QByteArray headerRecord(const JournalHeader &h)
{
    Record r(Header);
    r.i64(h.startedMs);
    r.u8(quint8(h.format.encoding));
    r.u8(quint8(h.format.lineEnding));
    r.i64(h.base.size);
    r.i64(h.base.modifiedMs);
    r.u8(quint8(qMin<qsizetype>(h.base.sha1.size(), 255)));
    r.raw(h.base.sha1.left(255));
    r.text(h.filePath);
    return r.finish();
}

QByteArray snapshotRecord(const QString &text, qint64 timeMs)
{
    Record r(Snapshot);
    r.i64(timeMs);
    r.text(text);
    return r.finish();
}

QByteArray editRecord(const JournalEdit &edit, qint64 timeMs)
{
    Record r(Edit);
    r.i64(timeMs);
    r.i64(edit.position);
    r.i64(edit.removed);
    r.text(edit.inserted);
    return r.finish();
}

QByteArray bookmarksRecord(const QList<int> &lines, qint64 timeMs)
{
    Record r(Bookmarks);
    r.i64(timeMs);
    r.u32(quint32(lines.size()));
    for (int line : lines)
        r.u32(quint32(line));
    return r.finish();
}

Writer::~Writer() { close(); }

void Writer::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    written = 0;
}

bool Writer::start(const QString &path, const JournalHeader &header, const QString &text,
                   const QList<int> &bookmarks, qint64 timeMs)
{
    close();
    QByteArray bytes = fileStart();
    bytes += headerRecord(header);
    bytes += snapshotRecord(text, timeMs);
    if (!bookmarks.isEmpty())
        bytes += bookmarksRecord(bookmarks, timeMs);
    if (!writeFileAtomically(path, bytes, &error))
        return false;
    fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    written = bytes.size();
    return true;
}

bool Writer::append(const QByteArray &records, bool sync)
{
    if (fd < 0) {
        error = QStringLiteral("The journal is not open");
        return false;
    }
    const char *p = records.constData();
    qsizetype left = records.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        p += n;
        left -= n;
        written += n;
    }
    if (sync && ::fdatasync(fd) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace journal

bool JournalReader::parseHeader(const QByteArray &bytes, JournalHeader *out, QString *error)
{
    if (!checkMagic(bytes, error))
        return false;
    quint8 type = 0;
    QByteArrayView body;
    qsizetype next = 0;
    bool torn = false;
    if (!nextRecord(bytes, MagicSize, &type, &body, &next, &torn) || type != Header)
        return fail(error, QStringLiteral("its header is damaged"));
    Cursor c(body.data(), body.size());
    if (!readHeaderBody(c, out))
        return fail(error, QStringLiteral("its header is damaged"));
    return true;
}

bool JournalReader::parse(const QByteArray &bytes, RecoveredDocument *out, QString *error)
{
    if (!parseHeader(bytes, &out->header, error))
        return false;
    bool haveText = false;
    GapText text{QString()};
    out->bookmarks.clear();
    out->lastChangeMs = out->header.startedMs;
    qsizetype at = MagicSize;
    bool first = true;
    while (at < bytes.size()) {
        quint8 type = 0;
        QByteArrayView body;
        qsizetype next = 0;
        bool torn = false;
        if (!nextRecord(bytes, at, &type, &body, &next, &torn)) {
            if (torn && haveText)
                break; // an append cut short: the state before it stands
            return fail(error, QStringLiteral("it is damaged at byte %1").arg(at));
        }
        Cursor c(body.data(), body.size());
        const qint64 time = type == Header ? 0 : c.i64();
        if (first != (type == Header))
            return fail(error, QStringLiteral("its records are out of order at byte %1").arg(at));
        switch (type) {
        case Header:
            break;
        case Snapshot: {
            QString s = c.text();
            if (!c.ok)
                return fail(error, QStringLiteral("its text is damaged at byte %1").arg(at));
            text = GapText(std::move(s));
            haveText = true;
            break;
        }
        case Edit: {
            const qint64 pos = c.i64();
            const qint64 removed = c.i64();
            const QString inserted = c.text();
            if (!c.ok || !haveText || pos < 0 || removed < 0 || pos > text.length()
                || removed > text.length() - pos)
                return fail(error, QStringLiteral("it holds an impossible edit at byte %1").arg(at));
            text.replace(pos, removed, inserted);
            break;
        }
        case Bookmarks: {
            const quint32 count = c.u32();
            if (!c.ok || !haveText || qint64(count) * 4 != c.left())
                return fail(error, QStringLiteral("its bookmarks are damaged at byte %1").arg(at));
            QList<int> lines;
            lines.reserve(count);
            for (quint32 i = 0; i < count; ++i) {
                const quint32 line = c.u32();
                if (line > quint32(std::numeric_limits<int>::max()))
                    return fail(error, QStringLiteral("its bookmarks are damaged at byte %1").arg(at));
                lines.append(int(line));
            }
            out->bookmarks = lines;
            break;
        }
        default:
            return fail(error, QStringLiteral("it holds an unknown record at byte %1").arg(at));
        }
        if (!c.ok)
            return fail(error, QStringLiteral("it is damaged at byte %1").arg(at));
        if (type != Header)
            out->lastChangeMs = qMax(out->lastChangeMs, time);
        first = false;
        at = next;
    }
    if (!haveText)
        return fail(error, QStringLiteral("it holds no text"));
    out->text = text.text();
    return true;
}

bool JournalReader::readFile(const QString &path, RecoveredDocument *out, QString *error)
{
    QByteArray bytes;
    if (!readFileBytes(path, &bytes, error))
        return false;
    return parse(bytes, out, error);
}

bool JournalReader::readHeader(const QString &path, JournalHeader *out, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(error, f.errorString());
    // The header holds a path and a hash: a few kilobytes at most.
    return parseHeader(f.read(64 * 1024), out, error);
}

} // namespace ov
