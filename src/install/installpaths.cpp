#include "installpaths.h"

#include "edition.h"
#include "versiontext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

QString readVersionFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString version = QString::fromUtf8(file.readAll()).remove(QLatin1Char('"')).trimmed();
    return isPlainVersion(version) ? version : QString();
}

QString defaultInstallTarget(const QString &programFiles, const QString &third)
{
    return programFiles + QDir::separator() + edition::defaultTargetFolder(third);
}

QString versionedInstallDir(const QString &chosen, const QString &third, const QString &version,
                            const QTime &time)
{
    const QChar sep = QDir::separator();
    return chosen + sep + edition::productFolder(editionOf(third)) + sep + version + QLatin1Char('.')
           + time.toString(QStringLiteral("sszzz"));
}

QString firstMissingDir(const QString &path)
{
    QString missing;
    QFileInfo dir(QDir::cleanPath(QDir::fromNativeSeparators(path)));
    while (!dir.exists() && !dir.isRoot()) {
        missing = dir.absoluteFilePath();
        const QString parent = dir.absolutePath();
        if (parent == missing)
            break;
        dir = QFileInfo(parent);
    }
    return missing;
}
