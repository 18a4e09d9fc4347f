// The linter's output reader: whatever the interpreter prints, a failed run
// never reads as a clean file and every complaint names the checked file.
#include <cstdint>
#include <cstdlib>

#include "search/core/syntaxmessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const int exitCodes[] = {0, 1, 255, -1};
    const int exitCode = exitCodes[data[0] % 4];
    const QByteArray output(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString file = QStringLiteral("/p/a in b.php");

    const ov::SyntaxCheckResult result = ov::parseLintOutput(file, output, exitCode);
    if ((result.status == ov::SyntaxCheckResult::Clean) != result.errors.isEmpty())
        abort();
    if (exitCode != 0 && result.status == ov::SyntaxCheckResult::Clean)
        abort();
    for (const ov::SyntaxError &error : result.errors) {
        if (error.fileName != file || error.line < 0 || error.message.isEmpty())
            abort();
        if (!error.text().startsWith(file + QLatin1Char(':')))
            abort();
    }
    return 0;
}
