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

void CodeModel::reserveFileDescriptions(qsizetype count)
{
    files.reserve(files.size() + count);
}

void CodeModel::setPHPFileDescription(const QString &fileName, PHPFileDescription &&desc)
{
    files.emplace(fileName, std::move(desc));
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
    if (builtins.contains(name))
        return true;
    if (!nameSetCurrent) {
        projectNameSet = QSet<QString>(projectNames.cbegin(), projectNames.cend());
        nameSetCurrent = true;
    }
    return projectNameSet.contains(name);
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
    projectNameSet.clear();
    nameSetCurrent = names.isEmpty();
}

void CodeModel::appendProjectFunctionName(const QString &name)
{
    projectNames.append(name);
    nameSetCurrent = false;
}

void CodeModel::reserveProjectFunctionNames(qsizetype count)
{
    projectNames.reserve(projectNames.size() + count);
}

void CodeModel::clear()
{
    files.clear();
    projectNames.clear();
    projectNameSet.clear();
    nameSetCurrent = true;
    dirty = false;
    stored = DatabaseStamp();
}

} // namespace ov
