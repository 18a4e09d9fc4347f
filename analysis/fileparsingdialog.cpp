#include "analysis/fileparsingdialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace ov {

FileParsingDialog::FileParsingDialog(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint)
{
    resize(183, 68);
    setSizeGripEnabled(true);
    setModal(true);

    layout = new QGridLayout(this);
    firstLabel = new QLabel(tr("Analysing ..."), this);
    firstLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(firstLabel, 0, 0);
    secondLabel = new QLabel(tr("Please wait..."), this);
    secondLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(secondLabel, 1, 0);
    bar = new QProgressBar(this);
    bar->setMinimumSize(0, 10);
    bar->setMaximumSize(16777215, 10);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setInvertedAppearance(false);
    layout->addWidget(bar, 2, 0);

    connect(bar, &QProgressBar::valueChanged, this, &FileParsingDialog::updateProgressBarAppearance);
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &FileParsingDialog::updateProgressBar);
    timer->setInterval(10);
}

void FileParsingDialog::showEvent(QShowEvent *event)
{
    timer->start();
    QDialog::showEvent(event);
}

void FileParsingDialog::hideEvent(QHideEvent *event)
{
    timer->stop();
    QDialog::hideEvent(event);
}

void FileParsingDialog::setMessage(const QString &text)
{
    firstLabel->setText(text);
}

QString FileParsingDialog::message() const
{
    return firstLabel->text();
}

void FileParsingDialog::updateProgressBar()
{
    bar->setValue(bar->value() + step);
}

void FileParsingDialog::updateProgressBarAppearance(int n)
{
    if (n == 0 || n == 100)
        step = -step;
    if (n == 100)
        bar->setInvertedAppearance(!bar->invertedAppearance());
}

} // namespace ov
