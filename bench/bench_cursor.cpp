// Cursor moves with scope marks in a 5 MB PHP document, against the
// straightforward search measured in the same run; highlighting of a 1 MB
// single-line file; re-highlighting after a keystroke in the big document.
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QPlainTextDocumentLayout>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>

#include "editor/core/scopefinder.h"
#include "editor/core/textfile.h"
#include "editor/phpsyntaxhighlighter.h"
#include "editor/sourceedit.h"

using namespace ov;

namespace {

QString joinedSources(const QString &root, int limit)
{
    QStringList files;
    QDirIterator it(root, {"*.php"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    QString text;
    for (const QString &f : files) {
        QByteArray bytes;
        QString error;
        if (readFileBytes(f, &bytes, &error))
            text += editorText(bytes);
        if (text.size() >= limit)
            break;
    }
    return text;
}

// The sources squeezed onto one line as a minifier would: no comment lines.
QString minified(const QString &text, int limit)
{
    QString line;
    for (const QString &l : text.split('\n')) {
        const QString t = l.trimmed();
        if (t.isEmpty() || t.startsWith("//") || t.startsWith('#') || t.startsWith('*') || t.startsWith("/*"))
            continue;
        line += t + ' ';
        if (line.size() >= limit)
            break;
    }
    return "<?php " + line.left(limit);
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

const QTextCursor::MoveOperation steps[] = {QTextCursor::NextCharacter, QTextCursor::PreviousCharacter,
                                            QTextCursor::Down, QTextCursor::Up, QTextCursor::NextWord,
                                            QTextCursor::EndOfLine, QTextCursor::StartOfLine};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString root = argc > 1 ? argv[1] : "/usr/share/wordpress";
    const QString source = joinedSources(root, 5 * 1024 * 1024);
    if (source.size() < 1024 * 1024) {
        std::fprintf(stderr, "not enough PHP under %s\n", qPrintable(root));
        return 1;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("joined.php");
    QString error;
    if (!writeFileAtomically(path, source.toUtf8(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    // The editor as the user has it: highlighted, marks on every move.
    SourceEdit editor(path, nullptr);
    editor.resize(1000, 700);
    editor.show();
    PHPSyntaxHighlighter highlighter;
    QElapsedTimer timer;
    timer.start();
    highlighter.setDocument(editor.document());
    highlighter.rehighlight();
    const double highlightAll = timer.nsecsElapsed() / 1e6;
    QTextDocument *doc = editor.document();
    const int length = doc->characterCount() - 1;
    std::printf("document: %d characters, %d lines; highlighted whole in %.0f ms\n", length, doc->blockCount(),
                highlightAll);

    // Local moves: from random places, a few arrow-key steps each.
    QRandomGenerator rng(42);
    std::vector<int> positions;
    std::vector<double> moves;
    timer.restart();
    QTextCursor first(doc);
    first.setPosition(1);
    editor.setTextCursor(first);   // the first move builds the index
    const double firstMove = timer.nsecsElapsed() / 1e6;
    std::vector<double> jumps, scopeOnly;
    for (int walk = 0; walk < 300; ++walk) {
        QTextCursor c(doc);
        c.setPosition(1 + rng.bounded(length - 1));
        timer.restart();
        editor.setTextCursor(c);   // a jump: scrolls, not a local move
        jumps.push_back(timer.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
        for (int step = 0; step < 15; ++step) {
            c.movePosition(steps[rng.bounded(int(std::size(steps)))]);
            positions.push_back(c.position());
            timer.restart();
            editor.setTextCursor(c);
            moves.push_back(timer.nsecsElapsed() / 1e6);
            int start, end, type;
            timer.restart();
            editor.findScopeTypeForCursor(c.position(), start, end, type);
            scopeOnly.push_back(timer.nsecsElapsed() / 1e6);
        }
    }

    // The index alone, built afresh from the whole document.
    double indexBuild;
    {
        ScopeFinder fresh(doc);
        int s, e;
        timer.restart();
        fresh.find(1, s, e, 0);
        indexBuild = timer.nsecsElapsed() / 1e6;
    }

    // The straightforward search: the whole text taken four times and
    // scanned from the cursor, on a sample of the same positions.
    std::vector<double> baseline;
    for (size_t i = 0; i < positions.size(); i += positions.size() / 60) {
        timer.restart();
        int s[4], e[4], r[4], start, end, type;
        for (int t = 0; t < 4; ++t)
            r[t] = ScopeSearch::find(doc->toPlainText(), positions[i], s[t], e[t], t);
        ScopeSearch::innermost(s, e, r, start, end, type);
        baseline.push_back(timer.nsecsElapsed() / 1e6);
    }

    // A keystroke in the middle re-highlights its own line only.
    QTextCursor middle(doc->findBlockByNumber(doc->blockCount() / 2));
    const qint64 linesBefore = highlighter.linesHighlighted();
    timer.restart();
    middle.insertText("x");
    const double typed = timer.nsecsElapsed() / 1e6;
    const int typedLines = int(highlighter.linesHighlighted() - linesBefore);

    // One line of 1 MB, highlighted from scratch; then the same with the
    // editor's layout, which also shapes the line's text for display.
    const QString longText = minified(source, 1024 * 1024);
    QTextDocument longDoc(longText);
    PHPSyntaxHighlighter longHighlighter;
    timer.restart();
    longHighlighter.setDocument(&longDoc);
    longHighlighter.rehighlight();
    const double longLine = timer.nsecsElapsed() / 1e6;
    QTextDocument laidOut(longText);
    laidOut.setDocumentLayout(new QPlainTextDocumentLayout(&laidOut));
    PHPSyntaxHighlighter laidOutHighlighter;
    timer.restart();
    laidOutHighlighter.setDocument(&laidOut);
    laidOutHighlighter.rehighlight();
    const double longLineLaidOut = timer.nsecsElapsed() / 1e6;
    QVector<PhpFormat> formats;
    timer.restart();
    PhpHighlightEngine::highlightLine(longText, -1, &formats);
    const double longLineEngine = timer.nsecsElapsed() / 1e6;

    const double median = percentile(moves, 0.5);
    const double baseMedian = percentile(baseline, 0.5);
    std::printf("local cursor moves: %zu, median %.3f ms, p99 %.3f ms, worst %.2f ms\n", moves.size(), median,
                percentile(moves, 0.99), *std::max_element(moves.begin(), moves.end()));
    std::printf("  of which the scope search: median %.3f ms, p99 %.3f ms, worst %.3f ms\n", percentile(scopeOnly, 0.5),
                percentile(scopeOnly, 0.99), *std::max_element(scopeOnly.begin(), scopeOnly.end()));
    std::printf("jumps to random places: median %.2f ms, worst %.1f ms; first move (builds the index) %.0f ms\n",
                percentile(jumps, 0.5), *std::max_element(jumps.begin(), jumps.end()), firstMove);
    std::printf("building the bracket index of the whole document: %.0f ms\n", indexBuild);
    std::printf("straightforward scope search: median %.1f ms over %zu moves\n", baseMedian, baseline.size());
    std::printf("keystroke in the middle: %.2f ms, %d line(s) re-highlighted\n", typed, typedLines);
    std::printf("1 MB line: highlighter %.0f ms (line procedure alone %.0f ms); with the editor's layout %.0f ms\n",
                longLine, longLineEngine, longLineLaidOut);
    std::printf("scope_median_ms=%.3f scope_p99_ms=%.3f scope_ratio=%.0f longline_ms=%.0f\n", median,
                percentile(moves, 0.99), baseMedian / median, longLine);
    return 0;
}
