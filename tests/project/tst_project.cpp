#include "analysis/fileparsingdialog.h"
#include "app/dodivez.h"
#include "editor/mainview.h"
#include "editor/sourceedit.h"
#include "project/addnewfiledialog.h"
#include "project/project.h"
#include "project/projectlistitem.h"
#include "testutil.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QTest>

using namespace ov;

namespace {

QString shape(const QTreeWidgetItem *item)
{
    const auto *p = static_cast<const ProjectListItem *>(item);
    QString s = p->getType().left(2) + QLatin1Char(':') + p->text(0);
    if (item->childCount()) {
        QStringList children;
        for (int i = 0; i < item->childCount(); ++i)
            children << shape(item->child(i));
        s += QLatin1Char('(') + children.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return s;
}

QStringList menuTexts(const QMenu *menu)
{
    QStringList texts;
    for (QAction *a : menu->actions()) {
        if (a->menu())
            texts << a->text() + QLatin1Char('[') + menuTexts(a->menu()).join(QLatin1Char(',')) + QLatin1Char(']');
        else
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    return texts;
}

// Accepts the new-file dialog with a name (no template) in a folder.
void answerNewFile(const QString &folder, const QString &name)
{
    Dialogs::queueDialogHandler([folder, name](QDialog *dialog) {
        auto *d = static_cast<AddNewFileDialog *>(dialog);
        d->setPath(folder);
        d->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(name);
        d->findChild<QListWidget *>(QStringLiteral("templateList"))->clearSelection();
        d->accept();
        return d->result();
    });
}

} // namespace

class TestProject : public QObject
{
    Q_OBJECT

    DODIvez *window = nullptr;
    Project *project = nullptr;
    QTemporaryDir *tmp = nullptr;
    QString dir;

    QString touch(const QString &relative, const QByteArray &bytes = "<?php\n")
    {
        const QString path = dir + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).path());
        ovtest::writeFile(path, bytes);
        return path;
    }

    ProjectListItem *item(const QString &text) const
    {
        const auto found = project->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : static_cast<ProjectListItem *>(found.first());
    }

private Q_SLOTS:
    void initTestCase() { ovtest::isolate(); }

    void init()
    {
        Dialogs::clear();
        tmp = new QTemporaryDir;
        dir = tmp->path();
        window = new DODIvez(QString());
        project = window->project();
    }

    void cleanup()
    {
        delete window;
        delete tmp;
    }

    void itemsAndMenus()
    {
        QVERIFY(!project->getRootItem());
        QVERIFY(project->getProjectFiles().isEmpty());

        auto *root = new ProjectItem(project, QStringLiteral("P"));
        QVERIFY(!root->getContextMenu());
        QCOMPARE(int(root->flags()), 41);
        root->setPath(dir + QStringLiteral("/p.vuzar"));
        QCOMPARE(menuTexts(root->getContextMenu()),
                 QStringList({"Add[Add new file,Add existing file,-,Add new folder]", "-", "Rename", "Close project", "-",
                              "Properties"}));

        auto *folder = new FolderItem(QStringLiteral("F"), root);
        QCOMPARE(int(folder->flags()), 45);
        QCOMPARE(menuTexts(folder->getContextMenu()),
                 QStringList({"Add[Add new file,Add existing file,-,Add new folder]", "-", "Rename", "Remove"}));
        auto *file = new FileItem(QStringLiteral("/a/b/c.php"), folder);
        QCOMPARE(int(file->flags()), 37);
        QCOMPARE(file->text(0), QStringLiteral("c.php"));
        QCOMPARE(file->getPath(), QStringLiteral("/a/b/c.php"));
        QCOMPARE(file->getProject(), project);
        QCOMPARE(menuTexts(file->getContextMenu()), QStringList({"Rename", "Remove", "-", "Properties"}));
        // Nothing may be dropped outside the project item.
        QVERIFY(!(project->invisibleRootItem()->flags() & Qt::ItemIsDropEnabled));
    }

