#include "project/addnewfiledialog.h"
#include "testutil.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTreeWidget>

using namespace ov;

class TestAddNewFileDialog : public QObject
{
    Q_OBJECT

    struct Form {
        QLineEdit *name;
        QLineEdit *path;
        QTreeWidget *categories;
        QListWidget *templates;
    };

    static Form form(AddNewFileDialog &d)
    {
        return {d.findChild<QLineEdit *>(QStringLiteral("nameEdit")), d.findChild<QLineEdit *>(QStringLiteral("pathEdit")),
                d.findChild<QTreeWidget *>(QStringLiteral("categoryTree")),
                d.findChild<QListWidget *>(QStringLiteral("templateList"))};
    }

    static void selectCategory(const Form &f, const QString &name)
    {
        const auto found = f.categories->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        QVERIFY(!found.isEmpty());
        f.categories->setCurrentItem(found.first());
    }

    // The first template with this extension, or with this text.
    static void selectTemplate(const Form &f, const QString &extension)
    {
        for (int i = 0; i < f.templates->count(); ++i) {
            if (f.templates->item(i)->whatsThis() == extension || f.templates->item(i)->text() == extension) {
                f.templates->setCurrentRow(i);
                return;
            }
        }
    }

private Q_SLOTS:
    void initTestCase() { ovtest::isolate(); }
    void init() { Dialogs::clear(); }

    void listsTemplatesByCategory()
    {
        AddNewFileDialog d(nullptr);
        const Form f = form(d);
        QCOMPARE(d.windowTitle(), QStringLiteral("Add new element"));
        QCOMPARE(f.categories->currentItem()->text(0), QStringLiteral("All"));
        QStringList all;
        for (int i = 0; i < f.templates->count(); ++i)
            all << f.templates->item(i)->text();
        QCOMPARE(all, QStringList({".php - PHP Script", ".php - PHP Class", ".html - HTML Page",
                                   ".css - CSS Style Sheet", ".js - JavaScript File", ".txt - Plain Text File",
                                   ".hpp - C++ Header File", ".cpp - C++ Source File", ".asm - Asm Source File",
                                   " - Custom Build File"}));
        QCOMPARE(f.categories->topLevelItem(0)->child(0)->text(0), QStringLiteral("PHP"));
        QCOMPARE(f.templates->currentRow(), 0);

        selectCategory(f, QStringLiteral("Asm"));
        QCOMPARE(f.templates->count(), 1);
        QCOMPARE(f.templates->item(0)->whatsThis(), QStringLiteral(".asm"));
        QVERIFY(f.templates->item(0)->isSelected());
    }

