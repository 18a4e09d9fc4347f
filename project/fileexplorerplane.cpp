#include "project/fileexplorerplane.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "host/host.h"
#include "project/project.h"

namespace ov {

namespace {
const QDir::Filters kListing = QDir::Dirs | QDir::Files | QDir::Drives | QDir::AllDirs | QDir::NoDotAndDotDot;
}

// --- FileExplorer -----------------------------------------------------------

FileExplorer::FileExplorer(Project *project, QWidget *parent)
    : QTreeView(parent), project(project)
{
    model = new QFileSystemModel(this);
    // Files that miss the filter are hidden, not greyed out.
    model->setNameFilterDisables(false);
    model->setFilter(kListing);
    model->setRootPath(QDir::rootPath());
    setModel(model);

    setAnimated(false);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);

    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        style->setParent(this); // a widget does not own the style it is given
        setStyle(style);
    }

    for (int column = 1; column < model->columnCount(); ++column)
        hideColumn(column);

    addFileAct = new QAction(tr("Add file to project"), this);
    addDirAct = new QAction(tr("Add folder to project"), this);
    openAct = new QAction(tr("Open in editor"), this);
    connect(addFileAct, &QAction::triggered, this, &FileExplorer::addToProject);
    connect(addDirAct, &QAction::triggered, this, &FileExplorer::addDirToProject);
    connect(openAct, &QAction::triggered, this, &FileExplorer::openFile);

    contextMenu = new QMenu(this);
    // A double-click opens a file; on a folder it only unfolds it.
    connect(this, &QTreeView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid() && index == currentIndex())
            openFile();
    });

    // Start where the user's files are rather than at a collapsed "/".
    const QModelIndex home = model->index(QDir::homePath());
    for (QModelIndex i = home; i.isValid(); i = i.parent())
        expand(i);
    setCurrentIndex(home);
    scrollTo(home);
    // The model lists folders in the background: the home folder's row has
    // its place only once its parent folder is listed.
    const QString homeParent = QFileInfo(QDir::homePath()).absolutePath();
    auto scrolled = std::make_shared<QMetaObject::Connection>();
    *scrolled = connect(model, &QFileSystemModel::directoryLoaded, this, [this, homeParent, scrolled](const QString &path) {
        if (QDir::cleanPath(path) != homeParent)
            return;
        QObject::disconnect(*scrolled);
        // After the model's own delayed sort of the new rows.
        QTimer::singleShot(100, this, [this] { scrollTo(model->index(QDir::homePath()), PositionAtCenter); });
    });
}

void FileExplorer::setNameFilters(const QStringList &filters)
{
    model->setNameFilters(filters);
    model->setFilter(kListing);
}

QStringList FileExplorer::nameFilters() const
{
    return model->nameFilters();
}

bool FileExplorer::projectIsOpen() const
{
    return project && project->getRootItem();
}

QFileInfo FileExplorer::entryInfo(const QModelIndex &index) const
{
    // The model's own file info joins "/" and "/tmp" into "//tmp".
    return QFileInfo(QDir::cleanPath(model->filePath(index)));
}

bool FileExplorer::isFileSystemRoot(const QString &path)
{
    return QFileInfo(path).isRoot() || QDir(path).isRoot();
}

QMenu *FileExplorer::prepareContextMenu()
{
    const QModelIndex index = currentIndex();
    if (!index.isValid())
        return nullptr;
    contextMenu->clear();
    const QFileInfo info = entryInfo(index);
    if (info.isFile()) {
        contextMenu->addAction(openAct);
        if (projectIsOpen())
            contextMenu->addAction(addFileAct);
    } else if (info.isDir() && !isFileSystemRoot(info.filePath()) && projectIsOpen()) {
        contextMenu->addAction(addDirAct);
    }
    return contextMenu->isEmpty() ? nullptr : contextMenu;
}

void FileExplorer::contextMenuEvent(QContextMenuEvent *event)
{
    if (QMenu *menu = prepareContextMenu())
        menu->exec(event->globalPos());
}

void FileExplorer::openFile()
{
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !project)
        return;
    const QFileInfo info = entryInfo(index);
    if (info.isFile() && project->getMainWindow())
        project->getMainWindow()->openFile(info.filePath());
}

void FileExplorer::addToProject()
{
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !projectIsOpen())
        return;
    const QFileInfo info = entryInfo(index);
    if (info.isFile())
        project->_addFile(info.filePath());
}

void FileExplorer::addDirToProject()
{
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !projectIsOpen())
        return;
    const QFileInfo info = entryInfo(index);
    if (info.isDir() && !isFileSystemRoot(info.filePath()))
        project->_addDir(info.filePath(), model->nameFilters());
}

void FileExplorer::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & ~Qt::KeypadModifier) && state() != EditingState && currentIndex().isValid()
        && entryInfo(currentIndex()).isFile()) {
        openFile();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void FileExplorer::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        pressPos = event->position().toPoint();
    QTreeView::mousePressEvent(event);
}

void FileExplorer::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton)
        && (event->position().toPoint() - pressPos).manhattanLength() > QApplication::startDragDistance())
        startFileDrag();
    QTreeView::mouseMoveEvent(event);
}

QMimeData *FileExplorer::mimeDataForCurrent() const
{
    const QModelIndex index = currentIndex();
    if (!index.isValid())
        return nullptr;
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(entryInfo(index).filePath())});
    return data;
}

void FileExplorer::startFileDrag()
{
    QMimeData *data = mimeDataForCurrent();
    if (!data)
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

// --- FileExplorerFilter -----------------------------------------------------

FileExplorerFilter::FileExplorerFilter(FileExplorer *explorer, QWidget *parent)
    : QComboBox(parent), explorer(explorer)
{
    addItem(tr("All Files (*.*)"));
    addItem(tr("PHP files (*.php;*.inc)"));
    addItem(tr("HTML files (*.htm;*.html)"));
}

// --- FileExplorerPlane ------------------------------------------------------

FileExplorerPlane::FileExplorerPlane(Project *project, QWidget *parent)
    : QWidget(parent)
{
    layout = new QGridLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    view = new FileExplorer(project, this);
    filter = new FileExplorerFilter(view, this);
    filter->setEditable(true);
    // Typing is filtering: the text must not pile up as new items.
    filter->setInsertPolicy(QComboBox::NoInsert);
    label = new QLabel(tr("Filter:"), this);
    label->setSizePolicy(QSizePolicy::Fixed, label->sizePolicy().verticalPolicy());

    layout->addWidget(view, 0, 0, 1, 3);
    layout->addWidget(filter, 1, 1, 1, 2);
    layout->addWidget(label, 1, 0);

    connect(filter, &QComboBox::editTextChanged, this, &FileExplorerPlane::filterChanged);
}

QStringList FileExplorerPlane::nameFiltersFromText(const QString &text)
{
    QString patterns = text;
    const QString inside = text.section(QLatin1Char('('), 1);
    if (!inside.isEmpty())
        patterns = inside.section(QLatin1Char(')'), 0, 0);
    patterns.remove(QLatin1Char(' '));
    // An empty pattern matches no name; a box left empty shows every file.
    QStringList filters;
    for (const QString &p : patterns.split(QLatin1Char(';')))
        if (!p.isEmpty())
            filters.append(p);
    return filters;
}

void FileExplorerPlane::filterChanged(QString text)
{
    view->setNameFilters(nameFiltersFromText(text));
}

} // namespace ov
