#include "search/core/findentry.h"

#include <QList>

namespace ov {

int registerFindEntryType()
{
    static const int id = [] {
        qRegisterMetaType<QList<ov::FindEntry>>();
        return qRegisterMetaType<ov::FindEntry>("ov::FindEntry");
    }();
    return id;
}

} // namespace ov
