#pragma once

#include "analysis/callgraphsource.h"

namespace ov {

class Project;

// The open project's code model, read live; nothing when no project is open.
class ProjectCallGraphSource : public CallGraphSource
{
public:
    explicit ProjectCallGraphSource(const Project *project) : project(project) {}

    bool isBuiltinFunction(const QString &name) const override;
    QList<PHPFunctionDefinition> findFunctionDefinitions(const QString &name) const override;
    QStringList findFunctionFiles(const QString &name) const override;
    QList<Located> allFunctions() const override;

private:
    const Project *project;
};

} // namespace ov
