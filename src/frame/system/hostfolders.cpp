#include "hostfolders.h"

#include "machine.h"
#include "shellfolders.h"

#include <QDir>
#include <QFileInfo>
#include <QtDebug>

namespace helpers {

namespace {

// 3ds Max registers 12.0 to 14.0 once per language, later versions once.
const char *const maxVersions[] = {"12.0\\MAX-1:409", "12.0\\MAX-1:804", "13.0\\MAX-1:409", "13.0\\MAX-1:804",
                                   "14.0\\MAX-1:409", "14.0\\MAX-1:804", "15.0", "16.0", "17.0", "18.0",
                                   "19.0", "20.0", "21.0"};

} // namespace

QStringList maxStartupFolders()
{
    QStringList result;
    const QString startup = QStringLiteral("scripts") + QDir::separator() + QStringLiteral("Startup") + QDir::separator();
    for (const char *version : maxVersions) {
        for (int product = 1; product <= 2; ++product) {
            const QString dir = maxInstallDir(product, QString::fromLatin1(version));
            if (!dir.isEmpty() && QFileInfo(dir + startup).isDir())
                result.append(QDir(dir + startup).absolutePath());
        }
    }
    qDebug() << "qD" << result;
    return result;
}

QString maxInstallDir(int product, const QString &version)
{
    const QString name = product == 1 ? QStringLiteral("3dsMax") : QStringLiteral("3dsMaxDesign");
    return readMachineString(QStringLiteral("SOFTWARE\\Autodesk\\%1\\%2").arg(name, version), QStringLiteral("Installdir"));
}

QString readMachineString(const QString &key, const QString &valueName)
{
    return platform::readMachineString(key, valueName);
}

QString startMenuPath()
{
    return platform::startMenuDir();
}

QString desktopPath()
{
    return platform::desktopDir();
}

} // namespace helpers
