#include "productfolder.h"

#include "edition.h"

#include <QDir>
#include <QFileInfo>

QString ownProductFolder(const QString &installDir)
{
    const QString dir = QDir::cleanPath(QDir::fromNativeSeparators(installDir));
    if (installDir.trimmed().isEmpty() || !QDir::isAbsolutePath(dir))
        return QString();
    const QFileInfo info(dir);
    if (info.isRoot())
        return QString();
    const QDir parent = info.dir();
    if (parent.isRoot() || !edition::isProductFolder(parent.dirName()))
        return QString();
    return parent.absolutePath();
}
