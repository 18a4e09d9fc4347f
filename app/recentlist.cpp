#include "app/recentlist.h"

#include <QFileInfo>

namespace ov {

QSettings openSettings()
{
    return QSettings(QStringLiteral("Verovo"), QStringLiteral("Viziro"));
}

const char *const RecentList::FilesKey = "recentFileList";
const char *const RecentList::ProjectsKey = "recentProjectList";

QStringList RecentList::read(const char *key)
{
    const QVariant value = openSettings().value(QLatin1String(key));
    QStringList list;
    // The native store may hand back a one-entry list as a plain string.
    if (value.typeId() == QMetaType::QStringList)
        list = value.toStringList();
    else if (value.typeId() == QMetaType::QString)
        list = QStringList{value.toString()};
    list.removeAll(QString());
    while (list.size() > MaxEntries)
        list.removeLast();
    return list;
}

QStringList RecentList::add(const char *key, const QString &path)
{
    QStringList list = read(key);
    list.removeAll(path);
    list.prepend(path);
    while (list.size() > MaxEntries)
        list.removeLast();
    openSettings().setValue(QLatin1String(key), list);
    return list;
}

QString RecentList::actionText(int index, const QString &path)
{
    // A "&" of the name itself must show, not become a second mnemonic.
    QString name = QFileInfo(path).fileName();
    name.replace(QLatin1Char('&'), QLatin1String("&&"));
    return QStringLiteral("&%1 %2").arg(QString::number(index + 1), name);
}

} // namespace ov
