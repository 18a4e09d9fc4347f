// The code database reader on arbitrary bytes: ignored or read as far as it
// is sound, the same as the careful reader reads it, and what it read
// writes out and reads back the same.
#include <cstdint>
#include <cstdlib>

#include "analysis/core/codedatabase.h"
#include "analysis/core/codemodel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), qsizetype(size));
    ov::CodeModel model;
    ov::CodeDatabase::parse(xml, &model);
    const QByteArray written = ov::CodeDatabase::serialize(model.fileDescriptions());
    ov::CodeModel careful;
    ov::CodeDatabase::parseCarefully(xml, &careful);
    if (ov::CodeDatabase::serialize(careful.fileDescriptions()) != written
        || careful.projectFunctionNames() != model.projectFunctionNames())
        abort();
    ov::CodeModel again;
    ov::CodeDatabase::parse(written, &again);
    if (ov::CodeDatabase::serialize(again.fileDescriptions()) != written)
        abort();
    return 0;
}
