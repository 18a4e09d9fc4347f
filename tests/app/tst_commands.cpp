#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>

#include "app/dodivez.h"
#include "app/recentlist.h"
#include "editor/mainview.h"
#include "project/core/projectfile.h"
#include "project/project.h"
#include "testutil.h"

using namespace ov;

namespace {

bool calledWith(const QString &kind, const QString &title, const QString &text)
{
    const auto call = Dialogs::lastCall();
    if (call.kind == kind && call.title == title && call.text == text)
        return true;
    qWarning() << "last call:" << call.kind << call.title << call.text;
    return false;
}

int countCalls(const QString &kind)
{
    int n = 0;
    for (const auto &call : Dialogs::calls())
        n += call.kind == kind;
    return n;
}

} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    std::unique_ptr<QTemporaryDir> tmp;

    QString path(const QString &relative) const { return tmp->path() + "/" + relative; }

    // A project file holding `files` (relative to its folder), written
    // through the project file writer so it is the form the editor reads.
    void writeProject(const QString &file, const QStringList &files)
    {
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        ProjectFile project;
        project.root.name = QFileInfo(file).baseName();
        for (const QString &f : files) {
            ProjectNode node{ProjectNode::File, QString(), QFileInfo(file).path() + "/" + f, {}};
            QVERIFY(QDir().mkpath(QFileInfo(node.path).path()));
            QVERIFY(ovtest::writeFile(node.path, "<?php\n"));
            project.root.children.append(node);
        }
        QVERIFY(project.write(file));
    }

    // The dialog folder the next file command starts in.
    QString workingDirectoryOf(DODIvez &window)
    {
        Dialogs::clear();
        window.openFile();
        return Dialogs::lastCall().text;
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    }

    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        openSettings().clear();
        Dialogs::clear();
    }

    void newProjectFailures_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("existing file") << "TMP/taken.vuzar" << "File exists" << "File TMP/taken.vuzar already exists";
        QTest::newRow("folder under /proc") << "/proc/viziro-none/deeper/p.vuzar" << "Error"
                                            << "Can't create directory /proc/viziro-none/deeper";
        QTest::newRow("file under /proc") << "/proc/p.vuzar" << "Error" << "Can't create file /proc/p.vuzar";
    }

    void newProjectFailures()
    {
        QFETCH(QString, answer);
        QFETCH(QString, title);
        QFETCH(QString, text);
        answer.replace("TMP", tmp->path());
        text.replace("TMP", tmp->path());
        QVERIFY(ovtest::writeFile(path("taken.vuzar"), "keep"));

        DODIvez window{QString()};
        Dialogs::queueAnswer(answer);
        window.newProject();
        QVERIFY(calledWith("critical", title, text));
        QVERIFY(!window.project()->getRootItem());
        QCOMPARE(window.windowTitle(), QString("Viziro"));
        QCOMPARE(ovtest::readFile(path("taken.vuzar")), QByteArray("keep"));
    }

    void newProjectCreatesFolderChain()
    {
        DODIvez window{QString()};
        Dialogs::queueAnswer(QVariant()); // cancelled: nothing happens
        window.newProject();
        QVERIFY(!window.project()->getRootItem());
        QCOMPARE(countCalls("critical"), 0);

        const QString file = path("web/new/site.vuzar");
        Dialogs::queueAnswer(file);
        window.newProject();
        QVERIFY(window.project()->getRootItem());
        QCOMPARE(window.windowTitle(), QString("site.vuzar - Viziro"));
        QCOMPARE(window.project()->getProjectFileName(), file);
        // Written at once, in the form that loads again.
        ProjectFile written;
        QVERIFY2(written.read(file), qPrintable(written.errorString()));
        QCOMPARE(written.root.name, QString("site"));
        QCOMPARE(workingDirectoryOf(window), path("web/new"));

        // The extension is added when the user leaves it out.
        Dialogs::queueAnswer(path("web/plain"));
        window.newProject();
        QCOMPARE(window.project()->getProjectFileName(), path("web/plain.vuzar"));
        QVERIFY(QFileInfo::exists(path("web/plain.vuzar")));
    }

    void replacingAProjectSavesItFirst()
    {
        writeProject(path("a.vuzar"), {"a.php"});
        DODIvez window(path("a.vuzar"));
        QVERIFY(window.project()->getRootItem());
        QVERIFY(window.project()->topLevelItem(0));
        window.project()->topLevelItem(0)->setText(0, "Renamed");

        Dialogs::queueAnswer(QVariant());
        window.openProject();
        QVERIFY(!window.project()->getRootItem());
        ProjectFile saved;
        QVERIFY(saved.read(path("a.vuzar")));
        QCOMPARE(saved.root.name, QString("Renamed"));
    }

    void unsavableProjectIsNeverDroppedSilently()
    {
        QVERIFY(QDir().mkpath(path("gone")));
        writeProject(path("gone/p.vuzar"), {});
        DODIvez window(path("gone/p.vuzar"));
        QVERIFY(window.project()->getRootItem());
        QVERIFY(QDir(path("gone")).removeRecursively());

        // Each command that replaces the project asks; No keeps it open and
        // stops the command before its dialog.
        for (auto command : {&DODIvez::newProject, &DODIvez::newProjectFromFolder,
                             static_cast<void (DODIvez::*)()>(&DODIvez::openProject)}) {
            Dialogs::clear();
            Dialogs::queueAnswer(QMessageBox::No);
            (window.*command)();
            QCOMPARE(Dialogs::calls().size(), 1);
            QCOMPARE(Dialogs::lastCall().kind, QString("warning"));
            QCOMPARE(Dialogs::lastCall().title, QString("Warning"));
            QVERIFY(Dialogs::lastCall().text.startsWith("Cannot write project file " + path("gone/p.vuzar") + ":\n"));
            QVERIFY(window.project()->getRootItem());
        }

        // Once the folder is back the project is saved without a question.
        QVERIFY(QDir().mkpath(path("gone")));
        Dialogs::clear();
        window.openProject();
        QCOMPARE(countCalls("warning"), 0);
        QVERIFY(!window.project()->getRootItem());
        QVERIFY(QFileInfo::exists(path("gone/p.vuzar")));

        // Yes: the project goes without being written.
        QVERIFY(window.project()->loadProject(path("gone/p.vuzar")));
        QVERIFY(QDir(path("gone")).removeRecursively());
        Dialogs::clear();
        Dialogs::queueAnswer(QMessageBox::Yes);
        window.openProject();
        QCOMPARE(countCalls("warning"), 1);
        QCOMPARE(Dialogs::lastCall().kind, QString("getOpenFileName"));
        QVERIFY(!window.project()->getRootItem());
    }

    void closingTheWindowAsksWhenTheProjectCannotBeSaved()
    {
        QVERIFY(QDir().mkpath(path("gone")));
        writeProject(path("gone/p.vuzar"), {});
        auto window = std::make_unique<DODIvez>(path("gone/p.vuzar"));
        window->show();
        QVERIFY(QDir(path("gone")).removeRecursively());

        Dialogs::queueAnswer(QMessageBox::No);
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
        QVERIFY(window->project()->getRootItem());

        Dialogs::clear();
        Dialogs::queueAnswer(QMessageBox::Yes);
        QVERIFY(window->close());
        window.reset();
        // Asked once: the destructor does not try again.
        QCOMPARE(countCalls("warning"), 1);

        // A window that goes without closing still shows the failure.
        QVERIFY(QDir().mkpath(path("gone")));
        writeProject(path("gone/p.vuzar"), {});
        window = std::make_unique<DODIvez>(path("gone/p.vuzar"));
        QVERIFY(QDir(path("gone")).removeRecursively());
        Dialogs::clear();
        window.reset();
        QCOMPARE(countCalls("warning"), 1);
        QVERIFY(Dialogs::lastCall().text.startsWith("Cannot write project file " + path("gone/p.vuzar")));
    }

    void closingTheWindowSavesTheProject()
    {
        writeProject(path("p.vuzar"), {"x.php"});
        DODIvez window(path("p.vuzar"));
        window.show();
        QVERIFY(window.project()->topLevelItem(0));
        window.project()->topLevelItem(0)->setText(0, "Closed");
        QVERIFY(window.close());
        QCOMPARE(Dialogs::calls().size(), 0);
        ProjectFile saved;
        QVERIFY(saved.read(path("p.vuzar")));
        QCOMPARE(saved.root.name, QString("Closed"));
    }

    void projectFromFolder()
    {
        QVERIFY(QDir().mkpath(path("shop/lib")));
        QVERIFY(ovtest::writeFile(path("shop/index.php"), "<?php\n"));
        QVERIFY(ovtest::writeFile(path("shop/lib/db.php"), "<?php\n"));

        DODIvez window{QString()};
        Dialogs::queueAnswer(QVariant());
        window.newProjectFromFolder();
        QVERIFY(!window.project()->getRootItem());

        Dialogs::queueAnswer(path("shop"));
        window.newProjectFromFolder();
        QVERIFY(window.project()->getRootItem());
        QCOMPARE(window.project()->getProjectFileName(), path("shop/shop.vuzar"));
        QCOMPARE(window.project()->getProjectFiles(), (QStringList{path("shop/lib/db.php"), path("shop/index.php")}));
        QVERIFY(QFileInfo::exists(path("shop/shop.vuzar")));
        QCOMPARE(window.windowTitle(), QString("shop.vuzar - Viziro"));
    }

    void projectFromFolderThatHoldsItsFile_data()
    {
        QTest::addColumn<QVariantList>("answers");
        QTest::addColumn<QString>("projectFile"); // empty: no project afterwards
        QTest::addColumn<QString>("message");     // the last critical message, if any
        QTest::newRow("cancel") << QVariantList{int(QMessageBox::Cancel)} << QString() << QString();
        QTest::newRow("no, then no name") << QVariantList{int(QMessageBox::No), QVariant()} << QString() << QString();
        QTest::newRow("no, then a new name") << QVariantList{int(QMessageBox::No), QString("other")}
                                             << "shop/other.vuzar" << QString();
        QTest::newRow("no, then a taken name") << QVariantList{int(QMessageBox::No), QString("taken")} << QString()
                                               << "File TMP/shop/taken.vuzar already exists";
        QTest::newRow("yes") << QVariantList{int(QMessageBox::Yes)} << "shop/shop.vuzar" << QString();
    }

    void projectFromFolderThatHoldsItsFile()
    {
        QFETCH(QVariantList, answers);
        QFETCH(QString, projectFile);
        QFETCH(QString, message);
        message.replace("TMP", tmp->path());
        QVERIFY(QDir().mkpath(path("shop")));
        QVERIFY(ovtest::writeFile(path("shop/a.php"), "<?php\n"));
        QVERIFY(ovtest::writeFile(path("shop/shop.vuzar"), "old"));
        QVERIFY(ovtest::writeFile(path("shop/taken.vuzar"), "taken"));

        DODIvez window{QString()};
        Dialogs::queueAnswer(path("shop"));
        for (const QVariant &a : answers)
            Dialogs::queueAnswer(a);
        window.newProjectFromFolder();

        const auto calls = Dialogs::calls();
        QCOMPARE(calls.at(1).kind, QString("question"));
        QCOMPARE(calls.at(1).title, QString("File exists"));
        QCOMPARE(calls.at(1).text, "File " + path("shop/shop.vuzar") + " already exists.\nOverwrite this file?");
        if (answers.first().toInt() == QMessageBox::No) {
            QCOMPARE(calls.at(2).title, QString("Project name"));
            QCOMPARE(calls.at(2).text, QString("Enter new project name"));
        }
        if (!message.isEmpty())
            QVERIFY(calledWith("critical", "File exists", message));
        else
            QCOMPARE(countCalls("critical"), 0);

        if (projectFile.isEmpty()) {
            QVERIFY(!window.project()->getRootItem());
            QCOMPARE(ovtest::readFile(path("shop/shop.vuzar")), QByteArray("old"));
        } else {
            QVERIFY(window.project()->getRootItem());
            QCOMPARE(window.project()->getProjectFileName(), path(projectFile));
            ProjectFile written;
            QVERIFY(written.read(path(projectFile)));
        }
        QCOMPARE(ovtest::readFile(path("shop/taken.vuzar")), QByteArray("taken"));
    }

    void newFileNeedsAProject()
    {
        DODIvez window{QString()};
        window.newFile();
        QVERIFY(calledWith("critical", "Error", "Open or create project first"));
    }

    void openProject()
    {
        writeProject(path("site/site.vuzar"), {"index.php"});
        QVERIFY(ovtest::writeFile(path("broken.vuzar"), "<Project><File"));
        DODIvez window{QString()};

        Dialogs::queueAnswer(path("broken.vuzar"));
        window.openProject();
        QVERIFY(calledWith("critical", "Error", "Cannot load project file " + path("broken.vuzar")));
        QVERIFY(!window.project()->getRootItem());
        QVERIFY(RecentList::read(RecentList::ProjectsKey).isEmpty());

        Dialogs::queueAnswer(path("site/site.vuzar"));
        window.openProject();
        QVERIFY(window.project()->getRootItem());
        QCOMPARE(window.windowTitle(), QString("site - Viziro"));
        QCOMPARE(RecentList::read(RecentList::ProjectsKey), QStringList{path("site/site.vuzar")});
        QCOMPARE(workingDirectoryOf(window), path("site"));

        // By name (start-up, recent list): the working folder stays.
        writeProject(path("other/o.vuzar"), {});
        window.openProject(path("other/o.vuzar"));
        QCOMPARE(window.project()->getProjectFileName(), path("other/o.vuzar"));
        QCOMPARE(workingDirectoryOf(window), path("site"));
        window.openProject(QString());
        QVERIFY(!window.project()->getRootItem());
    }

    void openFile()
    {
        QVERIFY(ovtest::writeFile(path("a.php"), "<?php\n"));
        DODIvez window{QString()};

        Dialogs::queueAnswer(path("a.php"));
        window.openFile();
        QCOMPARE(Dialogs::calls().first().title, QString("Open File"));
        QCOMPARE(window.mainView()->count(), 1);
        QCOMPARE(RecentList::read(RecentList::FilesKey), QStringList{path("a.php")});
        QCOMPARE(workingDirectoryOf(window), tmp->path());

        // By name, a file that cannot be read is not remembered.
        Dialogs::clear();
        QVERIFY(!window.openFile(path("missing.php")));
        QCOMPARE(RecentList::read(RecentList::FilesKey), QStringList{path("a.php")});
        // Through the dialog it is, as the user chose it.
        Dialogs::clear();
        Dialogs::queueAnswer(path("missing.php"));
        window.openFile();
        QCOMPARE(RecentList::read(RecentList::FilesKey), (QStringList{path("missing.php"), path("a.php")}));
    }

    void sampleProjectIsInTheEditorsOwnForm()
    {
        const QString file = QStringLiteral(VIZIRO_SOURCE_DIR "/examples/site/site.vuzar");
        ProjectFile sample;
        QVERIFY2(sample.read(file), qPrintable(sample.errorString()));
        QCOMPARE(sample.serialize(file), ovtest::readFile(file));
        QStringList missing;
        std::function<void(const ProjectNode &)> walk = [&](const ProjectNode &node) {
            if (node.type == ProjectNode::File && !QFileInfo(node.path).isFile())
                missing << node.path;
            for (const ProjectNode &child : node.children)
                walk(child);
        };
        walk(sample.root);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
        QVERIFY(!sample.bookmarks.isEmpty());
    }
};

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
