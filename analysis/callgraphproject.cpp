#include "analysis/callgraphproject.h"

#include "project/project.h"

namespace ov {

bool ProjectCallGraphSource::isBuiltinFunction(const QString &) const
{
    return false;
}

QList<PHPFunctionDefinition> ProjectCallGraphSource::findFunctionDefinitions(const QString &) const
{
    return {};
}

QStringList ProjectCallGraphSource::findFunctionFiles(const QString &) const
{
    return {};
}

QList<CallGraphSource::Located> ProjectCallGraphSource::allFunctions() const
{
    return {};
}

} // namespace ov
