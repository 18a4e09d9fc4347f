#include "project/callgraphproject.h"

#include "project/project.h"

namespace ov {

bool ProjectCallGraphSource::isBuiltinFunction(const QString &name) const
{
    return project->isBuiltinFunction(name);
}

QList<PHPFunctionDefinition> ProjectCallGraphSource::findFunctionDefinitions(const QString &name) const
{
    return project->findFunctionDefinitions(name);
}

QStringList ProjectCallGraphSource::findFunctionFiles(const QString &name) const
{
    return project->findFunctionFiles(name);
}

QList<CallGraphSource::Located> ProjectCallGraphSource::allFunctions() const
{
    QList<Located> result;
    const FileDescriptions &files = project->codeModel().fileDescriptions();
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        for (const PHPFunctionDefinition &f : file->functions)
            result.append({file.key(), f});
    return result;
}

} // namespace ov
