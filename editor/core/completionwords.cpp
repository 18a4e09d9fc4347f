#include "editor/core/completionwords.h"

#include <QList>

#include <algorithm>

namespace ov {

namespace {

// Lower-cased once per word rather than once per comparison.
struct Keyed {
    QString key;
    QString word;
    bool operator<(const Keyed &o) const { return key < o.key || (key == o.key && word < o.word); }
};

QList<Keyed> keyed(const QStringList &words)
{
    QList<Keyed> out;
    out.reserve(words.size());
    for (const QString &w : words)
        out.append(Keyed{w.toLower(), w});
    return out;
}

} // namespace

void sortForCompleter(QStringList &words)
{
    QList<Keyed> k = keyed(words);
    std::sort(k.begin(), k.end());
    for (qsizetype i = 0; i < k.size(); ++i)
        words[i] = std::move(k[i].word);
}

bool CompletionWords::update(const QStringList &newNames, const QStringList &localVariables)
{
    // Equal lists that share their data compare in constant time, which is
    // the common case: the view hands out copies of one list.
    const bool namesChanged = !built || newNames != names;
    if (!namesChanged && localVariables == locals)
        return false;
    if (namesChanged) {
        names = newNames;
        sortedNames = newNames;
        sortForCompleter(sortedNames);
        nameKeys.clear();
        nameKeys.reserve(sortedNames.size());
        for (const QString &name : std::as_const(sortedNames))
            nameKeys.append(name.toLower());
    }
    locals = localVariables;
    QStringList merged;
    if (localVariables.isEmpty()) {
        merged = sortedNames;
    } else {
        QList<Keyed> sortedLocals = keyed(localVariables);
        std::sort(sortedLocals.begin(), sortedLocals.end());
        merged.reserve(sortedNames.size() + sortedLocals.size());
        qsizetype l = 0;
        for (qsizetype n = 0; n < sortedNames.size(); ++n) {
            while (l < sortedLocals.size() && sortedLocals[l] < Keyed{nameKeys[n], sortedNames[n]})
                merged.append(sortedLocals[l++].word);
            merged.append(sortedNames[n]);
        }
        while (l < sortedLocals.size())
            merged.append(sortedLocals[l++].word);
    }
    const bool changed = !built || merged != list;
    list = merged;
    built = true;
    return changed;
}

} // namespace ov