    void filesInTreeOrder()
    {
        QVERIFY(project->createProject(dir + QStringLiteral("/p.vuzar")));
        auto *root = static_cast<ProjectListItem *>(project->getRootItem());
        project->addFileItem(QStringLiteral("/A"), root);
        auto *f = new FolderItem(QStringLiteral("F"), root);
        project->addFileItem(QStringLiteral("/B"), f);
        auto *g = new FolderItem(QStringLiteral("G"), f);
        project->addFileItem(QStringLiteral("/C"), g);
        project->addFileItem(QStringLiteral("/D"), root);
        QCOMPARE(project->getProjectFiles(), QStringList({"/A", "/B", "/C", "/D"}));
    }

    void saveAndLoadRoundTrip()
    {
        const QString name = dir + QStringLiteral("/site.vuzar");
        QVERIFY(project->createProject(name));
        auto *root = static_cast<ProjectListItem *>(project->getRootItem());
        QCOMPARE(root->text(0), QStringLiteral("site"));
        auto *lib = new FolderItem(QStringLiteral("lib"), root);
        project->addFileItem(dir + QStringLiteral("/lib/db.php"), lib);
        project->addFileItem(dir + QStringLiteral("/index.php"), root);
        project->setBookmarks(dir + QStringLiteral("/index.php"), {4});
        root->setText(0, QStringLiteral("Site"));
        QVERIFY(project->saveProject());
        QCOMPARE(ovtest::readFile(name), QByteArray("<!DOCTYPE RODadazozOZO>\n"
                                                    "<Project Name=\"Site\">\n"
                                                    " <Folder Name=\"lib\">\n"
                                                    "  <File Name=\"lib/db.php\"/>\n"
                                                    " </Folder>\n"
                                                    " <File Name=\"index.php\"/>\n"
                                                    " <Bookmarks>\n"
                                                    "  <Bookmark FileName=\"index.php\" LineNumber=\"4\"/>\n"
                                                    " </Bookmarks>\n"
                                                    "</Project>\n"));

        project->closeProject();
        QVERIFY(!project->getRootItem());
        QCOMPARE(project->topLevelItemCount(), 0);
        QVERIFY(project->getBookmarks(dir + QStringLiteral("/index.php")).isEmpty());

        QVERIFY(project->loadProject(name));
        QCOMPARE(project->getProjectFileName(), name);
        QCOMPARE(shape(project->getRootItem()), QStringLiteral("Pr:Site(Fo:lib(Fi:db.php) Fi:index.php)"));
        QVERIFY(project->getRootItem()->isExpanded());
        QCOMPARE(project->getBookmarks(dir + QStringLiteral("/index.php")), QList<int>{4});
        QCOMPARE(project->getRootItem()->getPath(), name);
        QCOMPARE(project->newFileDialog()->getFilePath(), dir + QStringLiteral("/"));

        // Save under another name: that name becomes the project's file.
        const QString other = dir + QStringLiteral("/copy.vuzar");
        QVERIFY(project->saveProject(other));
        QCOMPARE(project->getProjectFileName(), other);
        QCOMPARE(ovtest::readFile(other), ovtest::readFile(name));
    }

    void loadAndSaveFailures()
    {
        QVERIFY(!project->saveProject());
        QVERIFY(!project->errorString().isEmpty());

        QByteArray deep = "<Project Name=\"d\">";
        for (int i = 0; i < 100000; ++i)
            deep += "<Folder Name=\"f\">";
        const QString hostile = touch(QStringLiteral("deep.vuzar"), deep);
        QVERIFY(!project->loadProject(hostile));
        QVERIFY(!project->getRootItem());
        QCOMPARE(project->topLevelItemCount(), 0);
        QVERIFY(!project->loadProject(dir + QStringLiteral("/missing.vuzar")));

        QVERIFY(project->createProject(dir + QStringLiteral("/no/such/folder/p.vuzar")));
        QVERIFY(!project->saveProject());
        QVERIFY(!project->errorString().isEmpty());
    }

