// The text matcher: the fast search of a file's bytes finds exactly what the
// search of the decoded text finds.
#include <cstdint>
#include <cstdlib>

#include "editor/core/textfile.h"
#include "search/core/textsearch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const bool matchCase = data[0] & 1;
    const bool matchWord = data[0] & 2;
    const int needleLength = data[1] % 8;
    if (size < size_t(2 + needleLength))
        return 0;
    const QString needle = QString::fromLatin1(reinterpret_cast<const char *>(data + 2), needleLength);
    const QByteArray bytes(reinterpret_cast<const char *>(data + 2 + needleLength), qsizetype(size - 2 - needleLength));

    const ov::TextMatcher matcher(needle, matchCase, matchWord);
    const QList<ov::FindEntry> direct = matcher.findAllInBytes(QStringLiteral("f.php"), bytes);
    const QList<ov::FindEntry> viaText = matcher.findAll(QStringLiteral("f.php"), ov::editorText(bytes));
    if (direct.size() != viaText.size())
        abort();
    for (qsizetype i = 0; i < direct.size(); ++i) {
        const ov::FindEntry &a = direct[i], &b = viaText[i];
        if (a.startColumn != b.startColumn || a.endColumn != b.endColumn || a.lineNumber != b.lineNumber
            || a.lineText != b.lineText)
            abort();
    }
    return 0;
}
