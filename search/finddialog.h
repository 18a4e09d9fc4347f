#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace ov {

class Host;

// The modeless "Find and Replace" window. It holds no search logic: each
// button reads the controls of its own tab and calls the main window.
class FindDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FindDialog(QWidget *parent);

    // Adds `text` at the top of a history box unless the box already holds
    // it in any letter case.
    static void addToHistory(QComboBox *box, const QString &text);

    // What "Find Next" looks for.
    QString findNextText() const;

public Q_SLOTS:
    void showFind(QString text);
    void showFind();
    void showReplace(QString text);
    void showReplace();
    void find();
    void replace();
    void findAll();
    void replaceAll();

private:
    QWidget *createFindPage();
    QWidget *createReplacePage();
    void showTab(int index, QComboBox *box, const QString &text);

    Host *mainWindow = nullptr;
    QTabWidget *tabs = nullptr;

    // "Find" tab
    QComboBox *findWhat = nullptr;
    QComboBox *findLookIn = nullptr;
    QCheckBox *findMatchCase = nullptr;
    QCheckBox *findMatchWord = nullptr;
    QRadioButton *resultWindow1 = nullptr;
    QRadioButton *resultWindow2 = nullptr;
    QPushButton *findAllButton = nullptr;

    // "Replace" tab
    QComboBox *replaceFindWhat = nullptr;
    QComboBox *replaceWith = nullptr;
    QComboBox *replaceLookIn = nullptr;
    QCheckBox *replaceMatchCase = nullptr;
    QCheckBox *replaceMatchWord = nullptr;
    QPushButton *findNextButton = nullptr;
    QPushButton *replaceButton = nullptr;
    QPushButton *replaceAllButton = nullptr;
};

} // namespace ov
