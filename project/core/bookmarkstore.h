#pragma once

#include "project/core/projectfile.h"

#include <QList>
#include <QString>

namespace ov {

// The project's bookmarks: lines per file path, and the position that the
// "next" and "previous" commands last went to.
class BookmarkStore
{
public:
    struct Position {
        QString file; // empty until the first step
        int line = 0;
    };

    // Appends `line` unless the file's list holds it already.
    void add(const QString &file, int line);
    // Removes every occurrence; the file keeps its entry, even when emptied.
    void remove(const QString &file, int line);
    bool has(const QString &file, int line) const;
    // Empty or absent: an empty list, and no entry is created.
    QList<int> get(const QString &file) const;
    // An empty list removes the file's entry.
    void set(const QString &file, const QList<int> &lines);
    void clear() { marks.clear(); }

    const BookmarkMap &map() const { return marks; }
    void setMap(const BookmarkMap &map) { marks = map; }

    // Step to the next or previous bookmark, across files in path order and
    // wrapping around; files whose list is empty are skipped. False (and no
    // move) when there is no bookmark at all.
    bool next();
    bool prev();
    Position position() const { return pos; }

private:
    // The first file after (or before) `file` in path order that has lines,
    // wrapping around; `file` itself comes last.
    BookmarkMap::const_iterator neighbour(const QString &file, bool forward) const;
    bool startAtFirst();

    BookmarkMap marks;
    Position pos;
};

} // namespace ov
