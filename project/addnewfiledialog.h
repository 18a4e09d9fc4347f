#pragma once

#include <QDialog>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace ov {

// Asks for the name and folder of a new file; a chosen template appends its
// extension to a name typed without one, and gives the file its starting
// text. Reused between showings, so it keeps what the user last entered.
// Creating the file is the caller's job.
class AddNewFileDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AddNewFileDialog(QWidget *parent);

    // folder + "/" + file name, as accepted.
    QString getFilePath() const;
    // What the accepted file starts with: the chosen template's text,
    // unless the name was typed with an extension that another template
    // makes; then (or with none chosen) that of the first template for it.
    QString getInitialText() const;
    void setPath(const QString &folder);

public Q_SLOTS:
    void changeFilePath();
    void accept() override;
    void changedTemplatesCategories();

private:
    struct Template {
        QString extension;
        QString description;
        QString text; // the file's starting text; %1 stands for its base name
    };
    const Template *selectedTemplate() const;

    QString fileName;
    const Template *accepted = nullptr;
    QString folder;
    QTreeWidget *categoryTree = nullptr;
    QListWidget *templateList = nullptr;
    QLineEdit *nameEdit = nullptr;
    QLineEdit *pathEdit = nullptr;
    QStringList categories; // the order shown under "All"
    QHash<QString, QList<Template>> templates;
};

} // namespace ov
