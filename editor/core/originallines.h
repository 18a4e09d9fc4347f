#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace ov {

// The lines of a file as read, so that a save writes every line the user
// did not change back as it was. The editor holds each tab as four spaces;
// a line whose text is still the editor's form of a line read gets that
// line's own characters again, tabs included. Edited and new lines keep the
// editor's form.
class OriginalLines
{
public:
    OriginalLines() = default;
    // `text`: a file's decoded text, lines separated by '\n', tabs kept.
    // Kept as it is (shared, not copied) until a save needs it.
    explicit OriginalLines(const QString &text) : read(text) {}

    // `text` (the editor's text, lines separated by '\n') with each line that
    // stands for a line read written in that line's form.
    QString restore(const QString &text) const;

private:
    void index() const;

    struct Line {
        int number;  // where it was read
        QString raw; // as read
    };
    struct Lines {
        QList<Line> lines;
        bool uniform = true; // every one the same as read
    };
    // Keyed by the editor's form; only lines whose form differs from them,
    // and lines read that look the same as one of those.
    mutable QHash<QString, Lines> byEditorForm;
    QString read;
    mutable bool indexed = false;
};

} // namespace ov
