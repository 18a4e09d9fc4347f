// The project's side of the code analysis: the code database beside the
// project file, the code model and the background runs.
#include "project/project.h"

namespace ov {

void Project::startUpdating() {}

void Project::loadCodeDB() {}

void Project::saveCodeDB() {}

void Project::clearCodeModel() {}

} // namespace ov
