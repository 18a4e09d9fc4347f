#include "editor/core/completionwords.h"

#include <algorithm>
#include <iterator>

namespace ov {

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
        sortedNames.sort();
    }
    locals = localVariables;
    QStringList sortedLocals = localVariables;
    sortedLocals.sort();
    QStringList merged;
    merged.reserve(sortedNames.size() + sortedLocals.size());
    std::merge(sortedNames.cbegin(), sortedNames.cend(), sortedLocals.cbegin(), sortedLocals.cend(),
               std::back_inserter(merged));
    const bool changed = !built || merged != list;
    list = merged;
    built = true;
    return changed;
}

} // namespace ov
