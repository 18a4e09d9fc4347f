#pragma once

#include <QDialog>

namespace ov {

// The find and replace dialog. (Stub: filled in by the search work.)
class FindDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FindDialog(QWidget *parent);

public Q_SLOTS:
    void showFind(QString text);
    void showFind();
    void showReplace(QString text);
    void showReplace();
};

} // namespace ov
