#pragma once

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include "app/dialogs.h"

namespace ovtest {

// Settings and dialogs that can never reach the user's own or block.
inline void isolate()
{
    QStandardPaths::setTestModeEnabled(true);
    ov::Dialogs::setScripted(true);
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

} // namespace ovtest
