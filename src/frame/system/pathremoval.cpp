#include "pathremoval.h"

#include "changelog.h"
#include "edition.h"
#include "shellfolders.h"

#include <QDir>
#include <QFileInfo>
#include <QtDebug>

namespace helpers {

namespace {

// Above a removed tree only folders of ours go when left empty: a product folder, or
// the client's folder in the Start menu. The folder the user installed into, the
// program-files folder, the Start menu itself, the desktop and home stay, empty or not.
void removeEmptyOwnParents(const QString &removed)
{
    const QString startMenu = QDir::cleanPath(platform::startMenuDir());
    QFileInfo parent(QFileInfo(removed).absolutePath());
    while (!parent.isRoot()
           && (edition::isProductFolder(parent.fileName()) || QDir::cleanPath(parent.absolutePath()) == startMenu)
           && ChangeLog::removeDir(parent.absoluteFilePath())) {
        qDebug() << "dir:" << parent.absoluteFilePath();
        parent = QFileInfo(parent.absolutePath());
    }
}

} // namespace

// The trees it removes may be open to other users, who could swap a folder for a link
// while the removal runs.
void removePath(const QString &path)
{
    if (path.isEmpty())
        return;
    qDebug() << path;
    const QFileInfo info(path);
    if (info.isSymbolicLink() || info.isFile()) {
        ChangeLog::removeFile(path);
        return;
    }
    if (info.exists() && ChangeLog::removeTree(path))
        removeEmptyOwnParents(info.absoluteFilePath());
}

void removeIfEmpty(const QString &folder)
{
    if (QFileInfo(folder).isDir()
        && QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        removePath(folder);
}

} // namespace helpers
