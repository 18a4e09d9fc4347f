// Cost of the editing keys in the middle of a small and of a large file.
//   bench_keys FILE   prints small_us=X large_us=X plain_us=X
// Each figure is the median time of one round of keys (Return, the automatic
// closers, a brace block, Home, End, Tab on a selection and their undo)
// typed in the middle of the document; "plain" is the same round in a bare
// QPlainTextEdit holding the large text.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QKeyEvent>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "editor/sourceedit.h"
#include "host/dialogs.h"

namespace {

void key(QWidget *w, int code, const QString &text = QString(), Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, code, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, code, mods, text);
    QApplication::sendEvent(w, &release);
}

void type(QWidget *w, const QString &text)
{
    for (const QChar ch : text)
        key(w, ch.toUpper().unicode(), QString(ch));
}

void round(QPlainTextEdit *editor)
{
    key(editor, Qt::Key_End);
    key(editor, Qt::Key_Return, QStringLiteral("\r"));
    type(editor, QStringLiteral("f($a)"));
    type(editor, QStringLiteral("{"));
    type(editor, QStringLiteral("\"x\"[]"));
    key(editor, Qt::Key_Home);
    key(editor, Qt::Key_Home);
    key(editor, Qt::Key_Up);
    key(editor, Qt::Key_End, QString(), Qt::ShiftModifier);
    key(editor, Qt::Key_Tab, QStringLiteral("\t"));
    while (editor->document()->isUndoAvailable())
        editor->undo();
}

double medianUs(QPlainTextEdit *editor, int rounds)
{
    QTextCursor middle(editor->document()->findBlockByNumber(editor->blockCount() / 2));
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        editor->setTextCursor(middle);
        QElapsedTimer timer;
        timer.start();
        round(editor);
        times.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ov::Dialogs::setScripted(true);
    if (argc < 2)
        return 2;
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QString large = QString::fromUtf8(file.readAll()).replace(QLatin1Char('\t'), QStringLiteral("    "));
    const QString small = large.left(50000);
    const int rounds = 41;

    auto figure = [&](QPlainTextEdit *editor, const QString &text) {
        editor->resize(800, 600);
        editor->setPlainText(text);
        editor->show();
        QApplication::processEvents();
        medianUs(editor, 3); // warm up
        const double us = medianUs(editor, rounds);
        delete editor;
        return us;
    };
    const double smallUs = figure(new ov::SourceEdit(QString(), nullptr), small);
    const double largeUs = figure(new ov::SourceEdit(QString(), nullptr), large);
    const double plainUs = figure(new QPlainTextEdit, large);
    std::printf("small_us=%.0f large_us=%.0f plain_us=%.0f\n", smallUs, largeUs, plainUs);
    return 0;
}
