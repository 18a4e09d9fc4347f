#pragma once

#include <QDialog>

namespace ov {

// Product name, version and the maker's web link.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);

public Q_SLOTS:
    void showAbout();
    void webLink(QString link);
};

} // namespace ov
