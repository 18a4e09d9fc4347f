#include <QDir>
#include <QFileSystemModel>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/dodivez.h"
#include "project/fileexplorerplane.h"
#include "project/project.h"
#include "testutil.h"

using namespace ov;

namespace {

// Counts drags instead of running the nested drag loop.
class CountingExplorer : public FileExplorer
{
public:
    using FileExplorer::FileExplorer;
    int drags = 0;

protected:
    void startFileDrag() override { ++drags; }
};

QStringList menuTexts(QMenu *menu)
{
    QStringList texts;
    if (menu)
        for (QAction *a : menu->actions())
            texts << a->text();
    return texts;
}

} // namespace

class ExplorerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QString root;

    // The names the model lists under `dir`, in the order shown.
    QStringList shownNames(FileExplorer *view, const QString &dir)
    {
        QFileSystemModel *model = view->fileSystemModel();
        const QModelIndex parent = model->index(dir);
        if (model->canFetchMore(parent))
            model->fetchMore(parent);
        QStringList names;
        for (int row = 0; row < model->rowCount(parent); ++row)
            names << model->index(row, 0, parent).data().toString();
        return names;
    }

    void select(FileExplorer *view, const QString &path)
    {
        view->setCurrentIndex(view->fileSystemModel()->index(path));
        QVERIFY(view->currentIndex().isValid());
    }

