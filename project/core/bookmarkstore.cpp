#include "project/core/bookmarkstore.h"

namespace ov {

void BookmarkStore::add(const QString &file, int line)
{
    QList<int> &lines = marks[file];
    if (!lines.contains(line))
        lines.append(line);
}

void BookmarkStore::remove(const QString &file, int line)
{
    marks[file].removeAll(line);
}

bool BookmarkStore::has(const QString &file, int line) const
{
    const auto it = marks.constFind(file);
    return it != marks.cend() && it->contains(line);
}

QList<int> BookmarkStore::get(const QString &file) const
{
    return marks.value(file);
}

void BookmarkStore::set(const QString &file, const QList<int> &lines)
{
    if (lines.isEmpty())
        marks.remove(file);
    else
        marks.insert(file, lines);
}

BookmarkMap::const_iterator BookmarkStore::neighbour(const QString &file, bool forward) const
{
    auto it = marks.constFind(file);
    for (qsizetype n = 0; n < marks.size(); ++n) {
        if (forward) {
            if (it != marks.cend())
                ++it;
            if (it == marks.cend())
                it = marks.cbegin();
        } else {
            if (it == marks.cbegin())
                it = marks.cend();
            --it;
        }
        if (!it->isEmpty())
            return it;
    }
    return marks.cend();
}

bool BookmarkStore::startAtFirst()
{
    for (auto it = marks.cbegin(); it != marks.cend(); ++it) {
        if (!it->isEmpty()) {
            pos = {it.key(), it->first()};
            return true;
        }
    }
    return false;
}

bool BookmarkStore::next()
{
    const auto current = pos.file.isEmpty() ? marks.cend() : marks.constFind(pos.file);
    if (current == marks.cend())
        return startAtFirst();
    for (int line : *current) {
        if (line > pos.line) {
            pos.line = line;
            return true;
        }
    }
    const auto it = neighbour(pos.file, true);
    if (it == marks.cend())
        return false;
    pos = {it.key(), it->first()};
    return true;
}

bool BookmarkStore::prev()
{
    const auto current = pos.file.isEmpty() ? marks.cend() : marks.constFind(pos.file);
    if (current == marks.cend())
        return startAtFirst();
    for (auto line = current->crbegin(); line != current->crend(); ++line) {
        if (*line < pos.line) {
            pos.line = *line;
            return true;
        }
    }
    const auto it = neighbour(pos.file, false);
    if (it == marks.cend())
        return false;
    pos = {it.key(), it->last()};
    return true;
}

} // namespace ov
