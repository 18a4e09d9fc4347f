#pragma once

#include <QStringList>

namespace ov {

// The order QCompleter's binary search over a case-insensitively sorted
// model assumes: letters compared as lower case.
void sortForCompleter(QStringList &words);

// The words an editor completes: every known function name plus the local
// variables of the functions around the cursor, in sortForCompleter order.
// Rebuilt only when its inputs change: the cursor moves far more often than
// the names do, and sorting thousands of names per move is noticeable.
class CompletionWords
{
public:
    // True when the words differ from the last call's.
    bool update(const QStringList &names, const QStringList &localVariables);
    const QStringList &words() const { return list; }

private:
    QStringList names;
    QStringList sortedNames;
    QStringList nameKeys; // sortedNames in lower case
    QStringList locals;
    QStringList list;
    bool built = false;
};

} // namespace ov
