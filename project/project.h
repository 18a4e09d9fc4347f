#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include "analysis/core/codemodel.h"
#include "analysis/core/projectloadingthread.h"

namespace ov {

class DODIvez;
class FileParsingDialog;
class ProjectItem;

// The project explorer: the tree of the open project and the project's
// non-visual state. (Stub: filled in by the project work.)
class Project : public QTreeWidget
{
    Q_OBJECT

public:
    Project(DODIvez *mainWindow, QWidget *parent);
    ~Project() override;

    // A project is open exactly when this is not null.
    ProjectItem *getRootItem() const { return rootItem; }
    QString getProjectFileName() const { return projectFileName; }

    QStringList getProjectFiles() const;
    QList<int> getBookmarks(const QString &fileName) const;
    void setBookmarks(const QString &fileName, const QList<int> &bookmarks);

public Q_SLOTS:
    void closeProject();
    void showNextBookmark();
    void showPrevBookmark();

Q_SIGNALS:
    void projectUpdated();

    // ---- Code analysis: the code model, its database and the background
    // runs (project_analysis.cpp) ----
public:
    PHPFileDescription getPHPFileDescription(QString fileName) const;
    QList<PHPFunctionDefinition> findFunctionDefinitions(QString name) const;
    QStringList findFunctionFiles(QString name) const;
    bool isBuiltinFunction(QString name) const;
    bool isKnownFunction(QString name) const;
    QStringList getAllFunctionNames() const;
    const CodeModel &codeModel() const { return model; }

    // The database beside the project file: saveCodeDB() after the project
    // file was written, loadCodeDB() after the tree was built and before
    // startUpdating(). Both do nothing without an open project.
    bool saveCodeDB();
    void loadCodeDB();
    QString codeDBErrorString() const { return codeDBError; }

    ProjectLoadingThread *analysisThread() const { return loadingThread; }
    FileParsingDialog *parsingDialog() const { return fileParsingDialog; }

public Q_SLOTS:
    void parsingStarted();
    void parsingFinished();
    void setPHPFileDescription(QString fileName, PHPFileDescription desc);
    void forceUpdatePHPFile(QString fileName);
    // Starts a run; one asked for during a run follows it, once.
    void startUpdating();

private:
    // Constructor: thread, dialog, built-in names, busy indicator wiring.
    void initAnalysis();
    // closeProject(): stops a run (between two files) and empties the model.
    void closeAnalysis();
    AnalysisJob analysisJob() const;

    CodeModel model;
    ProjectLoadingThread *loadingThread = nullptr;
    FileParsingDialog *fileParsingDialog = nullptr;
    bool rerunRequested = false;
    QString codeDBError;
    // ---- end of code analysis ----

private:
    DODIvez *mainWindow = nullptr;
    ProjectItem *rootItem = nullptr;
    QString projectFileName;
};

} // namespace ov
