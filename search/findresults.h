#pragma once

#include <QListWidget>
#include <QMainWindow>
#include <QTreeWidget>

namespace ov {

// A find-results window. (Stub: filled in by the search work.)
class FindResults : public QTreeWidget
{
    Q_OBJECT

public:
    FindResults(QMainWindow *mainWindow, QWidget *parent);

private:
    QMainWindow *mainWindow = nullptr;
};

// The output window. (Stub: filled in by the search work.)
class Output : public QListWidget
{
    Q_OBJECT

public:
    explicit Output(QWidget *parent = nullptr);
};

} // namespace ov
