#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTextCursor>

class QPainter;
class QRect;
class QTextBlock;
class QWidget;

namespace ov {

class SourceEdit;

// The syntax errors an editor shows in its gutter: a red mark on each line
// the last check complained about, the complaint as the mark's tool tip.
// Each mark holds on to its line as the text is edited, until the next
// check of the file replaces them all.
class SyntaxMarks : public QObject
{
    Q_OBJECT

public:
    SyntaxMarks(SourceEdit *editor, QWidget *gutter);

    // Marks the given lines (from 1; others are skipped) for check `checkId`.
    void set(const QList<QPair<int, QString>> &lines, quint64 checkId);
    // The check whose marks these are; 0 before any.
    quint64 checkId() const { return id; }
    bool isEmpty() const { return marks.isEmpty(); }
    // The 0-based lines marked now, in document order.
    QList<int> lines() const;
    // The complaints about `block`'s line, one a line; empty for none.
    QString messageAt(const QTextBlock &block) const;
    // Draws the mark of `block`, if it has one, into its gutter row.
    void paint(QPainter &painter, const QTextBlock &block, const QRect &row) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Mark {
        QTextCursor cursor; // at the line's start; moves with the text
        QString message;
    };
    SourceEdit *editor = nullptr;
    QWidget *gutter = nullptr;
    QList<Mark> marks;
    quint64 id = 0;
};

} // namespace ov
