#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// End-to-end harness: the real editor on an X server of its own, typed into
// through xdotool, so that every key arrives as a keyboard sends it (Shift
// pressed and released around a shifted character, focus as the window
// really has it). Nothing waits a fixed time: each step waits for what it
// needs to see (the window, a file's bytes, the process's end).
namespace e2e {

// An Xvfb server on a free display number, for one test program's life.
class XServer
{
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    // False, with errorString(), when the server did not come up.
    bool start();
    QString display() const { return displayName; }
    QString errorString() const { return error; }

private:
    QProcess server;
    QString displayName;
    QString error;
};

// One run of build/viziro with a fresh settings home and working folder.
class Editor
{
public:
    explicit Editor(const XServer &x);
    ~Editor();
    Editor(const Editor &) = delete;
    Editor &operator=(const Editor &) = delete;

    // The scenario's own folder: the working folder of the editor, where
    // its files are written before the start and read after saving.
    QString path(const QString &name) const;
    bool writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;

    // Starts the editor with `arguments` (paths relative to the folder),
    // waits until its main window shows and gives that window the X input
    // focus, as a window manager would.
    bool start(const QStringList &arguments = QStringList());
    // Types `text` as keystrokes ("\n" is Return).
    bool type(const QString &text);
    // Presses key combinations in turn, in xdotool's names ("ctrl+s",
    // "shift+Home", "Return").
    bool keys(const QStringList &combinations);
    bool key(const QString &combination) { return keys({combination}); }
    // Clicks at a point of the main window, in window coordinates.
    bool click(int x, int y, int button = 1);

    // Waits until the file holds `expected` and returns what it holds then
    // (or at the end of the wait), so that QCOMPARE shows a difference.
    QByteArray waitForFile(const QString &name, const QByteArray &expected, int timeoutMs = 10000) const;
    // Waits until a visible window whose title matches `pattern` exists
    // (xdotool's regular expressions); returns its id, or an empty string.
    QString waitForWindow(const QString &pattern, int timeoutMs = 10000) const;
    // Waits until the main window's title matches `pattern`.
    bool waitForTitle(const QString &pattern, int timeoutMs = 10000) const;

    QString errorString() const { return error; }
    // What the editor wrote to its standard error, for failure messages.
    QString log() const;

private:
    bool xdotool(const QStringList &arguments, QString *output = nullptr, int timeoutMs = 10000) const;

    const XServer &x;
    QTemporaryDir home;
    QString work;
    QProcess process;
    QString window;
    mutable QString error;
};

} // namespace e2e

// Fails the test with the harness's message when a step does not succeed.
#define E2E_VERIFY(editor, step) QVERIFY2((step), qPrintable((editor).errorString() + (editor).log()))
