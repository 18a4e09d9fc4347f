#include "analysis/core/codemodel.h"

namespace ov {

PHPFileDescription CodeModel::getPHPFileDescription(const QString &fileName) const
{
    return files.value(fileName);
}

void CodeModel::setPHPFileDescription(const QString &fileName, const PHPFileDescription &desc)
{
    files.insert(fileName, desc);
    dirty = true;
}

QList<PHPFunctionDefinition> CodeModel::findFunctionDefinitions(const QString &name) const
{
    QList<PHPFunctionDefinition> out;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        auto f = it->functions.constFind(name);
        if (f != it->functions.cend())
            out.append(*f);
    }
    return out;
}

QStringList CodeModel::findFunctionFiles(const QString &name) const
{
    QStringList out;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (it->functions.contains(name))
            out.append(it->name);
    }
    return out;
}

bool CodeModel::isKnownFunction(const QString &name) const
{
    return builtins.contains(name) || projectNameSet.contains(name);
}

QStringList CodeModel::getAllFunctionNames() const
{
    QStringList out;
    out.reserve(builtins.size() + projectNames.size());
    for (const QString &n : builtins)
        out.append(n);
    out.append(projectNames);
    return out;
}

void CodeModel::setProjectFunctionNames(const QStringList &names)
{
    projectNames = names;
    projectNameSet = QSet<QString>(names.cbegin(), names.cend());
}

void CodeModel::appendProjectFunctionName(const QString &name)
{
    projectNames.append(name);
    projectNameSet.insert(name);
}

void CodeModel::reserveProjectFunctionNames(qsizetype count)
{
    projectNames.reserve(projectNames.size() + count);
    projectNameSet.reserve(projectNameSet.size() + count);
}

void CodeModel::clear()
{
    files.clear();
    projectNames.clear();
    projectNameSet.clear();
    dirty = false;
    stored = DatabaseStamp();
}

} // namespace ov
