#include <QApplication>
#include <QCommandLineParser>

#include "app/dodivez.h"
#include "editor/core/workers.h"

namespace {

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Verovo"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("verovo.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Viziro"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VIZIRO_VERSION));
}

void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Advanced PHP Projects Editor"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("paths"),
        QStringLiteral("Project files (.vuzar) to open as projects, any other file to open in a tab; "
                       "FILE:LINE or FILE:LINE:COLUMN opens FILE there."),
        QStringLiteral("[paths...]"));
}

} // namespace

int main(int argc, char *argv[])
{
    // --help and --version print and exit without a display. Qt's own
    // options (-platform, -style) are only known once QApplication has taken
    // them out, so this first look lets what it does not know pass.
    {
        QStringList args;
        for (int i = 0; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        QCommandLineParser parser;
        describeOptions(parser);
        parser.parse(args);
        if (parser.isSet(QStringLiteral("version")) || parser.isSet(QStringLiteral("help"))) {
            QCoreApplication app(argc, argv);
            nameApplication();
            if (parser.isSet(QStringLiteral("version")))
                parser.showVersion();
            parser.showHelp();
        }
    }

    QApplication app(argc, argv);
    nameApplication();
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app); // exits after --help-all or an unknown option

    // Background work; its end waits for what is still running, after the window.
    ov::Workers workers;
    // Deleted after the loop ends: its destructor saves the project and settings.
    auto *window = new ov::DODIvez(parser.positionalArguments());
    window->show();
    const int rc = app.exec();
    delete window;
    return rc;
}
