#include "files.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace platform {

bool removeFile(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QFile::setPermissions(absolute, QFile::WriteOwner);
    return QFile::remove(absolute);
}

void makeRunnable(const QString &)
{
}

void openToAllUsers(const QString &dir)
{
    QProcess icacls;
    icacls.start(QStringLiteral("icacls"),
                 {dir, QStringLiteral("/grant"), QStringLiteral("EveryOne:F"), QStringLiteral("/t")});
    icacls.waitForFinished(30000);
}

} // namespace platform
