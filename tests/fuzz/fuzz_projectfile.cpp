// The project file reader on arbitrary bytes: refuse or load as the general
// XML reader does, and what loads writes out and reads back the same. Names holding "." or ".."
// segments (or none at all) are read as written but written in their
// shortest relative form, so the first write may differ; from then on the
// written form must be a fixed point.
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
    ov::ProjectFile careful;
    if (!careful.parseCarefully(xml, name) || !(careful.root == file.root) || careful.bookmarks != file.bookmarks)
        abort();
    ov::ProjectFile again;
    if (!again.parse(file.serialize(name), name))
        abort();
    const QByteArray written = again.serialize(name);
    ov::ProjectFile third;
    if (!third.parse(written, name))
        abort();
    if (third.serialize(name) != written)
        abort();
    return 0;
}
