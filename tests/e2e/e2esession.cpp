#include "e2esession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

namespace e2e {

namespace {

// How often a wait looks again: short against a keystroke's handling.
constexpr int pollMs = 20;

void pause()
{
    QThread::msleep(pollMs);
}

} // namespace

// ------------------------------------------------------------------ XServer

XServer::~XServer()
{
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        if (!server.waitForFinished(5000))
            server.kill();
        server.waitForFinished(2000);
    }
}

bool XServer::start()
{
    // The server picks a free display itself and writes its number on
    // the given descriptor once it accepts clients.
    server.setProgram(QStringLiteral("Xvfb"));
    server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                         QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp"), QStringLiteral("-noreset")});
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start();
    if (!server.waitForStarted(10000)) {
        error = QStringLiteral("Xvfb did not start: ") + server.errorString();
        return false;
    }
    QByteArray out;
    const QDeadlineTimer deadline(30000);
    while (!out.contains('\n') && !deadline.hasExpired()) {
        if (server.state() == QProcess::NotRunning)
            break;
        server.waitForReadyRead(200);
        out += server.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        error = QStringLiteral("Xvfb gave no display number: ") + QString::fromLocal8Bit(server.readAllStandardError());
        return false;
    }
    displayName = QStringLiteral(":%1").arg(number);
    return true;
}

// ------------------------------------------------------------------- Editor

Editor::Editor(const XServer &x)
    : x(x)
{
    work = home.filePath(QStringLiteral("work"));
    QDir(home.path()).mkpath(QStringLiteral("work"));
}

Editor::~Editor()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QString Editor::path(const QString &name) const
{
    return QDir(work).filePath(name);
}

bool Editor::writeFile(const QString &name, const QByteArray &bytes) const
{
    QFile file(path(name));
    QDir().mkpath(QFileInfo(file).absolutePath());
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Editor::readFile(const QString &name) const
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Editor::start(const QStringList &arguments)
{
    // A settings home of its own: no stored geometry, recent files or
    // working folder of the user's (or of another scenario) reaches it.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString root = home.path();
    for (const char *dir : {"config", "data", "cache", "runtime"})
        QDir(root).mkpath(QLatin1String(dir));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("HOME"), root);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("XAUTHORITY"));
    env.remove(QStringLiteral("SESSION_MANAGER"));

    process.setProcessEnvironment(env);
    process.setWorkingDirectory(work);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VIZIRO_EXECUTABLE), arguments);
    if (!process.waitForStarted(10000)) {
        error = QStringLiteral("the editor did not start: ") + process.errorString();
        return false;
    }
    window = waitForWindow(QStringLiteral("Viziro"), 30000);
    if (window.isEmpty())
        return false;
    return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
}

QString Editor::waitForWindow(const QString &pattern, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    const QString pid = QString::number(process.processId());
    do {
        if (process.state() == QProcess::NotRunning) {
            error = QStringLiteral("the editor ended (exit code %1)\n").arg(process.exitCode());
            return QString();
        }
        QString out;
        if (xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), pid,
                     QStringLiteral("--name"), pattern},
                    &out)) {
            const QString id = out.section(QLatin1Char('\n'), 0, 0).trimmed();
            if (!id.isEmpty())
                return id;
        }
        pause();
    } while (!deadline.hasExpired());
    error = QStringLiteral("no window titled like \"%1\" showed\n").arg(pattern);
    return QString();
}

bool Editor::waitForTitle(const QString &pattern, int timeoutMs) const
{
    const QRegularExpression re(pattern);
    const QDeadlineTimer deadline(timeoutMs);
    QString title;
    do {
        if (xdotool({QStringLiteral("getwindowname"), window}, &title) && re.match(title.trimmed()).hasMatch())
            return true;
        pause();
    } while (!deadline.hasExpired());
    error = QStringLiteral("the window's title stayed \"%1\", not \"%2\"\n").arg(title.trimmed(), pattern);
    return false;
}

bool Editor::type(const QString &text)
{
    return xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), QStringLiteral("--"),
                    text},
                   nullptr, 60000);
}

bool Editor::keys(const QStringList &combinations)
{
    return xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30"),
                               QStringLiteral("--")}
                       + combinations);
}

bool Editor::click(int x, int y, int button)
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                    QString::number(y), QStringLiteral("click"), QString::number(button)});
}

QByteArray Editor::waitForFile(const QString &name, const QByteArray &expected, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray bytes;
    do {
        bytes = readFile(name);
        if (bytes == expected)
            return bytes;
        pause();
    } while (!deadline.hasExpired() && process.state() != QProcess::NotRunning);
    return bytes;
}

QString Editor::log() const
{
    // Only read once the process is gone or on failure: a running editor
    // keeps writing.
    auto *self = const_cast<QProcess *>(&process);
    const QByteArray out = self->readAll();
    return out.isEmpty() ? QString() : QStringLiteral("\neditor output:\n") + QString::fromLocal8Bit(out);
}

bool Editor::xdotool(const QStringList &arguments, QString *output, int timeoutMs) const
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.remove(QStringLiteral("XAUTHORITY"));
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForStarted(10000)) {
        error = QStringLiteral("xdotool did not start: %1\n").arg(tool.errorString());
        return false;
    }
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished(2000);
        error = QStringLiteral("xdotool %1 did not finish\n").arg(arguments.join(QLatin1Char(' ')));
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(tool.readAllStandardOutput());
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        error = QStringLiteral("xdotool %1 failed: %2\n")
                    .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(tool.readAllStandardError()));
        return false;
    }
    return true;
}

} // namespace e2e
