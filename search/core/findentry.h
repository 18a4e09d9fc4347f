#pragma once

#include <QMetaType>
#include <QString>

namespace ov {

// One find hit, as the result windows list it.
struct FindEntry {
    QString fileName;   // the path as given to the search; groups the hits
    QString lineText;   // the whole line holding the hit
    int startColumn = 0;
    int endColumn = 0;  // startColumn + the hit's length
    int lineNumber = 0; // from 1

    bool operator==(const FindEntry &o) const
    {
        return fileName == o.fileName && lineText == o.lineText && startColumn == o.startColumn
            && endColumn == o.endColumn && lineNumber == o.lineNumber;
    }
};

// Registers FindEntry as "ov::FindEntry" (idempotent); done at first use.
int registerFindEntryType();

} // namespace ov

Q_DECLARE_METATYPE(ov::FindEntry)
