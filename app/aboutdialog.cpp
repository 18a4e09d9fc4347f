#include "app/aboutdialog.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QUrl>

#include "app/applog.h"

namespace ov {

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent)
{
    setModal(true);
    setWindowTitle(QStringLiteral("About"));
    resize(320, 206);

    auto *grid = new QGridLayout(this);

    auto *logo = new QLabel(this);
    logo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    logo->setMaximumSize(128, 128);
    logo->setBaseSize(128, 128);
    logo->setPixmap(QPixmap(QStringLiteral(":/icons/Viziro_logo.png")));
    logo->setScaledContents(true);

    auto *name = new QLabel(QStringLiteral("Viziro"), this);
    QFont nameFont = name->font();
    nameFont.setPointSize(16);
    nameFont.setBold(true);
    nameFont.setKerning(true);
    name->setFont(nameFont);
    QPalette pal = name->palette();
    pal.setColor(QPalette::Active, QPalette::WindowText, QColor(0, 170, 0));
    pal.setColor(QPalette::Inactive, QPalette::WindowText, QColor(0, 170, 0));
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    name->setPalette(pal);

    auto *tagline = new QLabel(QStringLiteral("Advanced PHP Projects Editor"), this);
    QFont taglineFont = tagline->font();
    taglineFont.setPointSize(10);
    tagline->setFont(taglineFont);

    auto *version = new QLabel(QStringLiteral("Version 1.0.10"), this);

    auto *link = new QLabel(this);
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    link->setText(QStringLiteral("<a href=\"https://verovo.example/viziro\">verovo.example/viziro</a>"));
    connect(link, &QLabel::linkActivated, this, &AboutDialog::webLink);

    grid->addWidget(logo, 0, 0, 4, 2);
    grid->addWidget(name, 0, 2);
    grid->addWidget(tagline, 1, 2);
    grid->addWidget(version, 2, 2);
    grid->addWidget(link, 3, 2);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, 4, 0, 1, 3);

    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    grid->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 5, 0, 1, 2);
    grid->addWidget(close, 5, 2, Qt::AlignRight);
    connect(close, &QPushButton::pressed, this, &QWidget::hide);
}

void AboutDialog::showAbout()
{
    show();
}

void AboutDialog::webLink(QString link)
{
    if (!QDesktopServices::openUrl(QUrl(link)))
        qCWarning(lcApp, "cannot open %s", qUtf8Printable(link));
}

} // namespace ov
