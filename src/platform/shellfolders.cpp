#include "shellfolders.h"

#include "registry.h"

#include <QDir>
#include <QScopedPointer>
#include <QSettings>
#include <QStandardPaths>

namespace platform {

namespace {

// The shell's folders always exist on Windows; a fresh home elsewhere may lack them.
QString existing(QStandardPaths::StandardLocation location)
{
    const QString dir = QStandardPaths::writableLocation(location);
    QDir().mkpath(dir);
    return dir;
}

} // namespace

QString desktopDir()
{
    return existing(QStandardPaths::DesktopLocation);
}

QString startMenuDir()
{
    return existing(QStandardPaths::ApplicationsLocation);
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
