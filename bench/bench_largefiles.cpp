// Opens a large file and a file of one very long line in the editor,
// edits each in the middle, saves it back unchanged in content, and prints
// the times. Usage: bench_largefiles FILE...
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <cstdio>

#include "app/dialogs.h"
#include "app/dodivez.h"
#include "editor/core/textfile.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"

using namespace ov;

static QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

static long rssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    return -1;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Dialogs::setScripted(true);
    DODIvez window{QString()};
    window.show();
    QCoreApplication::processEvents();
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        const QByteArray original = readAll(path);
        Dialogs::queueAnswer(QMessageBox::Yes); // "opening it may take a while"
        QElapsedTimer t;
        t.start();
        if (!window.mainView()->addSource(path)) {
            printf("%s: did not open\n", argv[i]);
            ++failures;
            continue;
        }
        SourceEdit *e = window.mainView()->getSource(path);
        QCoreApplication::processEvents();
        const qint64 openMs = t.elapsed();

        // A keystroke in the middle and its undo.
        t.restart();
        QTextCursor c = e->textCursor();
        c.setPosition(e->document()->characterCount() / 2);
        e->setTextCursor(c);
        QCoreApplication::processEvents();
        const qint64 moveMs = t.elapsed();
        t.restart();
        e->insertPlainText(QStringLiteral("x"));
        QCoreApplication::processEvents();
        const qint64 typeMs = t.elapsed();
        e->undo();
        QCoreApplication::processEvents();
        e->document()->setModified(true);

        t.restart();
        const bool saved = e->saveDocument();
        const qint64 saveMs = t.elapsed();
        // Equal to what was loaded, but for the tabs the editor turns into spaces.
        DecodedText loaded = decodeText(original);
        const bool same = readAll(path) == encodeText(expandTabs(loaded.text), &loaded.format);
        printf("%s: %.1f MB, %d lines: open %lld ms, cursor to middle %lld ms, keystroke %lld ms, save %lld ms, "
               "saved %s, bytes %s, peak rss %ld MB\n",
               qPrintable(QFileInfo(path).fileName()), original.size() / 1048576.0, e->document()->blockCount(),
               openMs, moveMs, typeMs, saveMs, saved ? "yes" : "NO", same ? "equal" : "DIFFERENT", rssMb());
        failures += !saved || !same;
        e->document()->setModified(false);
        window.mainView()->closeTab(window.mainView()->currentIndex());
    }
    return failures ? 1 : 0;
}
