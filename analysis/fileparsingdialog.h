#pragma once

#include <QDialog>

class QGridLayout;
class QLabel;
class QProgressBar;
class QTimer;

namespace ov {

// A small modal "please wait" box with a bar sweeping back and forth.
// Ready for long analyses; nothing shows it today.
class FileParsingDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FileParsingDialog(QWidget *parent = nullptr);

    void setMessage(const QString &text);
    QString message() const;
    QProgressBar *progressBar() const { return bar; }

protected:
    // The sweep runs only while the dialog is shown.
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

protected Q_SLOTS:
    void updateProgressBar();
    void updateProgressBarAppearance(int n);

private:
    QGridLayout *layout = nullptr;
    QLabel *firstLabel = nullptr;
    QLabel *secondLabel = nullptr;
    QProgressBar *bar = nullptr;
    int step = 1;
    QTimer *timer = nullptr;
};

} // namespace ov
