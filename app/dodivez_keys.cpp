// Keyboard commands of the main window: the shortcuts of the menus' actions
// and the commands that exist mainly for the keyboard.
#include "app/dodivez.h"

#include <QAction>
#include <QComboBox>
#include <QKeySequence>
#include <QMenu>

#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "search/finddialog.h"

namespace ov {

namespace {

// The platform's keys for a standard command; `fallback` where it has none.
QList<QKeySequence> standardKeys(QKeySequence::StandardKey key, const QKeySequence &fallback)
{
    const QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    return keys.isEmpty() ? QList<QKeySequence>{fallback} : keys;
}

QAction *makeAction(QObject *parent, const char *text)
{
    return new QAction(QString::fromLatin1(text), parent);
}

void insertAfter(QMenu *menu, QAction *anchor, const QList<QAction *> &actions)
{
    const QList<QAction *> all = menu->actions();
    const qsizetype at = all.indexOf(anchor);
    QAction *before = at >= 0 && at + 1 < all.size() ? all.at(at + 1) : nullptr;
    menu->insertActions(before, actions);
}

} // namespace

void DODIvez::createKeyActions()
{
    closeTabAct = makeAction(this, "Close");
    findNextAct = makeAction(this, "Find Next");
    replaceAct = makeAction(this, "Replace");
    goToLineAct = makeAction(this, "Go To Line...");
    goToDeclarationAct = makeAction(this, "Go To Declaration");
    nextTabAct = makeAction(this, "Next Tab");
    previousTabAct = makeAction(this, "Previous Tab");

    connect(closeTabAct, &QAction::triggered, this, &DODIvez::closeCurrentTab);
    connect(findNextAct, &QAction::triggered, this, &DODIvez::findNextAgain);
    connect(replaceAct, &QAction::triggered, this, &DODIvez::replace);
    connect(goToLineAct, &QAction::triggered, this, &DODIvez::changeCurrentLine);
    connect(goToDeclarationAct, &QAction::triggered, this, &DODIvez::goToDeclaration);
    connect(nextTabAct, &QAction::triggered, this, &DODIvez::nextTab);
    connect(previousTabAct, &QAction::triggered, this, &DODIvez::previousTab);

    insertAfter(fileMenu, saveAllAct, {closeTabAct});
    insertAfter(editMenu, findAct, {findNextAct, replaceAct});
    editMenu->addSeparator();
    editMenu->addActions({goToLineAct, goToDeclarationAct});
    viewMenu->addSeparator();
    viewMenu->addActions({nextTabAct, previousTabAct});

    assignShortcuts();
}

// Undo, copy, cut and paste keep no shortcut here: the editor answers
// those keys itself (paste through its tab-expanding paste), as it does
// Ctrl+Space for completion.
void DODIvez::assignShortcuts()
{
    using K = QKeySequence;
    newFileAct->setShortcuts(standardKeys(K::New, K(Qt::CTRL | Qt::Key_N)));
    openFileAct->setShortcuts(standardKeys(K::Open, K(Qt::CTRL | Qt::Key_O)));
    saveAct->setShortcuts(standardKeys(K::Save, K(Qt::CTRL | Qt::Key_S)));
    saveAsAct->setShortcuts(standardKeys(K::SaveAs, K(Qt::CTRL | Qt::SHIFT | Qt::Key_S)));
    closeTabAct->setShortcuts(standardKeys(K::Close, K(Qt::CTRL | Qt::Key_W)));
    exitAct->setShortcuts(standardKeys(K::Quit, K(Qt::CTRL | Qt::Key_Q)));
    findAct->setShortcuts(standardKeys(K::Find, K(Qt::CTRL | Qt::Key_F)));
    // Not the standard Find Next, which holds Ctrl+G here: that goes to the line.
    findNextAct->setShortcut(K(Qt::Key_F3));
    replaceAct->setShortcuts(standardKeys(K::Replace, K(Qt::CTRL | Qt::Key_H)));
    goToLineAct->setShortcut(K(Qt::CTRL | Qt::Key_G));
    goToDeclarationAct->setShortcut(K(Qt::Key_F12));
    nextTabAct->setShortcuts({K(Qt::CTRL | Qt::Key_Tab), K(Qt::CTRL | Qt::Key_PageDown)});
    previousTabAct->setShortcuts({K(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), K(Qt::CTRL | Qt::Key_PageUp)});
    toggleBookmarkAct->setShortcut(K(Qt::CTRL | Qt::Key_F2));
    nextBookmarkAct->setShortcut(K(Qt::Key_F2));
    prevBookmarkAct->setShortcut(K(Qt::SHIFT | Qt::Key_F2));
    commentAct->setShortcut(K(Qt::CTRL | Qt::Key_Slash));
    uncommentAct->setShortcut(K(Qt::CTRL | Qt::SHIFT | Qt::Key_Slash));
    // Shown in the toolbars' tips as well as in the menus.
    for (QAction *action : {newFileAct, openFileAct, saveAct, findAct, toggleBookmarkAct, nextBookmarkAct,
                            prevBookmarkAct, commentAct, uncommentAct}) {
        action->setToolTip(QStringLiteral("%1 (%2)").arg(action->iconText(),
                                                          action->shortcut().toString(K::NativeText)));
    }
}

void DODIvez::focusCurrentPage()
{
    if (SourceEdit *editor = view->getCurrentSource())
        editor->setFocus(Qt::ShortcutFocusReason);
    else if (QWidget *page = view->currentWidget())
        page->setFocus(Qt::ShortcutFocusReason);
}

void DODIvez::closeCurrentTab()
{
    if (view->count() > 0)
        view->closeTab(view->currentIndex());
    focusCurrentPage();
}

// F3 repeats the search the user made last: the fast-search box's, or the
// dialog's Find Next. With nothing searched yet the dialog asks for a text.
void DODIvez::findNextAgain()
{
    const QString boxText = fastSearchBox->currentText();
    const QString dialogText = findNReplaceDialog->findNextText();
    if (!boxText.isEmpty() && (lastSearchInBox || dialogText.isEmpty()))
        fastSearch(boxText);
    else if (!dialogText.isEmpty())
        findNReplaceDialog->find();
    else
        replace();
}

void DODIvez::goToDeclaration()
{
    if (SourceEdit *editor = view->getCurrentSource())
        editor->goToDeclarationAtCursor();
}

void DODIvez::nextTab()
{
    if (view->count() > 1)
        view->setCurrentIndex((view->currentIndex() + 1) % view->count());
    focusCurrentPage();
}

void DODIvez::previousTab()
{
    if (view->count() > 1)
        view->setCurrentIndex((view->currentIndex() + view->count() - 1) % view->count());
    focusCurrentPage();
}

} // namespace ov
