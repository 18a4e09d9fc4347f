#pragma once

#include <QIcon>
#include <QListWidget>

#include "search/core/syntaxmessage.h"

class QMenu;

namespace ov {

// The output window: the syntax checker's complaints, one line each,
// grouped by file and sorted by path and line, after the notices that name
// no file. Activating a line (double-click or Return) asks for its place.
class Output : public QListWidget
{
    Q_OBJECT

public:
    enum Roles { FileNameRole = Qt::UserRole + 1, LineRole };

    explicit Output(QWidget *parent = nullptr);

    // Puts `errors` in place of whatever the list said about `fileName`;
    // an empty list removes the file's lines.
    void setFileErrors(const QString &fileName, const QList<SyntaxError> &errors);
    // A line that names no place, after the other notices.
    void addNote(const QString &text);
    // The texts of the selected lines (else the current one), in list order.
    QString selectedText() const;

public Q_SLOTS:
    void copySelection();

Q_SIGNALS:
    void locationActivated(const QString &fileName, int line);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The first row whose file sorts at or after `fileName` (notes first).
    int lowerBound(const QString &fileName) const;

    QIcon errorIcon;
    QIcon noteIcon;
    QMenu *menu = nullptr;
};

} // namespace ov
