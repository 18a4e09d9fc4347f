#include "editor/core/textfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QtAlgorithms>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

#include "editor/core/editorlog.h"
#include "editor/core/vectorscan.h"

namespace ov {

namespace {

bool startsWith(const QByteArray &b, const char *prefix, int n)
{
    return b.size() >= n && memcmp(b.constData(), prefix, size_t(n)) == 0;
}

QString decodeWith(QStringConverter::Encoding enc, QByteArrayView bytes, bool *ok)
{
    // The mark, if any, was taken off by the caller: a second one is text.
    QStringDecoder dec(enc, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString s = dec.decode(bytes);
    if (ok)
        *ok = !dec.hasError();
    return s;
}

// Windows-1252 for the bytes 0x80 to 0x9F; the five it leaves undefined
// stand for the C1 controls of the same value.
const char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool hasCp1252Bytes(const QByteArray &bytes)
{
    for (const char b : bytes) {
        if (uchar(b) >= 0x80 && uchar(b) <= 0x9F)
            return true;
    }
    return false;
}

QString fromCp1252(const QByteArray &bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    for (const char b : bytes) {
        const uchar c = uchar(b);
        *o++ = c >= 0x80 && c <= 0x9F ? Cp1252High[c - 0x80] : char16_t(c);
    }
    return out;
}

// The byte for `c` in Windows-1252, or -1 when it has none.
int toCp1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (Cp1252High[i] == c)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

qsizetype firstUnencodable(QStringView text, TextFormat::Encoding encoding)
{
    const char16_t *d = text.utf16();
    switch (encoding) {
    case TextFormat::Latin1:
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (d[i] > 0xFF)
                return i;
        }
        return -1;
    case TextFormat::Windows1252:
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (d[i] >= 0x80 && toCp1252(d[i]) < 0)
                return i;
        }
        return -1;
    case TextFormat::Utf8:
    case TextFormat::Utf8Bom:
    case TextFormat::Utf16LE:
    case TextFormat::Utf16BE:
        break;
    }
    return -1;
}

QString encodingName(TextFormat::Encoding encoding)
{
    switch (encoding) {
    case TextFormat::Utf8: return QStringLiteral("UTF-8");
    case TextFormat::Utf8Bom: return QStringLiteral("UTF-8 with BOM");
    case TextFormat::Utf16LE: return QStringLiteral("UTF-16 LE");
    case TextFormat::Utf16BE: return QStringLiteral("UTF-16 BE");
    case TextFormat::Latin1: return QStringLiteral("ISO-8859-1");
    case TextFormat::Windows1252: return QStringLiteral("Windows-1252");
    }
    return QString();
}

QString lineEndingName(TextFormat::LineEnding lineEnding)
{
    return lineEnding == TextFormat::CRLF ? QStringLiteral("CRLF") : QStringLiteral("LF");
}

DecodedText decodeText(const QByteArray &bytes)
{
    DecodedText out;
    QByteArrayView view(bytes);
    bool ok = false;
    // A byte-order mark whose text does not decode cleanly is no mark: such
    // bytes are kept as Latin-1 so that saving writes them back unchanged.
    if (startsWith(bytes, "\xEF\xBB\xBF", 3)) {
        out.format.encoding = TextFormat::Utf8Bom;
        out.text = decodeWith(QStringConverter::Utf8, view.sliced(3), &ok);
    } else if (startsWith(bytes, "\xFF\xFE", 2)) {
        out.format.encoding = TextFormat::Utf16LE;
        out.text = decodeWith(QStringConverter::Utf16LE, view.sliced(2), &ok);
        ok = ok && bytes.size() % 2 == 0;
    } else if (startsWith(bytes, "\xFE\xFF", 2)) {
        out.format.encoding = TextFormat::Utf16BE;
        out.text = decodeWith(QStringConverter::Utf16BE, view.sliced(2), &ok);
        ok = ok && bytes.size() % 2 == 0;
    } else {
        out.format.encoding = TextFormat::Utf8;
        out.text = decodeWith(QStringConverter::Utf8, view, &ok);
    }
    if (!ok && hasCp1252Bytes(bytes)) {
        out.format.encoding = TextFormat::Windows1252;
        out.text = fromCp1252(bytes);
    } else if (!ok) {
        out.format.encoding = TextFormat::Latin1;
        out.text = QString::fromLatin1(bytes);
    }

    // Most files hold no carriage return: a fast look says so.
    if (!out.text.contains(QLatin1Char('\r')))
        return out;
    qsizetype crlf = 0, lf = 0;
    bool hasCR = false;
    const QChar *d = out.text.constData();
    const qsizetype n = out.text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (d[i] == QLatin1Char('\n')) {
            if (i > 0 && d[i - 1] == QLatin1Char('\r'))
                ++crlf;
            else
                ++lf;
        } else if (d[i] == QLatin1Char('\r')) {
            hasCR = true;
        }
    }
    out.format.lineEnding = crlf > lf ? TextFormat::CRLF : TextFormat::LF;
    if (hasCR) {
        out.text.remove(QLatin1Char('\r'));
        // A mark that only carriage returns kept from the start is the file's
        // mark: written without it, the text would read back one character short.
        if (out.format.encoding == TextFormat::Utf8 && out.text.startsWith(QChar(0xFEFF))) {
            out.format.encoding = TextFormat::Utf8Bom;
            out.text.remove(0, 1);
        }
    }
    return out;
}

