#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace ov {

// The file an include or require statement of one line names, read from
// the forms real code writes: string literals joined with ".", __DIR__,
// dirname(__FILE__), dirname(__DIR__), dirname(__FILE__, n), parentheses
// around it all; constants, variables and calls stand for unknown folders.
struct IncludeTarget {
    enum Kind {
        None,     // no include, or nothing to go by
        Plain,    // literals only: `path` as written
        InFolder, // `path` after the folder `levelsUp` above the file's own
        Suffix,   // starts unknown: some file whose path ends with `path`
    };
    Kind kind = None;
    QString path;
    int levelsUp = 0;

    static IncludeTarget parse(QStringView line);

    // For InFolder: the path it names for a file in `fileDir`.
    QString resolve(const QString &fileDir) const;
    // For Suffix: the files of `files` whose path ends with `path`, where
    // the part before it ends a folder name.
    QStringList matches(const QStringList &files) const;
};

} // namespace ov
