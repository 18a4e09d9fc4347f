#include <QAction>
#include <QDockWidget>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/dodivez.h"
#include "app/recentlist.h"
#include "editor/mainview.h"
#include "project/core/projectfile.h"
#include "project/project.h"
#include "testutil.h"

using namespace ov;

namespace {

QMenu *submenu(DODIvez &window, const QString &title)
{
    for (QMenu *menu : window.findChildren<QMenu *>())
        if (menu->title() == title)
            return menu;
    return nullptr;
}

QStringList shownEntries(QMenu *menu)
{
    QStringList texts;
    for (QAction *a : menu->actions())
        if (a->isVisible())
            texts << a->text();
    return texts;
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    std::unique_ptr<QTemporaryDir> tmp;

    QString file(const QString &name)
    {
        const QString path = tmp->path() + "/" + name;
        if (!QFileInfo::exists(path))
            ovtest::writeFile(path, "<?php\n");
        return path;
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
        openSettings().clear();
        Dialogs::clear();
    }

    void recentListKeepsFiveNewestFirst()
    {
        const char *key = RecentList::FilesKey;
        for (const char *name : {"1.php", "2.php", "3.php", "4.php", "5.php", "6.php"})
            RecentList::add(key, name);
        QCOMPARE(RecentList::read(key), (QStringList{"6.php", "5.php", "4.php", "3.php", "2.php"}));

        // Reopening an entry moves it up without duplicating it.
        QCOMPARE(RecentList::add(key, "4.php"), (QStringList{"4.php", "6.php", "5.php", "3.php", "2.php"}));
        QCOMPARE(RecentList::read(key), (QStringList{"4.php", "6.php", "5.php", "3.php", "2.php"}));

        // Letter case makes a different path.
        RecentList::add(key, "4.PHP");
        QCOMPARE(RecentList::read(key), (QStringList{"4.PHP", "4.php", "6.php", "5.php", "3.php"}));

        // The two lists are kept apart.
        QVERIFY(RecentList::read(RecentList::ProjectsKey).isEmpty());
    }

    void recentListSurvivesOddStoredValues()
    {
        QSettings settings = openSettings();
        settings.setValue(RecentList::FilesKey, 42);
        settings.setValue(RecentList::ProjectsKey, QString("/w/one.vuzar"));
        settings.sync();
        QVERIFY(RecentList::read(RecentList::FilesKey).isEmpty());
        QCOMPARE(RecentList::read(RecentList::ProjectsKey), QStringList{"/w/one.vuzar"});

        // A hand-edited list longer than five shows five.
        settings.setValue(RecentList::FilesKey, QStringList{"a", "b", "c", "d", "e", "f", "g"});
        settings.sync();
        QCOMPARE(RecentList::read(RecentList::FilesKey).size(), 5);
        QCOMPARE(RecentList::add(RecentList::FilesKey, "g").size(), 5);
    }

    void actionTexts_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text");
        QTest::newRow("C:/web/shop/index.php") << 0 << "C:/web/shop/index.php" << "&1 index.php";
        QTest::newRow("/w/site.vuzar") << 4 << "/w/site.vuzar" << "&5 site.vuzar";
        QTest::newRow("/w/R&D.php") << 1 << "/w/R&D.php" << "&2 R&&D.php";
    }

    void actionTexts()
    {
        QFETCH(int, index);
        QFETCH(QString, path);
        QFETCH(QString, text);
        QCOMPARE(RecentList::actionText(index, path), text);
    }

    void menusFollowTheLists()
    {
        DODIvez window{QString()};
        QMenu *files = submenu(window, "Recent Files");
        QMenu *projects = submenu(window, "Recent Projects");
        QVERIFY(files && projects);
        QCOMPARE(files->actions().size(), 5);
        QVERIFY(shownEntries(files).isEmpty());
        QVERIFY(shownEntries(projects).isEmpty());

        QVERIFY(window.openFile(file("a.php")));
        QVERIFY(window.openFile(file("b.php")));
        QCOMPARE(shownEntries(files), (QStringList{"&1 b.php", "&2 a.php"}));
        QCOMPARE(files->actions().at(1)->data().toString(), file("a.php"));

        // Choosing an entry opens it and brings it to the top.
        window.mainView()->closeAll();
        files->actions().at(1)->trigger();
        QCOMPARE(window.mainView()->count(), 1);
        QCOMPARE(shownEntries(files), (QStringList{"&1 a.php", "&2 b.php"}));

        // A file that is gone stays listed; choosing it reports the failure.
        QFile::remove(file("b.php"));
        Dialogs::clear();
        files->actions().at(1)->trigger();
        QCOMPARE(Dialogs::lastCall().kind, QString("warning"));
        QCOMPARE(shownEntries(files).size(), 2);

        ProjectFile project;
        QVERIFY(project.write(tmp->path() + "/p.vuzar"));
        window.openProject(tmp->path() + "/p.vuzar");
        window.openProject(QString());
        QCOMPARE(shownEntries(projects), QStringList{"&1 p.vuzar"});
        projects->actions().first()->trigger();
        QCOMPARE(window.project()->getProjectFileName(), tmp->path() + "/p.vuzar");
        QVERIFY(window.project()->getRootItem());
    }

    void windowSettingsRoundTrip()
    {
        {
            DODIvez window{QString()};
            window.resize(700, 500);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.findChild<QDockWidget *>("OutputDock")->hide();
            Dialogs::queueAnswer(file("w.php"));
            window.openFile();
        }
        {
            DODIvez window{QString()};
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.size(), QSize(700, 500));
            QVERIFY(window.findChild<QDockWidget *>("OutputDock")->isHidden());
            Dialogs::clear();
            window.openFile();
            QCOMPARE(Dialogs::lastCall().text, tmp->path());
        }
    }

    void oddWindowSettingsReadAsEmpty()
    {
        QSettings settings = openSettings();
        settings.setValue("geometry", QString("not a geometry"));
        settings.setValue("state", 17);
        settings.setValue("workingDirectory", QStringList{"/a", "/b"});
        settings.sync();
        DODIvez window{QString()};
        QVERIFY(window.findChild<QDockWidget *>("OutputDock")->isVisibleTo(&window));
        window.openFile();
        QCOMPARE(Dialogs::lastCall().text, QString());
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
