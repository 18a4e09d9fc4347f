#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

namespace ov {

// The plain records of the code model. Positions are offsets into the text
// an editor holds for the file (carriage returns removed, tabs as four spaces).

struct PHPFunctionDefinition {
    QString name;
    QString declaration;
    QStringList arguments;
    int startPos = -1;
    int endPos = -1;
    QStringList localVariables;
    QStringList functionCalls;
};

struct PHPClassDefinition {
    QString name;
    QString declaration;
    QStringList parents;
    QHash<QString, PHPFunctionDefinition> methods;
    QStringList members;
    int startPos = -1;
    int endPos = -1;
};

struct PHPFileDescription {
    QString name;
    QDateTime time;
    QStringList includes;
    QHash<QString, PHPFunctionDefinition> functions;
    QHash<QString, PHPClassDefinition> classes;
    QStringList functionCalls;
};

} // namespace ov
