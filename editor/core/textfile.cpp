#include "editor/core/textfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QtAlgorithms>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    // Eight characters at a time where the processor allows: QString::replace
    // with a longer string costs many times more on files full of tabs.
    const char16_t *d = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    qsizetype tabs = 0, i = 0;
#ifdef __SSE2__
    const __m128i tab = _mm_set1_epi16(u'\t');
    while (i + 8 <= n) {
        // Per-lane counts, summed up long before any can pass 32767.
        __m128i counts = _mm_setzero_si128();
        for (int block = 0; block < 4096 && i + 8 <= n; ++block, i += 8)
            counts = _mm_sub_epi16(counts, _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i)), tab));
        __m128i sums = _mm_madd_epi16(counts, _mm_set1_epi16(1));
        sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(1, 0, 3, 2)));
        sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(2, 3, 0, 1)));
        tabs += _mm_cvtsi128_si32(sums);
    }
#endif
    for (; i < n; ++i)
        tabs += d[i] == u'\t';
    if (tabs == 0)
        return text;
    QString out(n + 3 * tabs, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    i = 0;
#ifdef __SSE2__
    // Each block is copied whole (what is left to copy makes at least as
    // much output); the output then moves on to its first tab.
    while (i + 8 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o), v);
        const uint mask = uint(_mm_movemask_epi8(_mm_cmpeq_epi16(v, tab)));
        if (!mask) {
            i += 8;
            o += 8;
            continue;
        }
        const int k = qCountTrailingZeroBits(mask) / 2;
        o += k;
        i += k + 1;
        o[0] = o[1] = o[2] = o[3] = u' ';
        o += 4;
    }
#endif
    for (; i < n; ++i) {
        if (d[i] == u'\t') {
            o[0] = o[1] = o[2] = o[3] = u' ';
            o += 4;
        } else {
            *o++ = d[i];
        }
    }
    return out;
}

namespace {

// Plain ASCII, most source code: nothing to decode, so carriage returns and
// tabs are handled in two passes over the bytes, sixteen at a time where
// the processor allows. False for any other byte.
bool asciiEditorText(const QByteArray &bytes, QString *text)
{
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    unsigned char high = 0;
    qsizetype tabs = 0, crs = 0;
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    __m128i any = zero;
    while (i + 16 <= n) {
        // Per-lane counts in bytes, summed up before any can pass 255.
        __m128i tabCounts = zero, crCounts = zero;
        for (int block = 0; block < 255 && i + 16 <= n; ++block, i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
            any = _mm_or_si128(any, v);
            tabCounts = _mm_sub_epi8(tabCounts, _mm_cmpeq_epi8(v, tab));
            crCounts = _mm_sub_epi8(crCounts, _mm_cmpeq_epi8(v, cr));
        }
        const __m128i tabSums = _mm_sad_epu8(tabCounts, zero);
        const __m128i crSums = _mm_sad_epu8(crCounts, zero);
        tabs += _mm_cvtsi128_si32(tabSums) + _mm_extract_epi16(tabSums, 4);
        crs += _mm_cvtsi128_si32(crSums) + _mm_extract_epi16(crSums, 4);
    }
    if (_mm_movemask_epi8(any))
        return false;
#endif
    for (; i < n; ++i) {
        high |= b[i];
        tabs += b[i] == '\t';
        crs += b[i] == '\r';
    }
    if (high & 0x80)
        return false;
    const qsizetype length = n + 3 * tabs - crs;
    if (tabs == 0 && crs == 0) {
        *text = QString::fromLatin1(bytes);
        return true;
    }
    // Room for one block written whole past the end.
    QString out(length + 16, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    i = 0;
#ifdef __SSE2__
    // Each block is widened whole; the output then moves on to the first
    // tab or carriage return in it, which is dealt with on its own.
    while (i + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 8), _mm_unpackhi_epi8(v, zero));
        const uint special = uint(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, cr))));
        if (!special) {
            i += 16;
            o += 16;
            continue;
        }
        const int k = qCountTrailingZeroBits(special);
        o += k;
        i += k;
        if (b[i] == '\t') {
            o[0] = o[1] = o[2] = o[3] = u' ';
            o += 4;
        }
        ++i;
    }
#endif
    for (; i < n; ++i) {
        const unsigned char c = b[i];
        if (c == '\t') {
            o[0] = o[1] = o[2] = o[3] = u' ';
            o += 4;
        } else if (c != '\r') {
            *o++ = c;
        }
    }
    out.truncate(length);
    *text = std::move(out);
    return true;
}

} // namespace

QString editorText(const QByteArray &bytes)
{
    QString text;
    if (asciiEditorText(bytes, &text))
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

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
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
    if (file.write(bytes) != bytes.size()) {
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
    if (existed)
        QFile::setPermissions(target, perms);
    return true;
}

} // namespace ov
