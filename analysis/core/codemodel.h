#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "analysis/core/phprecords.h"

namespace ov {

using FileDescriptions = QHash<QString, PHPFileDescription>;

// What is known about a project's PHP code. Lives on the GUI thread; an
// analysis run works on a copy and hands its results back (AnalysisResult).
// Names compare case-sensitively throughout.
class CodeModel
{
public:
    PHPFileDescription getPHPFileDescription(const QString &fileName) const;
    void setPHPFileDescription(const QString &fileName, const PHPFileDescription &desc);
    void setPHPFileDescription(const QString &fileName, PHPFileDescription &&desc);
    // Room for `count` more descriptions, before storing many. The table
    // then lists them in another order than grown one by one.
    void reserveFileDescriptions(qsizetype count);
    bool hasPHPFileDescription(const QString &fileName) const { return files.contains(fileName); }

    // Element i of the definitions comes from element i of the files.
    QList<PHPFunctionDefinition> findFunctionDefinitions(const QString &name) const;
    QStringList findFunctionFiles(const QString &name) const;

    bool isBuiltinFunction(const QString &name) const { return builtins.contains(name); }
    bool isKnownFunction(const QString &name) const;
    // Built-in names, then the project's names (a project function that
    // shares a built-in's name is listed twice).
    QStringList getAllFunctionNames() const;

    const FileDescriptions &fileDescriptions() const { return files; }
    const QSet<QString> &builtinFunctions() const { return builtins; }
    const QStringList &projectFunctionNames() const { return projectNames; }

    void setBuiltinFunctions(const QSet<QString> &names) { builtins = names; }
    void setProjectFunctionNames(const QStringList &names);
    // Loading a database appends without a duplicate check.
    void appendProjectFunctionName(const QString &name);
    // Room for `count` more names, before appending many.
    void reserveProjectFunctionNames(qsizetype count);

    // Forgets the project's descriptions and names; built-ins stay.
    void clear();

    // True after any change to the descriptions since markClean().
    bool isDirty() const { return dirty; }
    void markClean() { dirty = false; }

    // A database file as it stood on disk at one moment.
    struct DatabaseStamp {
        QString fileName;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const DatabaseStamp &o) const
        {
            return fileName == o.fileName && size == o.size && modified == o.modified;
        }
    };
    // The descriptions are exactly those of the database file as `stamp`
    // shows it (read whole from it, or written to it); until they change.
    void markStoredIn(const DatabaseStamp &stamp)
    {
        stored = stamp;
        dirty = false;
    }
    bool isStoredIn(const DatabaseStamp &stamp) const
    {
        return !dirty && !stored.fileName.isEmpty() && stamp == stored;
    }

private:
    FileDescriptions files;
    QSet<QString> builtins;
    QStringList projectNames;
    // Made from projectNames when first asked: a run or a database load
    // replaces the names wholesale, often with nobody asking in between.
    mutable QSet<QString> projectNameSet;
    mutable bool nameSetCurrent = true;
    bool dirty = false;
    DatabaseStamp stored;
};

} // namespace ov
