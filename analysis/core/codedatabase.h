#pragma once

#include <QByteArray>
#include <QString>

#include "analysis/core/codemodel.h"

namespace ov {

// The ".cdb" file beside a project file: the cached code model, so that
// opening a project reads only the files that changed since. A cache: it
// is rewritten whole and never updated in place.
class CodeDatabase
{
public:
    // shop.vuzar -> shop.cdb; my.shop.vuzar -> my.cdb (up to the first dot).
    static QString fileNameFor(const QString &projectFileName);

    static QByteArray serialize(const FileDescriptions &files);
    // Atomic: a failed write leaves the old database whole.
    static bool write(const QString &fileName, const FileDescriptions &files, QString *error = nullptr);
    // Writes the model's descriptions unless the file holds exactly them
    // already: read whole into an empty model or written by us, unchanged on
    // disk since, with no description changed in the model since.
    static bool save(const QString &fileName, CodeModel *model, QString *error = nullptr);
    static CodeModel::DatabaseStamp stampOf(const QString &fileName);

    // Adds the stored descriptions of files that still exist to `model`,
    // appending their function names. A database that cannot be read adds
    // nothing; one that breaks off or turns malformed part way adds the
    // files read whole before that point. Returns the number of files added.
    static int read(const QString &fileName, CodeModel *model);
    static int parse(const QByteArray &xml, CodeModel *model);
    // `whole`: every entry of the document went into the model unchanged
    // (none dropped, none replaced by a later one of the same name).
    // `error`: where and why a malformed document broke off, if it did.
    static int parse(const QByteArray &xml, CodeModel *model, bool *whole, QString *error = nullptr);
    // The same with QXmlStreamReader alone: parse() takes this way for any
    // document that is not in the exact form serialize() gives.
    static int parseCarefully(const QByteArray &xml, CodeModel *model);
    static int parseCarefully(const QByteArray &xml, CodeModel *model, QString *error);

    // Times keep whole seconds unless the file's time had a fraction; the
    // fraction is kept so that an unchanged file stays current on reload.
    static QString timeToString(const QDateTime &time);
    // As QDateTime::fromString with Qt::ISODate.
    static QDateTime timeFromString(QStringView text);
};

} // namespace ov
