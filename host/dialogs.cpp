#include "host/dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QQueue>

namespace ov {

namespace {

struct Script {
    bool on = false;
    QQueue<QVariant> answers;
    QQueue<std::function<int(QDialog *)>> handlers;
    QList<Dialogs::Call> calls;
};

Script &script()
{
    static Script s;
    return s;
}

QVariant takeAnswer(const QString &kind, const QString &title, const QString &text,
                    const QString &informativeText = QString())
{
    script().calls.append({kind, title, text, informativeText});
    return script().answers.isEmpty() ? QVariant() : script().answers.dequeue();
}

QMessageBox::StandardButton scriptedButton(const QVariant &v, QMessageBox::StandardButtons buttons)
{
    if (v.isValid())
        return QMessageBox::StandardButton(v.toInt());
    // Unanswered: the safest button offered.
    for (auto b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok})
        if (buttons & b)
            return b;
    return QMessageBox::NoButton;
}

using BoxFn = QMessageBox::StandardButton (*)(QWidget *, const QString &, const QString &,
                                              QMessageBox::StandardButtons, QMessageBox::StandardButton);

QMessageBox::StandardButton box(const char *kind, BoxFn fn, QWidget *parent, const QString &title,
                                const QString &text, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton def)
{
    if (script().on)
        return scriptedButton(takeAnswer(QLatin1String(kind), title, text), buttons);
    return fn(parent, title, text, buttons, def);
}

} // namespace

QMessageBox::StandardButton Dialogs::critical(QWidget *parent, const QString &title, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton def)
{
    return box("critical", &QMessageBox::critical, parent, title, text, buttons, def);
}

QMessageBox::StandardButton Dialogs::warning(QWidget *parent, const QString &title, const QString &text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton def)
{
    return box("warning", &QMessageBox::warning, parent, title, text, buttons, def);
}

QMessageBox::StandardButton Dialogs::warningAbout(QWidget *parent, const QString &title, const QString &text,
                                                  const QString &informativeText,
                                                  QMessageBox::StandardButtons buttons,
                                                  QMessageBox::StandardButton def)
{
    if (script().on) {
        return scriptedButton(takeAnswer(QStringLiteral("warning"), title, text, informativeText), buttons);
    }
    QMessageBox box(QMessageBox::Warning, title, text, buttons, parent);
    box.setInformativeText(informativeText);
    box.setDefaultButton(def);
    return QMessageBox::StandardButton(box.exec());
}

QMessageBox::StandardButton Dialogs::information(QWidget *parent, const QString &title, const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton def)
{
    return box("information", &QMessageBox::information, parent, title, text, buttons, def);
}

QMessageBox::StandardButton Dialogs::question(QWidget *parent, const QString &title, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton def)
{
    return box("question", &QMessageBox::question, parent, title, text, buttons, def);
}

QString Dialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter)
{
    if (script().on)
        return takeAnswer(QStringLiteral("getOpenFileName"), caption, dir).toString();
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList Dialogs::getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                      const QString &filter)
{
    if (script().on)
        return takeAnswer(QStringLiteral("getOpenFileNames"), caption, dir).toStringList();
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString Dialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter)
{
    if (script().on)
        return takeAnswer(QStringLiteral("getSaveFileName"), caption, dir).toString();
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString Dialogs::getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    if (script().on)
        return takeAnswer(QStringLiteral("getExistingDirectory"), caption, dir).toString();
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

int Dialogs::getInt(QWidget *parent, const QString &title, const QString &label, int value, int min, int max,
                    int step, bool *ok)
{
    if (script().on) {
        const QVariant v = takeAnswer(QStringLiteral("getInt"), title, label);
        if (ok)
            *ok = v.isValid();
        return v.isValid() ? v.toInt() : value;
    }
    return QInputDialog::getInt(parent, title, label, value, min, max, step, ok);
}

QString Dialogs::getText(QWidget *parent, const QString &title, const QString &label, QLineEdit::EchoMode mode,
                         const QString &text, bool *ok)
{
    if (script().on) {
        const QVariant v = takeAnswer(QStringLiteral("getText"), title, label);
        if (ok)
            *ok = v.isValid();
        return v.isValid() ? v.toString() : QString();
    }
    return QInputDialog::getText(parent, title, label, mode, text, ok);
}

QString Dialogs::getItem(QWidget *parent, const QString &title, const QString &label, const QStringList &items,
                         bool *ok)
{
    if (script().on) {
        const QVariant v = takeAnswer(QStringLiteral("getItem"), title, label);
        if (ok)
            *ok = v.isValid();
        return v.isValid() ? v.toString() : QString();
    }
    return QInputDialog::getItem(parent, title, label, items, 0, false, ok);
}

int Dialogs::exec(QDialog *dialog)
{
    if (script().on) {
        script().calls.append({QStringLiteral("exec"), dialog->windowTitle(), dialog->objectName()});
        if (script().handlers.isEmpty())
            return QDialog::Rejected;
        return script().handlers.dequeue()(dialog);
    }
    return dialog->exec();
}

void Dialogs::setScripted(bool on) { script().on = on; }
bool Dialogs::isScripted() { return script().on; }
void Dialogs::queueAnswer(const QVariant &answer) { script().answers.enqueue(answer); }
void Dialogs::queueDialogHandler(std::function<int(QDialog *)> handler) { script().handlers.enqueue(std::move(handler)); }
QList<Dialogs::Call> Dialogs::calls() { return script().calls; }
Dialogs::Call Dialogs::lastCall() { return script().calls.isEmpty() ? Call() : script().calls.last(); }

void Dialogs::clear()
{
    script().answers.clear();
    script().handlers.clear();
    script().calls.clear();
}

} // namespace ov
