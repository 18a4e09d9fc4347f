// The project file reader on arbitrary bytes: refuse or load, and what
// loads writes out and reads back the same.
#include <cstdint>
#include <cstdlib>

#include "project/core/projectfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString name = QStringLiteral("/work/site/site.vuzar");
    ov::ProjectFile file;
    if (!file.parse(xml, name)) {
        if (file.errorString().isEmpty())
            abort();
        return 0;
    }
    const QByteArray written = file.serialize(name);
    ov::ProjectFile again;
    if (!again.parse(written, name))
        abort();
    if (again.serialize(name) != written)
        abort();
    return 0;
}