QByteArray encodeText(const QString &text, TextFormat *format)
{
    QString body = text;
    if (format->lineEnding == TextFormat::CRLF)
        body.replace(QLatin1Char('\n'), QLatin1String("\r\n"));

    if (firstUnencodable(body, format->encoding) >= 0)
        format->encoding = TextFormat::Utf8;
    switch (format->encoding) {
    case TextFormat::Latin1:
        return body.toLatin1();
    case TextFormat::Windows1252: {
        QByteArray out(body.size(), Qt::Uninitialized);
        char *o = out.data();
        for (const QChar c : body)
            *o++ = char(toCp1252(c.unicode()));
        return out;
    }
    case TextFormat::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + body.toUtf8();
    case TextFormat::Utf16LE: {
        QStringEncoder enc(QStringConverter::Utf16LE);
        return QByteArray("\xFF\xFE") + QByteArray(enc.encode(body));
    }
    case TextFormat::Utf16BE: {
        QStringEncoder enc(QStringConverter::Utf16BE);
        return QByteArray("\xFE\xFF") + QByteArray(enc.encode(body));
    }
    case TextFormat::Utf8:
        break;
    }
    return body.toUtf8();
}

QString expandTabs(const QString &text)
{
    // QString::replace with a longer string costs many times more on files
    // full of tabs.
    const char16_t *d = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *const end = d + text.size();
    const qsizetype tabs = qsizetype(scan::count(d, end, u'\t'));
    if (tabs == 0)
        return text;
    QString out(text.size() + 3 * tabs, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    while (d < end) {
        const char16_t *tab = scan::find(d, end, u'\t');
        std::copy(d, tab, o);
        o += tab - d;
        if (tab == end)
            break;
        o[0] = o[1] = o[2] = o[3] = u' ';
        o += 4;
        d = tab + 1;
    }
    return out;
}

namespace {

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The character of a well-formed UTF-8 sequence of two to four bytes at `b`
// and the sequence's length; 0 for anything else, and for noncharacters,
// on which the full decoder has the last word.
int utf8Sequence(const unsigned char *b, const unsigned char *end, char32_t *u)
{
    const unsigned char c = b[0];
    const qsizetype room = end - b;
    if (c >= 0xC2 && c <= 0xDF) {
        if (room < 2 || !isContinuation(b[1]))
            return 0;
        *u = char32_t(c & 0x1F) << 6 | (b[1] & 0x3F);
        return 2;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        // No overlong forms, no surrogates.
        const unsigned char low = c == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = c == 0xED ? 0x9F : 0xBF;
        if (room < 3 || b[1] < low || b[1] > high || !isContinuation(b[2]))
            return 0;
        *u = char32_t(c & 0x0F) << 12 | char32_t(b[1] & 0x3F) << 6 | (b[2] & 0x3F);
        if ((*u >= 0xFDD0 && *u <= 0xFDEF) || *u >= 0xFFFE)
            return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        // No overlong forms, nothing past U+10FFFF.
        const unsigned char low = c == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = c == 0xF4 ? 0x8F : 0xBF;
        if (room < 4 || b[1] < low || b[1] > high || !isContinuation(b[2]) || !isContinuation(b[3]))
            return 0;
        *u = char32_t(c & 0x07) << 18 | char32_t(b[1] & 0x3F) << 12 | char32_t(b[2] & 0x3F) << 6 | (b[3] & 0x3F);
        if ((*u & 0xFFFE) == 0xFFFE)
            return 0;
        return 4;
    }
    return 0;
}

// UTF-8 without a mark, most source code (plain ASCII the most of it):
// decoded with carriage returns dropped and tabs widened, in one pass.
// False where the full decoder must judge (a mark, any sequence out of the
// ordinary), whose answer then stands.
bool utf8EditorText(const QByteArray &bytes, QString *text)
{
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const unsigned char *const end = b + bytes.size();
    const qsizetype tabs = qsizetype(scan::count(b, end, (unsigned char)'\t'));
    if (tabs == 0 && scan::isAscii(b, end) && !memchr(b, '\r', size_t(end - b))) {
        *text = QString::fromLatin1(bytes);
        return true;
    }
    // A character never takes fewer bytes than code units; whole blocks
    // are widened, so room for one more.
    QString out(bytes.size() + 3 * tabs + 16, Qt::Uninitialized);
    char16_t *const start = reinterpret_cast<char16_t *>(out.data());
    char16_t *o = start;
    while (b < end) {
        const unsigned char *special = scan::widenUntil(b, end, o, '\t', '\r');
        o += special - b;
        b = special;
        if (b == end)
            break;
        if (*b == '\t') {
            o[0] = o[1] = o[2] = o[3] = u' ';
            o += 4;
            ++b;
            continue;
        }
        if (*b == '\r') {
            ++b;
            continue;
        }
        // Characters outside ASCII tend to come in runs.
        do {
            char32_t u;
            const int length = utf8Sequence(b, end, &u);
            // A mark at the start is the file's, not text.
            if (length == 0 || (u == 0xFEFF && o == start))
                return false;
            if (QChar::requiresSurrogates(u)) {
                *o++ = QChar::highSurrogate(u);
                *o++ = QChar::lowSurrogate(u);
            } else {
                *o++ = char16_t(u);
            }
            b += length;
        } while (b < end && *b > 0x7F);
    }
    out.truncate(o - start);
    *text = std::move(out);
    return true;
}

} // namespace

QString editorText(const QByteArray &bytes)
{
    QString text;
    if (utf8EditorText(bytes, &text))
        return text;
    return expandTabs(decodeText(bytes).text);
}

bool readFileBytes(const QString &path, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        if (error)
            *error = QStringLiteral("Is a directory");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

namespace {

#ifdef Q_OS_LINUX
// Smaller pieces wait for the closing sync: a hint for each costs more than it saves.
constexpr qsizetype kWriteBackPiece = 64 * 1024;
#endif

} // namespace

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    return writeFileAtomically(
        path, [&bytes](const WriteBytes &write) { return write(bytes); }, error);
}

bool writeFileAtomically(const QString &path, const std::function<bool(const WriteBytes &write)> &produce,
                         QString *error)
{
    QString target = path;
    QFileInfo info(path);
    if (info.isSymLink()) {
        // Write the file the link points at, so the link itself survives.
        const QString resolved = info.symLinkTarget();
        if (!resolved.isEmpty())
            target = resolved;
    }
    const QFileInfo targetInfo(target);
    const bool existed = targetInfo.exists();
    const QFileDevice::Permissions perms = existed ? targetInfo.permissions() : QFileDevice::Permissions();
    if (existed && !targetInfo.isWritable()) {
        // A rename would replace a file the user may not write.
        if (error)
            *error = QStringLiteral("Permission denied");
        return false;
    }

    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    qint64 written = 0;
    const WriteBytes write = [&file, &written](QByteArrayView bytes) {
        if (file.write(bytes.data(), bytes.size()) != bytes.size())
            return false;
#ifdef Q_OS_LINUX
        // Started now, the disk's work goes on while the rest is made: the
        // closing sync then waits for little more than the last piece.
        if (bytes.size() >= kWriteBackPiece)
            ::sync_file_range(file.handle(), written, bytes.size(), SYNC_FILE_RANGE_WRITE);
#endif
        written += bytes.size();
        return true;
    };
    if (!produce(write)) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (existed && !QFile::setPermissions(target, perms))
        qCWarning(lcEditor, "cannot give %s back its permissions", qUtf8Printable(target));
    return true;
}

} // namespace ov
