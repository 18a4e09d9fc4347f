#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include "search/core/syntaxmessage.h"

class QAction;

namespace ov {

class Host;
class Output;
class SourceEdit;
class SyntaxChecker;

// PHP's own syntax check for the editor: each PHP file saved, or every PHP
// file of the project on demand, is handed to the interpreter's linter;
// the complaints go to the output window and to the gutters of the
// editors showing those files, until the next check of each file.
class SyntaxCheck : public QObject
{
    Q_OBJECT

public:
    SyntaxCheck(Host *window, Output *output);

    // The settings key naming the interpreter (a path, or a name on the PATH).
    static QString interpreterKey();

    QAction *checkProjectAction() const { return checkProjectAct; }
    QAction *cancelAction() const { return cancelAct; }
    bool isProjectCheckRunning() const;
    SyntaxChecker *projectChecker() const { return onDemand; }

public Q_SLOTS:
    // A file was saved: checked when it is PHP source.
    void checkSavedFile(const QString &fileName);
    // Every PHP file of the open project.
    void checkProject();
    void cancelProjectCheck();
    // Opens a file at a line (from 1; 0 for none) with its editor focused.
    void openLocation(const QString &fileName, int line);

Q_SIGNALS:
    // A check's result reached the output window and the gutters.
    void resultShown(const ov::SyntaxCheckResult &result);
    void projectCheckFinished();

private:
    struct Known {
        quint64 id = 0;
        QList<SyntaxError> errors;
    };
    void show(const SyntaxCheckResult &result, bool fromSave);
    void markEditor(SourceEdit *editor);
    void interpreterMissing();
    void projectProgress(int done, int total);
    void projectFinished();
    void setProjectRunning(bool running);
    QString interpreter() const;

    Host *window = nullptr;
    Output *output = nullptr;
    SyntaxChecker *onSave = nullptr;
    SyntaxChecker *onDemand = nullptr;
    QAction *checkProjectAct = nullptr;
    QAction *cancelAct = nullptr;
    // The last result of each file with complaints, by absolute path.
    QHash<QString, Known> known;
    quint64 lastId = 0;
    bool missingSaid = false;
    bool projectRunning = false;
    int projectTotal = 0;
    int projectFiles = 0; // checked so far
    int projectFilesWithErrors = 0;
};

} // namespace ov
