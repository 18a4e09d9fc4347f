#include "project/project.h"

#include "editor/core/textfile.h"
#include "host/dialogs.h"
#include "host/host.h"
#include "project/addnewfiledialog.h"
#include "project/core/projectfile.h"
#include "project/projectlistitem.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QStyleFactory>
#include <QTimer>

namespace ov {

namespace {

// Restores the cursor however the scope is left.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

Project::Project(Host *mainWindow, QWidget *parent) : QTreeWidget(parent), mainWindow(mainWindow)
{
    struct ActionSpec {
        const char *text;
        const char *icon;
        void (Project::*slot)();
    };
    const ActionSpec specs[] = {
        {"Add new file", ":/icons/silk/page.png", &Project::_addNewFile},
        {"Add existing file", ":/icons/silk/page_add.png", &Project::_addExistFile},
        {"Add new folder", ":/icons/silk/folder_add.png", &Project::_addNewFolder},
        {"Rename", nullptr, &Project::_rename},
        {"Close project", nullptr, &Project::_close},
        {"Remove", ":/icons/silk/cross.png", &Project::_delete},
        {"Properties", ":/icons/silk/wrench.png", &Project::_properties},
    };
    for (int i = 0; i < int(std::size(specs)); ++i) {
        // Parented to the tree only so that they are freed with it.
        auto *action = new QAction(QString::fromLatin1(specs[i].text), this);
        if (specs[i].icon)
            action->setIcon(QIcon(QString::fromLatin1(specs[i].icon)));
        connect(action, &QAction::triggered, this, specs[i].slot);
        actions.insert(i, action);
    }
    connect(this, &QTreeWidget::itemDoubleClicked, this, &Project::_itemDoubleClicked);
    connect(this, &QTreeWidget::itemChanged, this, &Project::_itemNameChanged);
    setUpAutoSave();

    // One menu per kind of item; every menu shares the actions above, which
    // act on the current item.
    auto addSubmenu = [this](QMenu *menu) {
        QMenu *add = menu->addMenu(QStringLiteral("Add"));
        add->addAction(actions[AddNewFile]);
        add->addAction(actions[AddExistFile]);
        add->addSeparator();
        add->addAction(actions[AddNewFolder]);
        menu->addSeparator();
    };
    projectItemMenu = new QMenu(this);
    addSubmenu(projectItemMenu);
    projectItemMenu->addAction(actions[Rename]);
    projectItemMenu->addAction(actions[Close]);
    projectItemMenu->addSeparator();
    projectItemMenu->addAction(actions[Properties]);
    folderItemMenu = new QMenu(this);
    addSubmenu(folderItemMenu);
    folderItemMenu->addAction(actions[Rename]);
    folderItemMenu->addAction(actions[Remove]);
    fileItemMenu = new QMenu(this);
    fileItemMenu->addAction(actions[Rename]);
    fileItemMenu->addAction(actions[Remove]);
    fileItemMenu->addSeparator();
    fileItemMenu->addAction(actions[Properties]);

    setHeaderHidden(true);
    setRootIsDecorated(false);
    setAcceptDrops(true);

    addNewFileDialog = new AddNewFileDialog(this);

    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        style->setParent(this);
        setStyle(style);
    }

    iconProvider = new QFileIconProvider;

