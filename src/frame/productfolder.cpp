#include "productfolder.h"

#include <QDir>
#include <QFileInfo>

QString productFolderName(const QString &third)
{
    return third == QLatin1String("KWRender") ? QStringLiteral("Nimbra for Unity") : QStringLiteral("NimbraPVX");
}

QString ownProductFolder(const QString &installDir)
{
    const QString dir = QDir::cleanPath(QDir::fromNativeSeparators(installDir));
    if (installDir.trimmed().isEmpty() || !QDir::isAbsolutePath(dir))
        return QString();
    const QFileInfo info(dir);
    if (info.isRoot())
        return QString();
    const QDir parent = info.dir();
    const QString name = parent.dirName();
    if (parent.isRoot() || (name != productFolderName(QString()) && name != productFolderName(QStringLiteral("KWRender"))))
        return QString();
    return parent.absolutePath();
}
