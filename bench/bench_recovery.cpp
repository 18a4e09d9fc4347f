// Cost of journalling unsaved changes, and of recovering them.
//   bench_recovery BIG LINE   (BIG: a large PHP file, LINE: one long line)
// For each file: keystrokes in the middle of the document, in blocks with
// the journal off and on in the same run, the journal written every tenth
// key as its timers would while typing (they wait for the disk only when the
// typing pauses): median and worst per key, bytes written per key; then the time to open BIG with a journal to recover,
// against opening it without one.
// Last line: key_extra_ms=X key_bytes=X recover50mb_ms=X
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStandardPaths>
#include <QTextBlock>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "editor/core/documentjournal.h"
#include "editor/core/textfile.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "host/dialogs.h"

using namespace ov;

namespace {

const int Keys = 400;
const int KeysPerWrite = 10;

void key(QWidget *w, QChar ch)
{
    QKeyEvent press(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &release);
}

struct Times {
    std::vector<double> on, off; // milliseconds per key
    qint64 bytes = 0;
    int keysOn = 0;
    static double median(std::vector<double> v)
    {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
    static double worst(const std::vector<double> &v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
};

SourceEdit *open(MainView *view, const QString &path)
{
    Dialogs::queueAnswer(QMessageBox::Yes); // "large: open it anyway?"
    view->addSource(path);
    Dialogs::clear();
    return view->getSource(path);
}

// Keys typed in the middle, in blocks that take turns: journal off, on.
// Turned on, the journal starts with the whole text: not a keystroke's
// cost, so done before the block's timing.
Times typeKeys(SourceEdit *editor, bool longLine)
{
    auto *journal = editor->findChild<DocumentJournal *>();
    QTextCursor c(editor->document());
    if (longLine)
        c.setPosition(editor->document()->characterCount() / 2);
    else
        c = QTextCursor(editor->document()->findBlockByNumber(editor->blockCount() / 2));
    editor->setTextCursor(c);
    key(editor, QLatin1Char('a'));
    Times t;
    for (int block = 0; block < 4; ++block) {
        const bool on = block % 2 == 1;
        journal->setEnabled(on);
        if (on)
            journal->flush();
        const qint64 before = QFileInfo(journal->journalPath()).size();
        for (int k = 0; k < Keys / 2; ++k) {
            QElapsedTimer timer;
            timer.start();
            key(editor, QLatin1Char('a' + k % 26));
            if (on && k % KeysPerWrite == KeysPerWrite - 1)
                journal->flush(DocumentJournal::Written);
            (on ? t.on : t.off).push_back(timer.nsecsElapsed() / 1e6);
        }
        if (on) {
            journal->flush();
            t.bytes += QFileInfo(journal->journalPath()).size() - before;
            t.keysOn += Keys / 2;
        }
    }
    return t;
}

double openMs(MainView *view, const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    Dialogs::queueAnswer(QMessageBox::Yes); // large file
    Dialogs::queueAnswer(QMessageBox::Yes); // recover, when asked
    view->addSource(path);
    const double ms = timer.nsecsElapsed() / 1e6;
    Dialogs::clear();
    return ms;
}

void closeAll(MainView *view)
{
    for (int i = view->count() - 1; i >= 0; --i) {
        view->getSource(i)->document()->setModified(false);
        view->closeTab(i);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("viziro-bench-recovery"));
    Dialogs::setScripted(true);
    if (argc < 3)
        return 2;
    const QString big = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString line = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    QDir(JournalSlot::folder()).removeRecursively();

    MainView view(nullptr);
    view.resize(900, 700);
    view.show();

    SourceEdit *editor = open(&view, big);
    if (!editor)
        return 1;
    QApplication::processEvents();
    const Times bigTimes = typeKeys(editor, false);
    // What a kill would leave: the journal, and the typed text to compare.
    auto *journal = editor->findChild<DocumentJournal *>();
    journal->flush();
    const QString journalPath = journal->journalPath();
    const QByteArray journalBytes = [&] {
        QByteArray b;
        QString e;
        readFileBytes(journalPath, &b, &e);
        return b;
    }();
    const QString typed = editor->document()->toRawText();
    closeAll(&view);

    SourceEdit *lineEditor = open(&view, line);
    if (!lineEditor)
        return 1;
    QApplication::processEvents();
    const Times lineTimes = typeKeys(lineEditor, true);
    closeAll(&view);

    // Opening with and without a journal, taking turns; a new window each
    // time, since a window asks about a journal once.
    std::vector<double> plain, recovered;
    for (int i = 0; i < 3; ++i) {
        MainView fresh(nullptr);
        plain.push_back(openMs(&fresh, big));
        closeAll(&fresh);
        QString error;
        writeFileAtomically(journalPath, journalBytes, &error);
        recovered.push_back(openMs(&fresh, big));
        const QString got = fresh.getSource(big)->document()->toRawText();
        if (got != typed) {
            const auto at = std::mismatch(got.cbegin(), got.cbegin() + qMin(got.size(), typed.size()), typed.cbegin());
            std::fprintf(stderr, "recovered text differs: %lld against %lld characters, from %lld\n",
                         qint64(got.size()), qint64(typed.size()), qint64(at.first - got.cbegin()));
            return 1;
        }
        closeAll(&fresh);
    }

    auto row = [](const char *name, const Times &t) {
        std::printf("%s: key_ms median %.3f (off %.3f), worst %.3f (off %.3f); bytes per key %.1f\n", name,
                    Times::median(t.on), Times::median(t.off), Times::worst(t.on), Times::worst(t.off),
                    double(t.bytes) / qMax(1, t.keysOn));
    };
    row("50 MB document", bigTimes);
    row("5 MB line", lineTimes);
    const double recoverMs = Times::median(recovered) - Times::median(plain);
    std::printf("open 50 MB: %.0f ms, with recovery %.0f ms\n", Times::median(plain), Times::median(recovered));
    const double extra = qMax(Times::median(bigTimes.on) - Times::median(bigTimes.off),
                              Times::median(lineTimes.on) - Times::median(lineTimes.off));
    std::printf("key_extra_ms=%.3f key_bytes=%.1f recover50mb_ms=%.0f\n", qMax(0.0, extra),
                double(bigTimes.bytes) / qMax(1, bigTimes.keysOn), recoverMs);
    return 0;
}
