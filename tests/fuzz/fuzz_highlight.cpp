// The highlighter's line procedure over arbitrary lines, carrying states.
#include <cstdint>
#include <cstdlib>

#include "editor/core/phphighlightengine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    int state = -1;
    QVector<ov::PhpFormat> formats;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const int next = ov::PhpHighlightEngine::highlightLine(line, state, &formats);
        if (formats.size() != line.size())
            abort();
        if (next < -1 || (next & ~(ov::PhpHighlightEngine::PhpBits | ov::PhpHighlightEngine::InBlockComment)))
            abort();
        // The same line in the same state always gives the same answer.
        QVector<ov::PhpFormat> again;
        if (ov::PhpHighlightEngine::highlightLine(line, state, &again) != next || again != formats)
            abort();
        qsizetype covered = 0;
        for (const ov::PhpSpan &span : ov::PhpHighlightEngine::spans(formats)) {
            if (span.start < covered || span.length <= 0 || span.start + span.length > line.size())
                abort();
            covered = span.start + span.length;
        }
        state = next;
    }
    return 0;
}
