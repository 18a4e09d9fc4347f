#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace ov {

// Bookmarked 0-based lines per absolute file path, in path order.
using BookmarkMap = QMap<QString, QList<int>>;

// QFileInfo(path).absoluteFilePath(), without its cost where the path is
// already absolute and clean, as the paths of a project file are: a project
// may list thousands.
QString absoluteFilePath(const QString &path);

// One entry of a project: the project itself, a virtual folder or a file.
struct ProjectNode {
    enum Type { Project, Folder, File };

    Type type = Folder;
    QString name;   // project and folder: the shown text; unused for files
    QString path;   // files only: the absolute path
    QList<ProjectNode> children;

    static QString typeName(Type type); // "Project", "Folder", "File"

    bool operator==(const ProjectNode &other) const
    {
        return type == other.type && name == other.name && path == other.path && children == other.children;
    }
};

// The ".vuzar" project file: a tree of virtual folders and files plus the
// bookmarks, stored as XML with paths relative to the project file's folder.
class ProjectFile
{
public:
    enum Error { NoError, OpenError, TooLarge, NotWellFormed, TooDeep, WriteError };

    // Folders nest no deeper than this. Scans of the disk cannot produce
    // deeper trees (paths are bounded), so every file we write loads again.
    static constexpr int MaxDepth = 4096;
    // Project files are small: a million files fit well below this.
    static constexpr qint64 MaxSize = 256 * 1024 * 1024;

    ProjectNode root{ProjectNode::Project, QString(), QString(), {}};
    BookmarkMap bookmarks;

    // Reads the file; on failure the contents are left as they were.
    bool read(const QString &fileName);
    // `fileName` gives the folder that relative paths are resolved against.
    bool parse(const QByteArray &xml, const QString &fileName);
    // parse() always through the general XML reader, which the files in
    // exactly our written form skip.
    bool parseCarefully(const QByteArray &xml, const QString &fileName);

    // The document form: doctype line, one space per level, LF line ends.
    QByteArray serialize(const QString &fileName) const;
    // Atomic: a failed write leaves the old file whole.
    bool write(const QString &fileName);

    Error error() const { return err; }
    QString errorString() const { return errString; }

private:
    Error err = NoError;
    QString errString;
};

// Fills `parent` with the files of `dirPath` matching `nameFilters` and
// with its subfolders that hold such a file at some depth (folders first,
// each group by name). Symbolic links back into the scanned chain are
// skipped so a loop cannot recurse forever.
void scanFolder(const QString &dirPath, const QStringList &nameFilters, ProjectNode *parent);

// The folder node for `dirPath` shown as `name`; false (and nothing made)
// when it holds no matching file at any depth.
bool scanFolderNode(const QString &name, const QString &dirPath, const QStringList &nameFilters,
                    ProjectNode *node);

// True when `dirPath` holds a file matching `nameFilters` at some depth.
bool dirHasFiles(const QString &dirPath, const QStringList &nameFilters);

// Creates every missing level of a folder path ("/home/me/site/lib",
// "C:/web/site"); true when the folder exists afterwards.
bool makeDirPath(const QString &path);

} // namespace ov
