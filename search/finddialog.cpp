#include "search/finddialog.h"

namespace ov {

FindDialog::FindDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Find and Replace"));
}

void FindDialog::showFind(QString) { show(); }
void FindDialog::showFind() { showFind(QString()); }
void FindDialog::showReplace(QString) { show(); }
void FindDialog::showReplace() { showReplace(QString()); }

} // namespace ov
