#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "analysis/core/phprecords.h"

namespace ov {

// What a call graph reads from the code model. The viewer reads the open
// project's model through it; tests hand in models of their own.
class CallGraphSource
{
public:
    // A function of the model and the file that defines it.
    struct Located {
        QString file;
        PHPFunctionDefinition definition;
    };

    virtual ~CallGraphSource() = default;
    virtual bool isBuiltinFunction(const QString &name) const = 0;
    // Element i of the definitions comes from element i of the files.
    virtual QList<PHPFunctionDefinition> findFunctionDefinitions(const QString &name) const = 0;
    virtual QStringList findFunctionFiles(const QString &name) const = 0;
    // Every function of every analysed file.
    virtual QList<Located> allFunctions() const = 0;
};

} // namespace ov
