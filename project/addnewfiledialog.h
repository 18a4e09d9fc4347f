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
// extension to the name. Reused between showings, so it keeps what the
// user last entered. Creating the file is the caller's job.
class AddNewFileDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AddNewFileDialog(QWidget *parent);

    // folder + "/" + file name, as accepted.
    QString getFilePath() const;
    void setPath(const QString &folder);

public Q_SLOTS:
    void changeFilePath();
    void accept() override;
    void changedTemplatesCategories();

private:
    using Template = QPair<QString, QString>; // extension, description

    QString fileName;
    QString folder;
    QTreeWidget *categoryTree = nullptr;
    QListWidget *templateList = nullptr;
    QLineEdit *nameEdit = nullptr;
    QLineEdit *pathEdit = nullptr;
    QStringList categories; // the order shown under "All"
    QHash<QString, QList<Template>> templates;
};

} // namespace ov
