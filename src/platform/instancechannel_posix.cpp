#include "instancechannel.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// A folder only this user can enter: in a shared folder any local user could take the
// names first and keep every program from starting, or let two run at once.
bool isPrivateDir(const QByteArray &path)
{
    struct stat info;
    return lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid()
           && (info.st_mode & 077) == 0;
}

// The session's runtime folder when it is private; else one of our own in the temporary
// folder, made private and checked (cron and sudo give no runtime folder, and Qt's own
// fallback, when someone else made it first, ends in the root). Empty when there is none.
QString runtimeDir()
{
    const QByteArray session = qgetenv("XDG_RUNTIME_DIR");
    if (!session.isEmpty() && isPrivateDir(session))
        return QFile::decodeName(session);
    const QByteArray own = QFile::encodeName(QDir::tempPath()) + "/clientlifecycle-" + QByteArray::number(geteuid());
    mkdir(own.constData(), 0700);
    return isPrivateDir(own) ? QFile::decodeName(own) : QString();
}

QString inRuntimeDir(const QString &name)
{
    const QString dir = runtimeDir();
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + name;
}

} // namespace

void prepareRuntimeDir()
{
    const QString dir = runtimeDir();
    if (!dir.isEmpty())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
}

QString instanceServerName(const QString &name)
{
    return inRuntimeDir(name);
}

QString instanceLockPath(const QString &name)
{
    return inRuntimeDir(name + QStringLiteral(".lock"));
}

} // namespace platform
