#include <QApplication>

#include "app/dodivez.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Verovo"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("verovo.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Viziro"));

    const QStringList args = QCoreApplication::arguments();
    const QString startPath = args.size() > 1 ? args.at(1) : QString();

    // Deleted after the loop ends: its destructor saves the project and settings.
    auto *window = new ov::DODIvez(startPath);
    window->show();
    const int rc = app.exec();
    delete window;
    return rc;
}