    setDragEnabled(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    // Only the project item and folders take drops: an item dropped beside
    // the project item would be outside the project and lost on saving.
    invisibleRootItem()->setFlags(Qt::ItemIsEnabled);

    initAnalysis();
}

Project::~Project()
{
    delete iconProvider;
}

QWidget *Project::dialogParent()
{
    return mainWindow ? static_cast<QWidget *>(mainWindow->hostWindow()) : static_cast<QWidget *>(this);
}

void Project::openFile(const QString &path)
{
    if (mainWindow)
        mainWindow->openFile(path);
}

QIcon Project::fileIcon(const QString &path)
{
    // The provider answers by file type; asking once per suffix keeps large
    // projects quick to build.
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot > path.lastIndexOf(QLatin1Char('/')) ? path.mid(dot + 1) : QString();
    auto it = iconsBySuffix.constFind(suffix);
    if (it == iconsBySuffix.cend())
        it = iconsBySuffix.insert(suffix, iconProvider->icon(QFileInfo(path)));
    return *it;
}

QIcon Project::folderIcon()
{
    if (folderIconCache.isNull())
        folderIconCache = iconProvider->icon(QFileIconProvider::Folder);
    return folderIconCache;
}

void Project::contextMenuEvent(QContextMenuEvent *event)
{
    auto *item = static_cast<ProjectListItem *>(currentItem());
    if (!item)
        return;
    if (QMenu *menu = item->getContextMenu())
        menu->exec(event->globalPos());
}

QStringList Project::getProjectFiles() const
{
    QStringList files;
    if (!rootItem)
        return files;
    QList<const QTreeWidgetItem *> pending{rootItem};
    while (!pending.isEmpty()) {
        const auto *item = static_cast<const ProjectListItem *>(pending.takeLast());
        if (item->getType() == QLatin1String("File"))
            files.append(item->getPath());
        for (int i = item->childCount() - 1; i >= 0; --i)
            pending.append(item->child(i));
    }
    return files;
}

void Project::buildItems(const ProjectNode &node, ProjectListItem *parent)
{
    // Built apart and inserted at once: the view hears of one insertion
    // instead of one per item.
    FolderItem holder(QString(), nullptr);
    buildDetached(node, &holder);
    parent->addChildren(holder.takeChildren());
}

void Project::buildDetached(const ProjectNode &node, ProjectListItem *parent)
{
    for (const ProjectNode &child : node.children) {
        if (child.type == ProjectNode::File) {
            (new FileItem(child.path, parent))->setIcon(0, fileIcon(child.path));
        } else {
            auto *folder = new FolderItem(child.name, parent);
            folder->setIcon(0, folderIcon());
            buildDetached(child, folder);
        }
    }
}

ProjectNode Project::nodeOf(const ProjectListItem *item) const
{
    ProjectNode node;
    const QString type = item->getType();
    node.type = type == QLatin1String("Project") ? ProjectNode::Project
        : type == QLatin1String("File")          ? ProjectNode::File
                                                 : ProjectNode::Folder;
    if (node.type == ProjectNode::File)
        node.path = item->getPath();
    else
        node.name = item->text(0);
    for (int i = 0; i < item->childCount(); ++i)
        node.children.append(nodeOf(static_cast<const ProjectListItem *>(item->child(i))));
    return node;
}

bool Project::loadProject(const QString &fileName)
{
    ProjectFile file;
    if (!file.read(fileName)) {
        lastError = file.errorString();
        return false;
    }
    if (rootItem)
        closeProject();
    projectFileName = fileName;
    {
        WaitCursor wait;
        // Nothing below touches the model until the database is in.
        std::thread reading = readCodeDB();
        rootItem = new ProjectItem(this, file.root.name);
        rootItem->setPath(fileName);
        rootItem->setExpanded(true);
        buildItems(file.root, rootItem);
        bookmarkStore.setMap(file.bookmarks);
        addNewFileDialog->setPath(QFileInfo(fileName).path());
        reading.join();
    }
    // The run first: it does not wait for what follows.
    startUpdating();
    rememberProjectFile();
    // What the tree heard of was the load itself, which the file holds.
    autoSaveTimer->stop();
    lastError.clear();
    return true;
}

bool Project::saveProject(const QString &fileName)
{
    if (!fileName.isEmpty()) {
        projectFileName = fileName;
        if (rootItem)
            rootItem->setPath(fileName);
    }
    if (!rootItem) {
        lastError = QStringLiteral("No project is open");
        return false;
    }
    if (projectFileName.isEmpty()) {
        lastError = QStringLiteral("The project has no file name");
        return false;
    }
    // Serialized once: the bytes written are the ones remembered.
    QByteArray bytes = projectFileContent();
    QString error;
    if (!writeFileAtomically(projectFileName, bytes, &error)) {
        lastError = error;
        return false;
    }
    projectFileBytes = std::move(bytes);
    saveCodeDB();
    lastError.clear();
    return true;
}

bool Project::createProject(const QString &fileName)
{
    if (rootItem)
        closeProject();
    projectFileName = fileName;
    rootItem = new ProjectItem(this, QFileInfo(fileName).baseName());
    rootItem->setPath(fileName);
    rootItem->setExpanded(true);
    addNewFileDialog->setPath(QFileInfo(fileName).path());
    return true;
}

bool Project::createProjectFromFolder(const QString &dirPath, const QString &name, const QStringList &nameFilters)
{
    const QString projectName = name.isEmpty() ? QFileInfo(dirPath).baseName() : name;
    if (!createProject(dirPath + QLatin1Char('/') + projectName + QStringLiteral(".vuzar")))
        return false;
    {
        WaitCursor wait;
        ProjectNode scanned;
        scanFolder(dirPath, nameFilters, &scanned);
        buildItems(scanned, rootItem);
    }
    startUpdating();
    return true;
}

void Project::addDirItem(const QString &name, const QString &dirPath, const QStringList &nameFilters,
                         ProjectListItem *parentItem)
{
    ProjectNode folder;
    if (!scanFolderNode(name, dirPath, nameFilters, &folder))
        return;
    ProjectNode holder;
    holder.children.append(folder);
    buildItems(holder, parentItem);
}

void Project::addFileItem(const QString &path, ProjectListItem *parentItem)
{
    auto *item = new FileItem(path, parentItem);
    item->setIcon(0, fileIcon(path));
}

void Project::closeProject()
{
    if (!rootItem)
        return;
    clearCodeModel();
    clear();
    bookmarkStore.clear();
    projectFileBytes.clear();
    rootItem = nullptr;
}

bool Project::saveAndCloseProject()
{
    if (!rootItem)
        return true;
    if (!saveProject()) {
        const auto answer = Dialogs::warning(
            dialogParent(), QStringLiteral("Warning"),
            QStringLiteral("Cannot write project file %1:\n%2.\n\nClose the project without saving it?")
                .arg(QDir::toNativeSeparators(projectFileName), lastError),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return false;
    }
    closeProject();
    return true;
}

} // namespace ov
