#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

namespace ov {

// The per-user settings store (organisation "Verovo", application "Viziro").
QSettings openSettings();

// The per-user lists of recently opened files and projects, kept in the
// settings store under "recentFileList" and "recentProjectList", most
// recent first.
class RecentList
{
public:
    enum { MaxEntries = 5 };

    static const char *const FilesKey;
    static const char *const ProjectsKey;

    // The stored list, at most MaxEntries long; a value of another type
    // reads as empty.
    static QStringList read(const char *key);
    // Puts `path` at the top, drops its older copies (exact comparison) and
    // whatever falls beyond MaxEntries; returns the list as stored.
    static QStringList add(const char *key, const QString &path);

    // "&1 index.php": the position is the mnemonic, the folder is left out.
    static QString actionText(int index, const QString &path);
};

} // namespace ov
