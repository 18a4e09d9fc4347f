// Opens a large file and a file of one very long line in the editor, moves
// and types in the middle, jumps to the end, saves it back and checks the
// saved bytes. Prints wall and CPU time of each step (the machine may be
// shared: CPU time is what the editor itself spent).
// Usage: bench_largefiles FILE...
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "app/dodivez.h"
#include "editor/core/textfile.h"
#include "editor/mainview.h"
#include "editor/phpsyntaxhighlighter.h"
#include "editor/sourceedit.h"
#include "host/dialogs.h"

using namespace ov;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

long peakRssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    return -1;
}

double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall and CPU time of one step.
struct Step {
    QElapsedTimer wall;
    double cpu0 = 0;
    Step() { restart(); }
    void restart()
    {
        wall.start();
        cpu0 = cpuMs();
    }
    QString done()
    {
        const QString s = QStringLiteral("%1 ms (cpu %2)").arg(wall.elapsed()).arg(qint64(cpuMs() - cpu0));
        restart();
        return s;
    }
};

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void type(SourceEdit *e, QChar c)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QString(c));
    QApplication::sendEvent(e, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QString(c));
    QApplication::sendEvent(e, &release);
    settle();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Dialogs::setScripted(true);
    DODIvez window{QString()};
    window.resize(1000, 700);
    window.show();
    QCoreApplication::processEvents();
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        const QByteArray original = readAll(path);
        Dialogs::queueAnswer(QMessageBox::Yes); // "opening it may take a while"
        Step step;
        if (!window.mainView()->addSource(path)) {
            printf("%s: did not open\n", argv[i]);
            ++failures;
            continue;
        }
        SourceEdit *e = window.mainView()->getSource(path);
        settle();
        const QString open = step.done();

        QTextCursor c = e->textCursor();
        c.setPosition(e->document()->characterCount() / 2);
        e->setTextCursor(c);
        settle();
        const QString move = step.done();

        // Keystrokes in the middle, through the editor's key handling.
        std::vector<qint64> keys;
        for (int k = 0; k < 5; ++k) {
            QElapsedTimer t;
            t.start();
            type(e, QLatin1Char('x'));
            keys.push_back(t.elapsed());
        }
        const QString typed = step.done();
        std::sort(keys.begin(), keys.end());
        for (int k = 0; k < 5; ++k)
            e->undo();
        settle();
        step.restart();

        e->moveCursor(QTextCursor::End);
        settle();
        const QString end = step.done();

        PHPSyntaxHighlighter *h = window.mainView()->syntaxHighlighter();
        QElapsedTimer limit;
        limit.start();
        while (!h->isComplete() && limit.elapsed() < 120000)
            QCoreApplication::processEvents();
        const QString background = step.done();

        e->document()->setModified(true);
        step.restart();
        const bool saved = e->saveDocument();
        const QString save = step.done();

        // Files without tabs or carriage returns come back byte for byte;
        // otherwise tabs come back as the spaces the editor shows.
        const QByteArray now = readAll(path);
        const bool plain = !original.contains('\t') && !original.contains('\r');
        DecodedText loaded = decodeText(original);
        const bool same = plain ? now == original : now == encodeText(expandTabs(loaded.text), &loaded.format);
        printf("%s: %.1f MB, %d lines\n  open %s\n  cursor to middle %s\n  5 keystrokes %s: median %lld ms, "
               "worst %lld ms\n  cursor to end %s\n  rest of the highlighting in the background %s\n  save %s: "
               "saved %s, bytes %s\n  peak rss %ld MB\n",
               qPrintable(QFileInfo(path).fileName()), original.size() / 1048576.0, e->document()->blockCount(),
               qPrintable(open), qPrintable(move), qPrintable(typed), keys[2], keys[4], qPrintable(end),
               qPrintable(background), qPrintable(save), saved ? "yes" : "NO",
               same ? (plain ? "identical" : "equal but for tabs as spaces") : "DIFFERENT", peakRssMb());
        fflush(stdout);
        failures += !saved || !same;
        e->document()->setModified(false);
        window.mainView()->closeTab(window.mainView()->currentIndex());
    }
    return failures ? 1 : 0;
}
