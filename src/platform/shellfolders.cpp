#include "shellfolders.h"

#include "registry.h"

#include <QDir>
#include <QScopedPointer>
#include <QSettings>
#include <QStandardPaths>

namespace platform {

QString desktopDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString startMenuDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
}

QString appDataDir()
{
    QScopedPointer<QSettings> folders(openRegistry(QStringLiteral(
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")));
    const QString registered = folders->value(QStringLiteral("AppData")).toString();
    return registered.isEmpty()
               ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
               : registered;
}

QString programFilesDir()
{
    const QString programFiles = qEnvironmentVariable("PROGRAMFILES");
    if (!programFiles.isEmpty())
        return programFiles;
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                                    + QStringLiteral("/Programs"));
}

} // namespace platform
