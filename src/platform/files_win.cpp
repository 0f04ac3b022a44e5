#include "files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <windows.h>

namespace platform {

bool removeFile(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QFile::setPermissions(absolute, QFile::WriteOwner);
    return QFile::remove(absolute);
}

bool renameFile(const QString &from, const QString &to)
{
    const QString source = QDir::toNativeSeparators(QFileInfo(from).absoluteFilePath());
    const QString target = QDir::toNativeSeparators(QFileInfo(to).absoluteFilePath());
    return MoveFileExW(reinterpret_cast<const wchar_t *>(source.utf16()),
                       reinterpret_cast<const wchar_t *>(target.utf16()), MOVEFILE_WRITE_THROUGH)
           != 0;
}

// The temporary folder is the user's own; a new file there inherits its access list.
bool createPrivateFile(QFile &file, const QString &path)
{
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}

void makeRunnable(const QString &)
{
}

bool keepToAdministrators(const QString &path)
{
    // By well-known SID: the group names differ with the system's language.
    QProcess icacls;
    icacls.start(QStringLiteral("icacls"), {QDir::toNativeSeparators(path), QStringLiteral("/inheritance:r"),
                                            QStringLiteral("/grant:r"), QStringLiteral("*S-1-5-32-544:F"),
                                            QStringLiteral("*S-1-5-18:F"), QStringLiteral("*S-1-5-32-545:RX")});
    return icacls.waitForFinished(30000) && icacls.exitStatus() == QProcess::NormalExit && icacls.exitCode() == 0;
}

void openToAllUsers(const QString &dir)
{
    QProcess icacls;
    icacls.start(QStringLiteral("icacls"),
                 {dir, QStringLiteral("/grant"), QStringLiteral("EveryOne:F"), QStringLiteral("/t")});
    icacls.waitForFinished(30000);
}

} // namespace platform
