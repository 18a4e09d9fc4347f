// Search commands of the main window.
#include "app/dodivez.h"

namespace ov {

void DODIvez::fastSearch(QString) {}
void DODIvez::setFindResultWindow(int n) { findResultWindow = n; }
int DODIvez::getFindResultWindow() { return findResultWindow; }
void DODIvez::findInCurrentDocument(QString, bool, bool, int) {}
void DODIvez::findInAllOpenedDocuments(QString, bool, bool, int) {}
void DODIvez::findInProject(QString, bool, bool, int) {}
void DODIvez::resetFindNReplacePosition() {}
void DODIvez::findNext(QString, bool, bool, int) {}
void DODIvez::replaceNext(QString, QString, bool, bool, int) {}
void DODIvez::replaceAll(QString, QString, bool, bool, int) {}
void DODIvez::setFindNReplaceStartPosition(int pos) { findNReplaceStartPosition = pos; }

} // namespace ov
