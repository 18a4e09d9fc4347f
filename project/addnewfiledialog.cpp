#include "project/addnewfiledialog.h"

#include "host/dialogs.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyleFactory>
#include <QTreeWidget>

namespace ov {

AddNewFileDialog::AddNewFileDialog(QWidget *parent) : QDialog(parent)
{
    categories = {QStringLiteral("PHP"), QStringLiteral("C++"), QStringLiteral("Asm"), QStringLiteral("Other")};
    templates.insert(QStringLiteral("PHP"),
                     {{QStringLiteral(".php"), QStringLiteral("PHP Script"), QStringLiteral("<?php\n")},
                      {QStringLiteral(".php"), QStringLiteral("PHP Class"), QStringLiteral("<?php\n\nclass %1\n{\n}\n")},
                      {QStringLiteral(".html"), QStringLiteral("HTML Page"),
                       QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n    <meta charset=\"utf-8\">\n"
                                      "    <title>%1</title>\n</head>\n<body>\n</body>\n</html>\n")},
                      {QStringLiteral(".css"), QStringLiteral("CSS Style Sheet"), QString()},
                      {QStringLiteral(".js"), QStringLiteral("JavaScript File"), QString()},
                      {QStringLiteral(".txt"), QStringLiteral("Plain Text File"), QString()}});
    templates.insert(QStringLiteral("C++"), {{QStringLiteral(".hpp"), QStringLiteral("C++ Header File"), QString()},
                                             {QStringLiteral(".cpp"), QStringLiteral("C++ Source File"), QString()}});
    templates.insert(QStringLiteral("Asm"), {{QStringLiteral(".asm"), QStringLiteral("Asm Source File"), QString()}});
    templates.insert(QStringLiteral("Other"), {{QString(), QStringLiteral("Custom Build File"), QString()}});

    setWindowTitle(QStringLiteral("Add new element"));
    setModal(true);

    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    auto *group = new QGroupBox(QString(), this);
    QSizePolicy groupPolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    groupPolicy.setHorizontalStretch(1);
    group->setSizePolicy(groupPolicy);
    auto *grid = new QGridLayout(group);

    categoryTree = new QTreeWidget(group);
    categoryTree->setObjectName(QStringLiteral("categoryTree"));
    QStyle *style = QStyleFactory::create(QStringLiteral("Fusion"));
    if (style) {
        style->setParent(categoryTree);
        categoryTree->setStyle(style);
    }
    categoryTree->setHeaderLabel(QStringLiteral("File Types"));
    auto *all = new QTreeWidgetItem(categoryTree, {QStringLiteral("All")});
    for (const QString &category : std::as_const(categories))
        new QTreeWidgetItem(all, {category});
    all->setExpanded(true);
    grid->addWidget(categoryTree, 0, 0, 1, 2);

    templateList = new QListWidget(group);
    templateList->setObjectName(QStringLiteral("templateList"));
    grid->addWidget(templateList, 0, 2);

    auto *frame = new QFrame(group);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    auto *frameGrid = new QGridLayout(frame);
    auto *nameLabel = new QLabel(QStringLiteral("Name"), frame);
    nameLabel->setFrameShape(QFrame::NoFrame);
    nameEdit = new QLineEdit(frame);
    nameEdit->setObjectName(QStringLiteral("nameEdit"));
    pathEdit = new QLineEdit(frame);
    pathEdit->setObjectName(QStringLiteral("pathEdit"));
    auto *browse = new QPushButton(QStringLiteral("Browse..."), frame);
    frameGrid->addWidget(nameLabel, 0, 0);
    frameGrid->addWidget(nameEdit, 0, 1);
    frameGrid->addWidget(new QLabel(QStringLiteral("Path"), frame), 1, 0);
    frameGrid->addWidget(pathEdit, 1, 1);
    frameGrid->addWidget(browse, 1, 2);
    grid->addWidget(frame, 1, 0, 1, 3);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::No, Qt::Horizontal, this);
    form->addRow(group);
    form->addRow(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &AddNewFileDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AddNewFileDialog::reject);
    connect(browse, &QPushButton::pressed, this, &AddNewFileDialog::changeFilePath);
    connect(categoryTree, &QTreeWidget::itemSelectionChanged, this, &AddNewFileDialog::changedTemplatesCategories);

    categoryTree->setCurrentItem(all);
    fileName.clear();
    setPath(QCoreApplication::applicationDirPath());
}

QString AddNewFileDialog::getFilePath() const
{
    return folder + QLatin1Char('/') + fileName;
}

void AddNewFileDialog::setPath(const QString &path)
{
    folder = path;
    pathEdit->setText(QDir::toNativeSeparators(folder));
}

void AddNewFileDialog::changeFilePath()
{
    const QString chosen = Dialogs::getExistingDirectory(this, QStringLiteral("Set file location"), folder);
    if (!chosen.isEmpty())
        setPath(chosen);
}

const AddNewFileDialog::Template *AddNewFileDialog::selectedTemplate() const
{
    const QList<QListWidgetItem *> selected = templateList->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    const QStringList place = selected.first()->data(Qt::UserRole).toStringList();
    const auto found = templates.constFind(place.value(0));
    const int index = place.value(1).toInt();
    return found != templates.cend() && index < found->size() ? &found->at(index) : nullptr;
}

void AddNewFileDialog::accept()
{
    fileName = nameEdit->text();
    if (fileName.isEmpty()) {
        Dialogs::critical(this, QStringLiteral("Empty file name"),
                          QStringLiteral("Can't create file without name. Please specify file name."));
        return;
    }
    accepted = selectedTemplate();
    if (!accepted) {
        QDialog::accept();
        return;
    }
    // A name typed with an extension is the name the user wants.
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += accepted->extension;
    folder = QDir::fromNativeSeparators(pathEdit->text());
    QDialog::accept();
}

QString AddNewFileDialog::getInitialText() const
{
    const QFileInfo name(fileName);
    const QString extension = name.suffix().isEmpty() ? QString() : QLatin1Char('.') + name.suffix();
    const Template *forExtension = nullptr;
    for (const QString &category : categories) {
        for (const Template &t : *templates.constFind(category)) {
            if (!forExtension && !extension.isEmpty() && t.extension == extension)
                forExtension = &t;
        }
    }
    const Template *chosen = accepted && (accepted->extension == extension || !forExtension) ? accepted : forExtension;
    if (!chosen || chosen->text.isEmpty())
        return QString();
    if (!chosen->text.contains(QLatin1String("%1")))
        return chosen->text;
    // The base name, made a valid PHP name for a class.
    QString base = name.completeBaseName();
    for (QChar &c : base) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    }
    if (base.isEmpty() || base.front().isDigit())
        base.prepend(QLatin1Char('_'));
    return chosen->text.arg(base);
}

void AddNewFileDialog::changedTemplatesCategories()
{
    templateList->clear();
    const QTreeWidgetItem *current = categoryTree->currentItem();
    const QString category = current ? current->text(0) : QString();
    const QStringList shown = templates.contains(category) ? QStringList{category} : categories;
    for (const QString &c : shown) {
        const QList<Template> &list = *templates.constFind(c);
        for (int i = 0; i < list.size(); ++i) {
            const Template &t = list[i];
            auto *item = new QListWidgetItem(QIcon(QStringLiteral(":/icons/silk/page_white.png")),
                                             t.extension + QStringLiteral(" - ") + t.description, templateList);
            item->setWhatsThis(t.extension);
            item->setData(Qt::UserRole, QStringList{c, QString::number(i)});
        }
    }
    if (templateList->count() > 0)
        templateList->setCurrentRow(0);
}

} // namespace ov
