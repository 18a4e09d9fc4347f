// The operations behind the tree's context menu and the explorer's additions.
#include "project/project.h"

#include "host/dialogs.h"
#include "host/host.h"
#include "project/addnewfiledialog.h"
#include "project/core/projectfile.h"
#include "project/projectlistitem.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

namespace ov {

namespace {

const char FileFilter[] = "PHP Source (*.php *.inc);;HTML Source (*.htm *.html);;Text files (*.txt);;All files (*.*)";

void countItems(const QTreeWidgetItem *item, int *folders, int *files)
{
    for (int i = 0; i < item->childCount(); ++i) {
        const auto *child = static_cast<const ProjectListItem *>(item->child(i));
        if (child->getType() == QLatin1String("File"))
            ++*files;
        else
            ++*folders;
        countItems(child, folders, files);
    }
}

} // namespace

ProjectListItem *Project::currentContainer() const
{
    auto *item = static_cast<ProjectListItem *>(currentItem());
    if (!item)
        return rootItem;
    // A file holds no items: the project file keeps no children of files.
    if (item->getType() == QLatin1String("File"))
        return item->parentItem() ? item->parentItem() : rootItem;
    return item;
}

void Project::editInPlace(QTreeWidgetItem *item)
{
    const Qt::ItemFlags flags = item->flags();
    item->setFlags(flags | Qt::ItemIsEditable);
    editItem(item, 0);
    item->setFlags(flags);
}

void Project::_addNewFile()
{
    ProjectListItem *parent = currentContainer();
    if (!parent)
        return;
    if (Dialogs::exec(addNewFileDialog) != QDialog::Accepted)
        return;
    const QString path = addNewFileDialog->getFilePath();
    if (QFileInfo::exists(path)) {
        Dialogs::critical(dialogParent(), QStringLiteral("File exists"),
                          QStringLiteral("File ") + path + QStringLiteral(" already exists"));
        openFile(path);
        return;
    }
    const QString folder = QFileInfo(path).path();
    if (!QFileInfo(folder).isDir() && !makeDirPath(folder)) {
        Dialogs::critical(dialogParent(), QStringLiteral("Error"), QStringLiteral("Can't create direcory ") + folder);
        return;
    }
    QFile file(path);
    const QByteArray start = addNewFileDialog->getInitialText().toUtf8();
    if (!file.open(QIODevice::ReadWrite) || file.write(start) != start.size()) {
        Dialogs::critical(dialogParent(), QStringLiteral("Error"), QStringLiteral("Can't create file ") + path);
        return;
    }
    file.close();
    parent->setExpanded(true);
    addFileItem(path, parent);
    openFile(path);
}

void Project::_addExistFile()
{
    ProjectListItem *parent = currentContainer();
    if (!parent)
        return;
    const QStringList files = Dialogs::getOpenFileNames(nullptr, QStringLiteral("Choose file to add..."),
                                                        QFileInfo(projectFileName).path(),
                                                        QString::fromLatin1(FileFilter));
    parent->setExpanded(true);
    for (const QString &path : files)
        addFileItem(path, parent);
    startUpdating();
}

void Project::_addNewFolder()
{
    ProjectListItem *parent = currentContainer();
    if (!parent)
        return;
    parent->setExpanded(true);
    auto *folder = new FolderItem(QStringLiteral("New Folder"), parent);
    folder->setIcon(0, folderIcon());
    setCurrentItem(folder);
    editInPlace(folder);
}

void Project::_rename()
{
    if (QTreeWidgetItem *item = currentItem())
        editInPlace(item);
}

void Project::_close()
{
    saveAndCloseProject();
}

void Project::_delete()
{
    auto *item = static_cast<ProjectListItem *>(currentItem());
    // The project item is closed, never removed.
    if (!item || !item->parentItem())
        return;
    item->parentItem()->removeChild(item);
    delete item;
}

void Project::_properties()
{
    const auto *item = static_cast<ProjectListItem *>(currentItem());
    if (!item)
        return;
    QDialog dialog(dialogParent());
    dialog.setWindowTitle(QStringLiteral("Properties"));
    auto *form = new QFormLayout(&dialog);
    auto addRow = [&](const QString &label, const QString &value) {
        auto *field = new QLineEdit(value, &dialog);
        field->setReadOnly(true);
        field->setCursorPosition(0);
        field->setMinimumWidth(360);
        form->addRow(label, field);
    };
    const QLocale locale;
    const QString type = item->getType();
    if (type == QLatin1String("File")) {
        const QFileInfo info(item->getPath());
        addRow(QStringLiteral("Name:"), item->text(0));
        addRow(QStringLiteral("Path:"), QDir::toNativeSeparators(item->getPath()));
        if (info.exists()) {
            addRow(QStringLiteral("Size:"), QStringLiteral("%1 (%2 bytes)")
                                                 .arg(locale.formattedDataSize(info.size()))
                                                 .arg(info.size()));
            addRow(QStringLiteral("Modified:"), locale.toString(info.lastModified(), QLocale::LongFormat));
        } else {
            addRow(QStringLiteral("Size:"), QStringLiteral("The file does not exist"));
        }
    } else {
        int folders = 0, files = 0;
        countItems(item, &folders, &files);
        addRow(QStringLiteral("Name:"), item->text(0));
        if (type == QLatin1String("Project"))
            addRow(QStringLiteral("File:"), QDir::toNativeSeparators(item->getPath()));
        addRow(QStringLiteral("Folders:"), QString::number(folders));
        addRow(QStringLiteral("Files:"), QString::number(files));
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    Dialogs::exec(&dialog);
}

void Project::_itemDoubleClicked(QTreeWidgetItem *item, int)
{
    if (item)
        static_cast<ProjectListItem *>(item)->open();
}

void Project::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    auto *item = static_cast<ProjectListItem *>(currentItem());
    if (enter && !(event->modifiers() & ~Qt::KeypadModifier) && state() != EditingState && item
        && item->getType() == QLatin1String("File")) {
        item->open();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void Project::_itemNameChanged(QTreeWidgetItem *treeItem, int)
{
    auto *item = static_cast<ProjectListItem *>(treeItem);
    if (!item || item->getType() != QLatin1String("File"))
        return;
    const QString path = item->getPath();
    const QString text = item->text(0);
    const QString folder = QFileInfo(path).path();
    const bool hasFolder = path.contains(QLatin1Char('/'));
    QString newPath = text;
    if (hasFolder)
        newPath = QDir(folder).isRoot() ? folder + text : folder + QLatin1Char('/') + text;
    if (!hasFolder || path == newPath)
        return;
    if (!item->rename(newPath)) {
        Dialogs::warning(this, QStringLiteral("Application"),
                         QStringLiteral("Cannot rename file %1 to %2").arg(path, newPath));
        item->setText(0, QFileInfo(path).fileName());
        return;
    }
    if (mainWindow)
        mainWindow->renameFile(path, newPath);
    item->setPath(newPath);
    // The bookmarks follow the file to its new name.
    const QList<int> lines = bookmarkStore.get(path);
    if (!lines.isEmpty()) {
        bookmarkStore.set(path, {});
        bookmarkStore.set(newPath, lines);
    }
}

void Project::_addFile(QString fileName)
{
    if (!rootItem)
        return;
    rootItem->setExpanded(true);
    addFileItem(fileName, rootItem);
    startUpdating();
}

void Project::_addDir(QString dirName, QStringList nameFilters)
{
    if (!rootItem)
        return;
    rootItem->setExpanded(true);
    addDirItem(QFileInfo(dirName).baseName(), dirName, nameFilters, rootItem);
    startUpdating();
}

} // namespace ov
