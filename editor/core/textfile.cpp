#include "editor/core/textfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#if defined(__SSE2__)
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

} // namespace

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
    if (!ok) {
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

    switch (format->encoding) {
    case TextFormat::Latin1: {
        for (QChar c : body) {
            if (c.unicode() > 0xFF) {
                format->encoding = TextFormat::Utf8;
                return body.toUtf8();
            }
        }
        return body.toLatin1();
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
    // The runs between tabs are found and copied whole (indexOf looks at
    // many characters at a time): QString::replace with a longer string
    // costs many times more on files full of tabs.
    const QStringView in(text);
    qsizetype tabs = 0;
    for (qsizetype i = in.indexOf(u'\t'); i >= 0; i = in.indexOf(u'\t', i + 1))
        ++tabs;
    if (tabs == 0)
        return text;
    QString out(text.size() + 3 * tabs, Qt::Uninitialized);
    QChar *o = out.data();
    qsizetype from = 0;
    for (qsizetype i = in.indexOf(u'\t'); i >= 0; from = i + 1, i = in.indexOf(u'\t', from)) {
        memcpy(o, in.data() + from, size_t(i - from) * sizeof(QChar));
        o += i - from;
        o[0] = o[1] = o[2] = o[3] = QLatin1Char(' ');
        o += 4;
    }
    memcpy(o, in.data() + from, size_t(in.size() - from) * sizeof(QChar));
    return out;
}

namespace {

// Plain ASCII, most source code: nothing to decode, so carriage returns and
// tabs are handled in one pass over the bytes. False for any other byte.
// Sixteen bytes at a time where the processor allows: most runs of sixteen
// hold neither a tab nor a carriage return and are only widened.
bool asciiEditorText(const QByteArray &bytes, QString *text)
{
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    unsigned high = 0;
    qsizetype tabs = 0, crs = 0, i = 0;
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    // Per-byte counters (a match subtracts -1), summed before they can wrap.
    __m128i tabCount = zero, crCount = zero, tabSum = zero, crSum = zero;
    int blocks = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
        high |= unsigned(_mm_movemask_epi8(v));
        tabCount = _mm_sub_epi8(tabCount, _mm_cmpeq_epi8(v, tab));
        crCount = _mm_sub_epi8(crCount, _mm_cmpeq_epi8(v, cr));
        if (++blocks == 255 || i + 32 > n) {
            tabSum = _mm_add_epi64(tabSum, _mm_sad_epu8(tabCount, zero));
            crSum = _mm_add_epi64(crSum, _mm_sad_epu8(crCount, zero));
            tabCount = crCount = zero;
            blocks = 0;
        }
    }
    tabs = _mm_cvtsi128_si64(tabSum) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(tabSum, tabSum));
    crs = _mm_cvtsi128_si64(crSum) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(crSum, crSum));
#endif
    for (qsizetype k = i; k < n; ++k) {
        high |= b[k] & 0x80;
        tabs += b[k] == '\t';
        crs += b[k] == '\r';
    }
    if (high)
        return false;
    QString out(n + 3 * tabs - crs, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    const auto put = [&o](unsigned char c) {
        if (c == '\t') {
            o[0] = o[1] = o[2] = o[3] = u' ';
            o += 4;
        } else if (c != '\r') {
            *o++ = c;
        }
    };
    i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
        if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, cr))) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 8), _mm_unpackhi_epi8(v, zero));
            o += 16;
        } else {
            for (int k = 0; k < 16; ++k) {
                const unsigned char c = b[i + k];
                if (c > '\r') {
                    *o++ = c;
                } else {
                    put(c);
                }
            }
        }
    }
#endif
    for (; i < n; ++i)
        put(b[i]);
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
