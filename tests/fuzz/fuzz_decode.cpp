// Encoding detection and the round trip back to bytes.
#include <cstdint>
#include <cstdlib>

#include "editor/core/textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ov::DecodedText d = ov::decodeText(bytes);
    if (d.text.contains(QLatin1Char('\r')))
        abort();
    ov::TextFormat format = d.format;
    const QByteArray again = ov::encodeText(d.text, &format);
    // Opened and saved unchanged, a file without carriage returns keeps every byte.
    if (!bytes.contains('\r') && again != bytes)
        abort();
    // Whatever was written reads back as the same text.
    if (ov::decodeText(again).text != d.text && format.encoding != ov::TextFormat::Latin1
        && format.encoding != ov::TextFormat::Windows1252)
        abort();
    if (ov::expandTabs(d.text).contains(QLatin1Char('\t')))
        abort();
    // The editor's text, however it is reached.
    if (ov::editorText(bytes) != ov::expandTabs(d.text))
        abort();
    return 0;
}
