#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

namespace ov {

// The one door to every modal question, file dialog and input dialog.
// Tests switch it to scripted mode: nothing is shown, each call is logged
// and takes the next queued answer (or cancels when none is queued), so no
// test ever blocks on a dialog.
class Dialogs
{
public:
    struct Call {
        QString kind;   // "critical", "warning", "information", "question", "getOpenFileName", ...
        QString title;
        QString text;   // message or label
        QString informativeText = QString();
    };

    static QMessageBox::StandardButton critical(QWidget *parent, const QString &title, const QString &text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text,
                                               QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    // A warning whose second, smaller text says what it is about.
    static QMessageBox::StandardButton warningAbout(QWidget *parent, const QString &title, const QString &text,
                                                    const QString &informativeText,
                                                    QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text,
                                                   QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                   QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
                                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    static QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir = QString(),
                                   const QString &filter = QString());
    static QStringList getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir = QString(),
                                        const QString &filter = QString());
    static QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir = QString(),
                                   const QString &filter = QString());
    static QString getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir = QString());

    static int getInt(QWidget *parent, const QString &title, const QString &label, int value, int min, int max,
                      int step = 1, bool *ok = nullptr);
    static QString getText(QWidget *parent, const QString &title, const QString &label,
                           QLineEdit::EchoMode mode = QLineEdit::Normal, const QString &text = QString(),
                           bool *ok = nullptr);
    // One of `items`, not editable; empty when cancelled.
    static QString getItem(QWidget *parent, const QString &title, const QString &label, const QStringList &items,
                           bool *ok = nullptr);

    // Runs a dialog of our own modally. Scripted: the next queued handler
    // gets the dialog (to fill it in) and returns its result code.
    static int exec(QDialog *dialog);

    // --- scripting, for tests ---
    static void setScripted(bool on);
    static bool isScripted();
    // An answer for the next call: a QMessageBox::StandardButton for message
    // boxes, a QString or QStringList for file dialogs, an int for getInt, a
    // QString for getText and getItem. An invalid QVariant cancels.
    static void queueAnswer(const QVariant &answer);
    static void queueDialogHandler(std::function<int(QDialog *)> handler);
    static QList<Call> calls();
    static Call lastCall();
    static void clear(); // forgets queued answers and logged calls
};

} // namespace ov
