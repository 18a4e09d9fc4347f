#include "editor/core/originallines.h"

#include <QStringView>

#include "editor/core/textfile.h"

namespace ov {

namespace {

// Tabs become four spaces, so a line the editor changed holds four.
bool mayStandForTabs(QStringView line)
{
    return line.contains(QLatin1String("    "));
}

} // namespace

void OriginalLines::index() const
{
    indexed = true;
    if (!read.contains(QLatin1Char('\t')))
        return;
    const QList<QStringView> lines = QStringView(read).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].contains(QLatin1Char('\t')))
            byEditorForm[expandTabs(lines[i].toString())].lines.append(Line{i, lines[i].toString()});
    }
    // A line read with spaces where another had tabs: which of the two an
    // unchanged line stands for depends on where it is.
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].contains(QLatin1Char('\t')) || !mayStandForTabs(lines[i]))
            continue;
        const auto found = byEditorForm.find(lines[i].toString());
        if (found == byEditorForm.end())
            continue;
        QList<Line> &same = found->lines;
        auto at = std::lower_bound(same.begin(), same.end(), i,
                                   [](const Line &l, int n) { return l.number < n; });
        same.insert(at, Line{i, lines[i].toString()});
        found->uniform = false;
    }
    for (Lines &l : byEditorForm) {
        for (const Line &line : std::as_const(l.lines))
            l.uniform = l.uniform && line.raw == l.lines.first().raw;
    }
}

QString OriginalLines::restore(const QString &text) const
{
    if (!indexed)
        index();
    if (byEditorForm.isEmpty())
        return text;
    QString out;
    out.reserve(text.size());
    // Lines inserted or removed above shift where a line was read: the last
    // line placed for certain tells by how much.
    qsizetype shift = 0;
    qsizetype number = 0;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        if (number > 0)
            out.append(QLatin1Char('\n'));
        const auto found = mayStandForTabs(line) ? byEditorForm.constFind(line.toString()) : byEditorForm.cend();
        if (found == byEditorForm.cend()) {
            out.append(line);
        } else if (found->uniform) {
            if (found->lines.size() == 1)
                shift = found->lines.first().number - number;
            out.append(found->lines.first().raw);
        } else {
            const qsizetype expected = number + shift;
            const Line *best = &found->lines.first();
            for (const Line &l : found->lines) {
                if (qAbs(l.number - expected) < qAbs(best->number - expected))
                    best = &l;
            }
            out.append(best->raw);
        }
        ++number;
    }
    return out;
}

} // namespace ov
