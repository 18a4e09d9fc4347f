// The code database reader on arbitrary bytes: ignored or read as far as it
// is sound, the same as the careful reader reads it, and what it read
// writes out and reads back the same.
#include <cstdint>
#include <cstdlib>

#include <QStringList>

#include "analysis/core/codedatabase.h"
#include "analysis/core/codemodel.h"

namespace {

// Two hashes with the same keys may list them in different orders, by the
// order of their insertions: rebuilt in key order, equal tables list alike.
template <typename T>
QHash<QString, T> inKeyOrder(const QHash<QString, T> &table)
{
    QStringList keys = table.keys();
    keys.sort();
    QHash<QString, T> out;
    for (const QString &key : std::as_const(keys))
        out.insert(key, table.value(key));
    return out;
}

QByteArray canonical(const ov::FileDescriptions &files)
{
    QStringList names = files.keys();
    names.sort();
    ov::FileDescriptions out;
    for (const QString &name : std::as_const(names)) {
        ov::PHPFileDescription d = files.value(name);
        d.functions = inKeyOrder(d.functions);
        for (ov::PHPClassDefinition &c : d.classes)
            c.methods = inKeyOrder(c.methods);
        d.classes = inKeyOrder(d.classes);
        out.insert(name, d);
    }
    return ov::CodeDatabase::serialize(out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), qsizetype(size));
    ov::CodeModel model;
    ov::CodeDatabase::parse(xml, &model);
    const QByteArray written = ov::CodeDatabase::serialize(model.fileDescriptions());
    ov::CodeModel careful;
    ov::CodeDatabase::parseCarefully(xml, &careful);
    if (canonical(careful.fileDescriptions()) != canonical(model.fileDescriptions())
        || careful.projectFunctionNames() != model.projectFunctionNames())
        abort();
    ov::CodeModel again;
    ov::CodeDatabase::parse(written, &again);
    if (canonical(again.fileDescriptions()) != canonical(model.fileDescriptions()))
        abort();
    return 0;
}