    void appliesTheTemplateExtension_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("accepted");
        QTest::newRow("index + .hpp") << "index" << ".hpp" << "index.hpp";
        QTest::newRow("main + .cpp") << "main" << ".cpp" << "main.cpp";
        QTest::newRow("main.cpp + .cpp") << "main.cpp" << ".cpp" << "main.cpp";
        // A name typed with an extension keeps it.
        QTest::newRow("main.c + .cpp") << "main.c" << ".cpp" << "main.c";
        QTest::newRow("newpage.php + .hpp") << "newpage.php" << ".hpp" << "newpage.php";
        QTest::newRow("newpage + .php") << "newpage" << ".php" << "newpage.php";
        QTest::newRow("a.php + no extension") << "a.php" << "" << "a.php";
    }

    void appliesTheTemplateExtension()
    {
        QFETCH(QString, typed);
        QFETCH(QString, extension);
        QFETCH(QString, accepted);
        AddNewFileDialog d(nullptr);
        const Form f = form(d);
        d.setPath(QStringLiteral("/w/site"));
        selectTemplate(f, extension);
        f.name->setText(typed);
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.getFilePath(), QStringLiteral("/w/site/") + accepted);
    }

    // What the new file starts with: the chosen template's text, unless the
    // name was typed with another template's extension.
    void initialText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("text");
        QTest::newRow("PHP script") << "tools" << ".php - PHP Script" << "<?php\n";
        QTest::newRow("PHP class") << "class-wp-thing.php" << ".php - PHP Class"
                                   << "<?php\n\nclass class_wp_thing\n{\n}\n";
        QTest::newRow("HTML page") << "about" << ".html - HTML Page"
                                   << "<!DOCTYPE html>\n<html>\n<head>\n    <meta charset=\"utf-8\">\n"
                                      "    <title>about</title>\n</head>\n<body>\n</body>\n</html>\n";
        QTest::newRow("CSS") << "style" << ".css - CSS Style Sheet" << "";
        QTest::newRow("typed .php, no template") << "page.php" << "" << "<?php\n";
        QTest::newRow("typed .css, PHP chosen") << "site.css" << ".php - PHP Script" << "";
        QTest::newRow("typed .inc, PHP class chosen") << "db.inc" << ".php - PHP Class"
                                                      << "<?php\n\nclass db\n{\n}\n";
    }

    void initialText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        QFETCH(QString, text);
        AddNewFileDialog d(nullptr);
        const Form f = form(d);
        if (chosen.isEmpty())
            f.templates->clearSelection();
        else
            selectTemplate(f, chosen);
        f.name->setText(typed);
        d.accept();
        QCOMPARE(d.getInitialText(), text);
    }

    void pathBoxAndNoTemplate()
    {
        AddNewFileDialog d(nullptr);
        const Form f = form(d);
        d.setPath(QStringLiteral("/w/site"));
        // Typed in the platform's own form, taken over with forward slashes.
        f.path->setText(QDir::toNativeSeparators(QStringLiteral("/w/other")));
        f.name->setText(QStringLiteral("x"));
        selectTemplate(f, QString());
        d.accept();
        QCOMPARE(d.getFilePath(), QStringLiteral("/w/other/x"));

        // Without a selected template the name is taken as typed and the
        // path box is not read.
        f.templates->clearSelection();
        f.path->setText(QStringLiteral("/ignored"));
        f.name->setText(QStringLiteral("y"));
        d.accept();
        QCOMPARE(d.getFilePath(), QStringLiteral("/w/other/y"));
    }

    void emptyNameKeepsTheDialogOpen()
    {
        AddNewFileDialog d(nullptr);
        d.setResult(QDialog::Rejected);
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(Dialogs::lastCall().kind, QStringLiteral("critical"));
        QCOMPARE(Dialogs::lastCall().title, QStringLiteral("Empty file name"));
        QCOMPARE(Dialogs::lastCall().text, QStringLiteral("Can't create file without name. Please specify file name."));
    }

    void browseAndReuse()
    {
        AddNewFileDialog d(nullptr);
        const Form f = form(d);
        d.setPath(QStringLiteral("/w/site"));
        Dialogs::queueAnswer(QString()); // cancelled: nothing changes
        d.changeFilePath();
        QCOMPARE(f.path->text(), QStringLiteral("/w/site"));
        Dialogs::queueAnswer(QStringLiteral("/w/lib"));
        d.changeFilePath();
        QCOMPARE(Dialogs::lastCall().title, QStringLiteral("Set file location"));
        QCOMPARE(f.path->text(), QStringLiteral("/w/lib"));

        selectCategory(f, QStringLiteral("C++"));
        f.name->setText(QStringLiteral("kept"));
        Dialogs::queueDialogHandler([](QDialog *dialog) {
            dialog->accept();
            return dialog->result();
        });
        QCOMPARE(Dialogs::exec(&d), int(QDialog::Accepted));
        // Shown again, the dialog still holds the name and category.
        QCOMPARE(f.name->text(), QStringLiteral("kept"));
        QCOMPARE(f.categories->currentItem()->text(0), QStringLiteral("C++"));
        QCOMPARE(d.getFilePath(), QStringLiteral("/w/lib/kept.hpp"));
    }
};

QTEST_MAIN(TestAddNewFileDialog)
#include "tst_addnewfiledialog.moc"
