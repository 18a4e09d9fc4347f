#include "project/fileexplorerplane.h"

namespace ov {

FileExplorerPlane::FileExplorerPlane(Project *project, QWidget *parent)
    : QWidget(parent), project(project)
{
}

} // namespace ov
