#include "search/findresults.h"

namespace ov {

FindResults::FindResults(QMainWindow *mainWindow, QWidget *parent)
    : QTreeWidget(parent), mainWindow(mainWindow)
{
    setHeaderHidden(true);
}

Output::Output(QWidget *parent) : QListWidget(parent) {}

} // namespace ov