    void createFromFolder()
    {
        touch(QStringLiteral("site/a/b/c/deep.php"));
        touch(QStringLiteral("site/empty/.hidden"));
        touch(QStringLiteral("site/jquery.ui/ui.js"));
        touch(QStringLiteral("site/index.php"));
        touch(QStringLiteral("site/site.vuzar"), "old");
        QVERIFY(project->createProjectFromFolder(dir + QStringLiteral("/site"), QString(), {QStringLiteral("*")}));
        QCOMPARE(project->getProjectFileName(), dir + QStringLiteral("/site/site.vuzar"));
        QCOMPARE(shape(project->getRootItem()),
                 QStringLiteral("Pr:site(Fo:a(Fo:b(Fo:c(Fi:deep.php))) Fo:jquery(Fi:ui.js) Fi:index.php Fi:site.vuzar)"));
        QVERIFY(project->getRootItem()->isExpanded());
        project->closeProject();

        QVERIFY(project->createProject(dir + QStringLiteral("/my.site.vuzar")));
        QCOMPARE(project->getRootItem()->text(0), QStringLiteral("my"));
    }

    void addNewFile()
    {
        QVERIFY(project->createProject(dir + QStringLiteral("/p.vuzar")));
        auto *root = static_cast<ProjectListItem *>(project->getRootItem());
        auto *lib = new FolderItem(QStringLiteral("lib"), root);

        // Cancelled: nothing happens.
        project->setCurrentItem(lib);
        project->_addNewFile();
        QCOMPARE(lib->childCount(), 0);

        // Into a folder of the disk that does not exist yet.
        answerNewFile(dir + QStringLiteral("/src/inc"), QStringLiteral("a.php"));
        project->_addNewFile();
        const QString a = dir + QStringLiteral("/src/inc/a.php");
        QVERIFY(QFileInfo(a).isFile());
        QCOMPARE(ovtest::readFile(a), QByteArray("<?php\n"));
        QCOMPARE(shape(lib), QStringLiteral("Fo:lib(Fi:a.php)"));
        QVERIFY(window->mainView()->getSource(a));

        // With a file current, the new file goes beside it.
        project->setCurrentItem(lib->child(0));
        answerNewFile(dir, QStringLiteral("b.php"));
        project->_addNewFile();
        QCOMPARE(shape(lib), QStringLiteral("Fo:lib(Fi:a.php Fi:b.php)"));

        // With no current item, under the project item.
        project->setCurrentItem(nullptr);
        answerNewFile(dir, QStringLiteral("c.php"));
        project->_addNewFile();
        QCOMPARE(shape(root), QStringLiteral("Pr:p(Fo:lib(Fi:a.php Fi:b.php) Fi:c.php)"));

        // An existing file is opened, not added.
        const QString existing = touch(QStringLiteral("old.php"));
        answerNewFile(dir, QStringLiteral("old.php"));
        project->_addNewFile();
        QCOMPARE(Dialogs::lastCall().title, QStringLiteral("File exists"));
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("File ") + existing + QStringLiteral(" already exists"));
        QVERIFY(window->mainView()->getSource(existing));
        QCOMPARE(root->childCount(), 2);

