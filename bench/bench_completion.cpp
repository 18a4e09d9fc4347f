// Cost of keeping the completion word list current while the cursor moves
// through a large WordPress file, against rebuilding and sorting the list on
// every move.
#include <QApplication>
#include <QCompleter>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStringListModel>
#include <algorithm>
#include <cstdio>

#include "analysis/core/phprecords.h"
#include "editor/core/completionwords.h"
#include "editor/core/textfile.h"

using namespace ov;

namespace {

struct Source {
    QString text;
    QList<PHPFunctionDefinition> functions;
};

QString readText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return editorText(f.readAll());
}

// Functions run from their keyword to the next one: close enough to the
// analyser's result for timing, and independent of it.
QList<PHPFunctionDefinition> roughFunctions(const QString &text)
{
    static const QRegularExpression def(QStringLiteral("function\\s+&?([A-Za-z_]\\w*)\\s*\\("));
    static const QRegularExpression var(QStringLiteral("\\$\\w+"));
    QList<PHPFunctionDefinition> result;
    auto it = def.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        PHPFunctionDefinition d;
        d.name = m.captured(1);
        d.startPos = int(m.capturedStart());
        if (!result.isEmpty())
            result.last().endPos = d.startPos - 1;
        result.append(d);
    }
    if (!result.isEmpty())
        result.last().endPos = int(text.size()) - 1;
    for (PHPFunctionDefinition &d : result) {
        QSet<QString> seen;
        auto vars = var.globalMatch(QStringView(text).mid(d.startPos, d.endPos - d.startPos));
        while (vars.hasNext()) {
            const QString v = vars.next().captured();
            if (!seen.contains(v)) {
                seen.insert(v);
                d.localVariables.append(v);
            }
        }
    }
    return result;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/share/wordpress");
    const QString builtinList = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    QStringList names;
    QFile builtins(builtinList);
    if (builtins.open(QIODevice::ReadOnly)) {
        while (!builtins.atEnd()) {
            const QString line = QString::fromLatin1(builtins.readLine()).trimmed();
            const QString name = line.section(QLatin1Char('('), 0, 0).trimmed().section(QLatin1Char(' '), -1);
            if (!name.isEmpty())
                names.append(name);
        }
    }
    Source biggest;
    QDirIterator files(root, {QStringLiteral("*.php")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        Source s;
        s.text = readText(files.next());
        s.functions = roughFunctions(s.text);
        for (const PHPFunctionDefinition &d : s.functions)
            names.append(d.name);
        if (s.functions.size() > biggest.functions.size())
            biggest = s;
    }
    names.removeDuplicates();
    if (names.isEmpty() || biggest.functions.isEmpty()) {
        std::fprintf(stderr, "no PHP functions found under %s\n", qPrintable(root));
        return 1;
    }

    // Moves line by line through the file, as the arrow keys would.
    QList<int> moves;
    for (int pos = 0; pos < biggest.text.size() && moves.size() < 3000; ++pos)
        if (biggest.text.at(pos) == QLatin1Char('\n'))
            moves.append(pos + 1);

    auto localsAt = [&](int pos) {
        QStringList locals;
        for (const PHPFunctionDefinition &f : biggest.functions)
            if (f.startPos < pos && pos < f.endPos)
                locals += f.localVariables;
        return locals;
    };

    auto run = [&](bool incremental) {
        QCompleter completer;
        auto *model = new QStringListModel(&completer);
        completer.setModel(model);
        completer.setModelSorting(QCompleter::CaseInsensitivelySortedModel);
        completer.setCaseSensitivity(Qt::CaseInsensitive);
        CompletionWords words;
        QVector<double> times;
        QElapsedTimer timer;
        for (int pos : moves) {
            const QStringList shared = names; // the view hands out a copy
            timer.start();
            const QStringList locals = localsAt(pos);
            if (incremental) {
                if (words.update(shared, locals))
                    model->setStringList(words.words());
            } else {
                QStringList all = shared + locals;
                all.sort();
                model->setStringList(all);
            }
            times.append(timer.nsecsElapsed() / 1e6);
        }
        return median(times);
    };

    const double baseline = run(false);
    const double cursor = run(true);
    std::printf("names=%lld functions_in_file=%lld moves=%lld\n", qlonglong(names.size()),
                qlonglong(biggest.functions.size()), qlonglong(moves.size()));
    std::printf("baseline_median_ms=%.4f\n", baseline);
    std::printf("cursor_median_ms=%.4f cursor_ratio=%.4f\n", cursor, baseline > 0 ? cursor / baseline : 0.0);
    return 0;
}