private Q_SLOTS:
    void initTestCase()
    {
        ovtest::isolate();
        QVERIFY(tmp.isValid());
        root = tmp.path();
        QVERIFY(QDir(root).mkpath("site/lib"));
        QVERIFY(QDir(root).mkpath("site/empty"));
        for (const char *f : {"site/index.php", "site/about.html", "site/old.htm", "site/notes.txt", "site/lib/db.inc"})
            QVERIFY(ovtest::writeFile(root + "/" + f, "x"));
    }

    void nameFilters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("filters");
        QTest::newRow("All Files (*.*)") << "All Files (*.*)" << QStringList{"*.*"};
        QTest::newRow("PHP files (*.php;*.inc)") << "PHP files (*.php;*.inc)" << QStringList{"*.php", "*.inc"};
        QTest::newRow("HTML files (*.htm;*.html)") << "HTML files (*.htm;*.html)" << QStringList{"*.htm", "*.html"};
        QTest::newRow("*.php; *.txt") << "*.php; *.txt" << QStringList{"*.php", "*.txt"};
        QTest::newRow("a b.txt") << "a b.txt" << QStringList{"ab.txt"};
        QTest::newRow("*.php;;") << "*.php;;" << QStringList{"*.php"};
        QTest::newRow("x (a) (b)") << "x (a) (b)" << QStringList{"a"};
        QTest::newRow("unclosed (*.js") << "unclosed (*.js" << QStringList{"*.js"};
        QTest::newRow("nothing after (") << "f(" << QStringList{"f("};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("spaces") << "   " << QStringList{};
    }

    void nameFilters()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, filters);
        QCOMPARE(FileExplorerPlane::nameFiltersFromText(text), filters);
    }

    void planeStartsUnfilteredAndFollowsTheBox()
    {
        FileExplorerPlane plane(nullptr, nullptr);
        FileExplorer *view = plane.explorer();
        FileExplorerFilter *box = plane.filterBox();
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->itemText(1), QString("PHP files (*.php;*.inc)"));
        QVERIFY(box->isEditable());
        QVERIFY(view->nameFilters().isEmpty());
        QVERIFY(view->isColumnHidden(1) && !view->isColumnHidden(0));

        const QString site = root + "/site";
        QTRY_COMPARE(shownNames(view, site),
                     (QStringList{"empty", "lib", "about.html", "index.php", "notes.txt", "old.htm"}));

        box->setCurrentIndex(2);
        QCOMPARE(view->nameFilters(), (QStringList{"*.htm", "*.html"}));
        // Folders stay, even those without a matching file.
        QTRY_COMPARE(shownNames(view, site), (QStringList{"empty", "lib", "about.html", "old.htm"}));

        box->setEditText("*.txt;*.inc");
        QTRY_COMPARE(shownNames(view, site), (QStringList{"empty", "lib", "notes.txt"}));
        QTRY_COMPARE(shownNames(view, site + "/lib"), QStringList{"db.inc"});

        box->setEditText(QString());
        QTRY_COMPARE(shownNames(view, site).size(), 6);
    }

    void menuWithoutProject()
    {
        Project project(nullptr, nullptr);
        FileExplorer view(&project, nullptr);
        view.setCurrentIndex(QModelIndex());
        QVERIFY(!view.prepareContextMenu());

        select(&view, root + "/site/index.php");
        QCOMPARE(menuTexts(view.prepareContextMenu()), QStringList{"Open in editor"});
        select(&view, root + "/site/lib");
        QVERIFY(!view.prepareContextMenu());
    }

    // A double-click or Return opens a file, never a folder.
    void doubleClickAndReturnOpenFiles()
    {
        DODIvez w{QString()};
        w.show();
        FileExplorer *view = w.fileExplorer()->explorer();
        MainView *tabs = w.mainView();
        const QString file = root + "/site/index.php";
        select(view, root + "/site/lib");
        QTest::keyClick(view, Qt::Key_Return);
        select(view, file);
        view->scrollTo(view->currentIndex());
        QTRY_VERIFY(view->visualRect(view->currentIndex()).isValid());
        const QPoint at = view->visualRect(view->currentIndex()).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(tabs->count(), 1);
        QVERIFY(tabs->getSource(file));
        tabs->closeTab(0);
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(tabs->count(), 1);
        QVERIFY(tabs->getSource(file));
    }

    void menuWithProject()
    {
        Project project(nullptr, nullptr);
        QVERIFY(project.createProject(root + "/site/site.vuzar"));
        FileExplorer view(&project, nullptr);

        select(&view, root + "/site/index.php");
        QCOMPARE(menuTexts(view.prepareContextMenu()), (QStringList{"Open in editor", "Add file to project"}));
        select(&view, root + "/site/lib");
        QCOMPARE(menuTexts(view.prepareContextMenu()), QStringList{"Add folder to project"});
        // The menu is refilled, not appended to.
        QCOMPARE(menuTexts(view.prepareContextMenu()).size(), 1);
        select(&view, QDir::rootPath());
        QVERIFY(!view.prepareContextMenu());
    }

    void addsToProjectUnderTheShownFilter()
    {
        Project project(nullptr, nullptr);
        QVERIFY(project.createProject(root + "/p.vuzar"));
        FileExplorerPlane plane(&project, nullptr);
        FileExplorer *view = plane.explorer();
        plane.filterBox()->setCurrentIndex(2);

        select(view, root + "/site");
        QMenu *menu = view->prepareContextMenu();
        QVERIFY(menu);
        menu->actions().first()->trigger();
        select(view, root + "/site/lib/db.inc");
        view->prepareContextMenu()->actions().last()->trigger();

        // The folder keeps only its HTML files and no empty subfolder.
        QCOMPARE(project.getProjectFiles(), (QStringList{root + "/site/about.html", root + "/site/old.htm",
                                                          root + "/site/lib/db.inc"}));
        QTreeWidgetItem *top = project.topLevelItem(0);
        QCOMPARE(top->childCount(), 2);
        QCOMPARE(top->child(0)->text(0), QString("site"));
        QCOMPARE(top->child(0)->childCount(), 2);
    }

    void dragOut()
    {
        CountingExplorer view(nullptr, nullptr);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        select(&view, root + "/site/index.php");

        std::unique_ptr<QMimeData> data(view.mimeDataForCurrent());
        QVERIFY(data);
        QCOMPARE(data->urls(), QList<QUrl>{QUrl::fromLocalFile(root + "/site/index.php")});

        const QPoint start(30, 30);
        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, start);
        QMouseEvent shortMove(QEvent::MouseMove, start + QPoint(1, 1), view.viewport()->mapToGlobal(start + QPoint(1, 1)),
                              Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(view.viewport(), &shortMove);
        QCOMPARE(view.drags, 0);
        QMouseEvent longMove(QEvent::MouseMove, start + QPoint(40, 0), view.viewport()->mapToGlobal(start + QPoint(40, 0)),
                             Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(view.viewport(), &longMove);
        QCOMPARE(view.drags, 1);
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, start + QPoint(40, 0));

        // A move without the left button held is no drag.
        QMouseEvent hover(QEvent::MouseMove, start + QPoint(80, 0), view.viewport()->mapToGlobal(start + QPoint(80, 0)),
                          Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(view.viewport(), &hover);
        QCOMPARE(view.drags, 1);
    }
};

QTEST_MAIN(ExplorerTest)
#include "tst_explorer.moc"