        answerNewFile(QStringLiteral("/proc/self/nope"), QStringLiteral("x.php"));
        project->_addNewFile();
        QCOMPARE(Dialogs::lastCall().title, QStringLiteral("Error"));
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("Can't create direcory /proc/self/nope"));

        answerNewFile(QStringLiteral("/proc/self"), QStringLiteral("x.php"));
        project->_addNewFile();
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("Can't create file /proc/self/x.php"));
        QCOMPARE(root->childCount(), 2);
    }

    void addExistingFilesFoldersAndRemove()
    {
        QVERIFY(project->createProject(dir + QStringLiteral("/p.vuzar")));
        auto *root = static_cast<ProjectListItem *>(project->getRootItem());
        const QString x = touch(QStringLiteral("x.php"));
        project->setCurrentItem(root);
        Dialogs::queueAnswer(QStringList{x});
        project->_addExistFile();
        QCOMPARE(Dialogs::lastCall().title, QStringLiteral("Choose file to add..."));
        Dialogs::queueAnswer(QStringList{x});
        project->_addExistFile();
        project->_addExistFile(); // cancelled
        QCOMPARE(project->getProjectFiles(), QStringList({x, x}));

        project->_addNewFolder();
        ProjectListItem *folder = item(QStringLiteral("New Folder"));
        QVERIFY(folder);
        QCOMPARE(folder->getType(), QStringLiteral("Folder"));
        QVERIFY(!(folder->flags() & Qt::ItemIsEditable));

        touch(QStringLiteral("ext/sub/y.php"));
        touch(QStringLiteral("ext/none/z.txt"));
        project->_addDir(dir + QStringLiteral("/ext"), {QStringLiteral("*.php")});
        project->_addFile(x);
        QCOMPARE(shape(root), QStringLiteral("Pr:p(Fi:x.php Fi:x.php Fo:New Folder Fo:ext(Fo:sub(Fi:y.php)) Fi:x.php)"));

        // Removing a folder takes everything below it out of the project.
        project->setCurrentItem(item(QStringLiteral("ext")));
        project->_delete();
        QCOMPARE(shape(root), QStringLiteral("Pr:p(Fi:x.php Fi:x.php Fo:New Folder Fi:x.php)"));
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/ext/sub/y.php")));
        // The project item is never removed.
        project->setCurrentItem(root);
        project->_delete();
        QCOMPARE(project->getRootItem(), root);
    }

    void renameOnDisk()
    {
        QVERIFY(project->createProject(dir + QStringLiteral("/p.vuzar")));
        auto *root = static_cast<ProjectListItem *>(project->getRootItem());
        const QString a = touch(QStringLiteral("a.php"), "<?php\n1\n2\n");
        const QString taken = touch(QStringLiteral("taken.php"));
        project->addFileItem(a, root);
        auto *file = static_cast<ProjectListItem *>(root->child(0));
        QVERIFY(window->openFile(a));
        project->setBookmarks(a, {1});

        file->setText(0, QStringLiteral("b.php"));
        const QString b = dir + QStringLiteral("/b.php");
        QCOMPARE(file->getPath(), b);
        QVERIFY(QFileInfo::exists(b));
        QVERIFY(!QFileInfo::exists(a));
        QVERIFY(window->mainView()->getSource(b));
        QCOMPARE(project->getBookmarks(b), QList<int>{1});
        QVERIFY(project->getBookmarks(a).isEmpty());

        // The name is taken: the file keeps its name, the user is told.
        file->setText(0, QStringLiteral("taken.php"));
        QCOMPARE(Dialogs::lastCall().kind, QStringLiteral("warning"));
        QCOMPARE(Dialogs::lastCall().title, QStringLiteral("Application"));
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("Cannot rename file %1 to %2").arg(b, taken));
        QCOMPARE(file->text(0), QStringLiteral("b.php"));
        QCOMPARE(file->getPath(), b);
        QCOMPARE(ovtest::readFile(taken), QByteArray("<?php\n"));

        // Folders and the project only change their text.
        auto *folder = new FolderItem(QStringLiteral("F"), root);
        folder->setText(0, QStringLiteral("G"));
        root->setText(0, QStringLiteral("Q"));
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList({"b.php", "taken.php"}));
    }

    void closeAndProperties()
    {
        const QString name = dir + QStringLiteral("/p.vuzar");
        QVERIFY(project->createProject(name));
        project->setCurrentItem(project->getRootItem());
        project->action(Project::Close)->trigger();
        QVERIFY(!project->getRootItem());
        QVERIFY(ovtest::readFile(name).startsWith("<!DOCTYPE RODadazozOZO>"));

        // A project that cannot be saved stays open unless the user says so.
        QVERIFY(project->createProject(dir + QStringLiteral("/gone/p.vuzar")));
        Dialogs::queueAnswer(int(QMessageBox::No));
        project->_close();
        QCOMPARE(Dialogs::lastCall().title, QStringLiteral("Warning"));
        QVERIFY(Dialogs::lastCall().text.contains(QStringLiteral("gone/p.vuzar")));
        QVERIFY(project->getRootItem());
        Dialogs::queueAnswer(int(QMessageBox::Yes));
        QVERIFY(project->saveAndCloseProject());
        QVERIFY(!project->getRootItem());

        QVERIFY(project->createProject(name));
        auto *root = static_cast<ProjectListItem *>(project->getRootItem());
        const QString a = touch(QStringLiteral("a.php"), "12345");
        auto *f = new FolderItem(QStringLiteral("F"), root);
        project->addFileItem(a, f);
        QStringList shown;
        auto readFields = [&shown](QDialog *d) {
            for (QLineEdit *e : d->findChildren<QLineEdit *>()) {
                if (!e->isReadOnly())
                    return 1; // fails the comparison below
                shown << e->text();
            }
            return int(QDialog::Rejected);
        };
        Dialogs::queueDialogHandler(readFields);
        project->setCurrentItem(root);
        project->action(Project::Properties)->trigger();
        QCOMPARE(shown, QStringList({"p", name, "1", "1"}));
        shown.clear();
        Dialogs::queueDialogHandler(readFields);
        project->setCurrentItem(f->child(0));
        project->_properties();
        QCOMPARE(shown.mid(0, 2), QStringList({"a.php", a}));
        QVERIFY(shown.at(2).contains(QStringLiteral("5 bytes")));
    }

    void treeWithoutWindowDeletesItsDialogs()
    {
        auto *alone = new Project(nullptr, nullptr);
        QPointer<QWidget> parsing = alone->parsingDialog();
        QVERIFY(parsing);
        delete alone;
        QVERIFY(parsing.isNull());
    }

    void bookmarksAcrossFiles()
    {
        const QString a = touch(QStringLiteral("a.php"), QByteArray("line\n").repeated(20));
        const QString b = touch(QStringLiteral("b.php"), QByteArray("line\n").repeated(20));
        project->setBookmarks(a, {3});
        project->showNextBookmark(); // no project: nothing moves
        QVERIFY(project->bookmarkPosition().file.isEmpty());

        QVERIFY(project->createProject(dir + QStringLiteral("/p.vuzar")));
        project->setBookmarks(b, {5});
        project->setBookmarks(a, {3, 10});
        QStringList visits;
        auto step = [&](bool next) {
            next ? project->showNextBookmark() : project->showPrevBookmark();
            SourceEdit *editor = window->mainView()->getSource(project->bookmarkPosition().file);
            QVERIFY(editor);
            QCOMPARE(window->mainView()->currentWidget(), editor);
            visits << QFileInfo(editor->getFilePath()).fileName() + QLatin1Char(':')
                    + QString::number(editor->textCursor().blockNumber());
        };
        for (int i = 0; i < 4; ++i)
            step(true);
        step(false);
        QCOMPARE(visits, QStringList({"a.php:3", "a.php:10", "b.php:5", "a.php:3", "b.php:5"}));

        // A file whose last line was removed is skipped.
        project->removeBookmark(a, 3);
        project->removeBookmark(a, 10);
        visits.clear();
        step(true);
        step(false);
        QCOMPARE(visits, QStringList({"b.php:5", "b.php:5"}));
    }
};

QTEST_MAIN(TestProject)
#include "tst_project.moc"
