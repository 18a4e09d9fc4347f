// Start-up and large-file figures for bench/startup.
//   bench_startup bare       a bare window with one text edit, shown, then exit
//   bench_startup viziro     the editor's main window, shown, then exit
//   bench_startup open FILE  time and memory to open FILE into a tab
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "app/dodivez.h"
#include "editor/mainview.h"
#include "host/dialogs.h"

namespace {

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
double statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble();
    return 0;
}

double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Shows the window and leaves the event loop once it has been painted.
int showAndQuit(QWidget &window)
{
    window.show();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Verovo"));
    QCoreApplication::setApplicationName(QStringLiteral("Viziro"));
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.value(1);

    if (mode == QLatin1String("bare")) {
        QMainWindow window;
        window.setCentralWidget(new QPlainTextEdit(&window));
        window.resize(1000, 700);
        return showAndQuit(window);
    }
    if (mode == QLatin1String("viziro")) {
        ov::DODIvez window{QString()};
        window.resize(1000, 700);
        return showAndQuit(window);
    }
    if (mode == QLatin1String("open") && args.size() > 2) {
        ov::Dialogs::setScripted(true); // no prompt may block the measurement
        ov::DODIvez window{QString()};
        window.resize(1000, 700);
        window.show();
        settle();
        const double rssBefore = statusKb("VmRSS");
        QElapsedTimer timer;
        timer.start();
        const double cpu0 = cpuMs();
        const bool ok = window.mainView()->addSource(args.at(2));
        settle();
        const qint64 ms = timer.elapsed();
        const double cpu = cpuMs() - cpu0;
        const double rssMb = (statusKb("VmHWM") - rssBefore) / 1024.0;
        if (!ok) {
            std::fprintf(stderr, "could not open %s\n", qPrintable(args.at(2)));
            return 1;
        }
        // CPU time too: on a busy machine the wall time mostly measures waiting.
        std::printf("open_ms=%lld cpu_ms=%.0f rss_mb=%.1f\n", static_cast<long long>(ms), cpu, rssMb);
        return 0;
    }
    std::fprintf(stderr, "usage: bench_startup bare | viziro | open FILE\n");
    return 2;
}
