#pragma once

#include <QWidget>

namespace ov {

class Project;

// The file explorer dock's contents. (Stub: filled in by the explorer work.)
class FileExplorerPlane : public QWidget
{
    Q_OBJECT

public:
    FileExplorerPlane(Project *project, QWidget *parent);

private:
    Project *project = nullptr;
};

} // namespace ov
