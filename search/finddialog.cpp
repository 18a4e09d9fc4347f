#include "search/finddialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QTabWidget>

#include "host/host.h"

namespace ov {

namespace {

QComboBox *scopeBox(QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->addItems({QStringLiteral("Current File"), QStringLiteral("All Opened Files"),
                   QStringLiteral("Current Project")});
    return box;
}

QGroupBox *optionsBox(QWidget *parent, QCheckBox **matchCase, QCheckBox **matchWord)
{
    auto *group = new QGroupBox(QStringLiteral("Find Options"), parent);
    auto *grid = new QGridLayout(group);
    *matchCase = new QCheckBox(QStringLiteral("Match case"), group);
    *matchWord = new QCheckBox(QStringLiteral("Match whole word"), group);
    grid->addWidget(*matchCase, 0, 0);
    grid->addWidget(*matchWord, 1, 0);
    return group;
}

QComboBox *textBox(QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setEditable(true);
    // Only "Find All" adds to a history, and it does so itself.
    box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

} // namespace

FindDialog::FindDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint),
      mainWindow(qobject_cast<Host *>(parent))
{
    setWindowTitle(QStringLiteral("Find and Replace"));
    resize(279, 345);
    setSizeGripEnabled(false);

    auto *outer = new QGridLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    tabs = new QTabWidget(this);
    tabs->setTabShape(QTabWidget::Rounded);
    tabs->setElideMode(Qt::ElideNone);
    tabs->setDocumentMode(true);
    tabs->setTabsClosable(false);
    tabs->addTab(createFindPage(), QStringLiteral("Find"));
    tabs->addTab(createReplacePage(), QStringLiteral("Replace"));
    outer->addWidget(tabs, 0, 0);

    const std::pair<QWidget *, const char *> names[] = {
        {findWhat, "findWhat"}, {findLookIn, "findLookIn"}, {findMatchCase, "findMatchCase"},
        {findMatchWord, "findMatchWord"}, {resultWindow1, "resultWindow1"}, {resultWindow2, "resultWindow2"},
        {findAllButton, "findAllButton"}, {replaceFindWhat, "replaceFindWhat"}, {replaceWith, "replaceWith"},
        {replaceLookIn, "replaceLookIn"}, {replaceMatchCase, "replaceMatchCase"},
        {replaceMatchWord, "replaceMatchWord"}, {findNextButton, "findNextButton"},
        {replaceButton, "replaceButton"}, {replaceAllButton, "replaceAllButton"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));

    connect(findAllButton, &QPushButton::pressed, this, &FindDialog::findAll);
    connect(replaceAllButton, &QPushButton::pressed, this, &FindDialog::replaceAll);
    connect(replaceButton, &QPushButton::pressed, this, &FindDialog::replace);
    connect(findNextButton, &QPushButton::pressed, this, &FindDialog::find);
}

QWidget *FindDialog::createFindPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Find What:"), page), 0, 0, 1, 2);
    findWhat = textBox(page);
    grid->addWidget(findWhat, 1, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Look In:"), page), 2, 0, 1, 1);
    findLookIn = scopeBox(page);
    grid->addWidget(findLookIn, 3, 0, 1, 2);
    grid->addWidget(optionsBox(page, &findMatchCase, &findMatchWord), 4, 0, 1, 2);

    auto *results = new QGroupBox(QStringLiteral("Result Options"), page);
    auto *resultsGrid = new QGridLayout(results);
    resultWindow1 = new QRadioButton(QStringLiteral("Display results in Find Window 1"), results);
    resultWindow2 = new QRadioButton(QStringLiteral("Display results in Find Window 2"), results);
    resultWindow1->setChecked(true);
    resultsGrid->addWidget(resultWindow1, 0, 0);
    resultsGrid->addWidget(resultWindow2, 1, 0);
    grid->addWidget(results, 5, 0, 1, 2);

    grid->addItem(new QSpacerItem(151, 22, QSizePolicy::Expanding, QSizePolicy::Minimum), 6, 0, 1, 1);
    findAllButton = new QPushButton(QStringLiteral("Find All"), page);
    findAllButton->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    grid->addWidget(findAllButton, 6, 1, 1, 1);
    return page;
}

QWidget *FindDialog::createReplacePage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Find What:"), page), 0, 0, 1, 3);
    replaceFindWhat = textBox(page);
    grid->addWidget(replaceFindWhat, 1, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Replace With:"), page), 2, 0, 1, 3);
    replaceWith = textBox(page);
    grid->addWidget(replaceWith, 3, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Look In:"), page), 5, 0, 1, 3);
    replaceLookIn = scopeBox(page);
    grid->addWidget(replaceLookIn, 6, 0, 1, 3);
    grid->addWidget(optionsBox(page, &replaceMatchCase, &replaceMatchWord), 7, 0, 1, 3);

    grid->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 8, 0, 1, 1);
    findNextButton = new QPushButton(QStringLiteral("Find Next"), page);
    grid->addWidget(findNextButton, 8, 1, 1, 1);
    replaceButton = new QPushButton(QStringLiteral("Replace"), page);
    grid->addWidget(replaceButton, 8, 2, 1, 1);
    grid->addItem(new QSpacerItem(151, 22, QSizePolicy::Expanding, QSizePolicy::Minimum), 9, 0, 1, 2);
    replaceAllButton = new QPushButton(QStringLiteral("Replace All"), page);
    grid->addWidget(replaceAllButton, 9, 2, 1, 1);
    return page;
}

void FindDialog::addToHistory(QComboBox *box, const QString &text)
{
    // An empty text finds nothing: it is no history.
    if (text.isEmpty() || box->findText(text, Qt::MatchFixedString) >= 0)
        return;
    box->insertItem(0, text);
    box->setCurrentIndex(0);
}

void FindDialog::showTab(int index, QComboBox *box, const QString &text)
{
    tabs->setCurrentIndex(index);
    if (!text.isEmpty())
        box->setEditText(text);
    box->setFocus();
    box->lineEdit()->selectAll();
    if (mainWindow)
        mainWindow->resetFindNReplacePosition();
    show();
    raise();
    activateWindow();
}

void FindDialog::showFind(QString text)
{
    showTab(0, findWhat, text);
}

void FindDialog::showFind()
{
    showFind(QString());
}

void FindDialog::showReplace(QString text)
{
    showTab(1, replaceFindWhat, text);
}

void FindDialog::showReplace()
{
    showReplace(QString());
}

QString FindDialog::findNextText() const
{
    return replaceFindWhat->currentText();
}

void FindDialog::find()
{
    if (mainWindow)
        mainWindow->findNext(replaceFindWhat->currentText(), replaceMatchCase->isChecked(),
                             replaceMatchWord->isChecked(), replaceLookIn->currentIndex());
}

void FindDialog::replace()
{
    if (mainWindow)
        mainWindow->replaceNext(replaceFindWhat->currentText(), replaceWith->currentText(),
                                replaceMatchCase->isChecked(), replaceMatchWord->isChecked(),
                                replaceLookIn->currentIndex());
}

void FindDialog::findAll()
{
    const QString text = findWhat->currentText();
    const bool matchCase = findMatchCase->isChecked();
    const bool matchWord = findMatchWord->isChecked();
    const int window = resultWindow2->isChecked() ? 1 : 0;
    if (mainWindow) {
        switch (findLookIn->currentIndex()) {
        case 0:
            mainWindow->findInCurrentDocument(text, matchCase, matchWord, window);
            break;
        case 1:
            mainWindow->findInAllOpenedDocuments(text, matchCase, matchWord, window);
            break;
        default:
            mainWindow->findInProject(text, matchCase, matchWord, window);
            break;
        }
    }
    hide();
    addToHistory(findWhat, text);
}

void FindDialog::replaceAll()
{
    if (mainWindow)
        mainWindow->replaceAll(replaceFindWhat->currentText(), replaceWith->currentText(),
                               replaceMatchCase->isChecked(), replaceMatchWord->isChecked(),
                               replaceLookIn->currentIndex());
    hide();
}

} // namespace ov
