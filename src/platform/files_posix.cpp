#include "files.h"

#include <QFile>
#include <QDirIterator>
#include <QFileInfo>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

// A file's own write bit does not stop its removal here (its folder's does), so nothing
// is cleared first: a chmod per file would make removing a tree half again as slow. A link
// is removed itself.
bool removeFile(const QString &path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}

bool renameFile(const QString &from, const QString &to)
{
    if (QFileInfo::exists(to) || QFileInfo(to).isSymbolicLink())
        return false;
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool createPrivateFile(QFile &file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0600);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

namespace {

// Read and write for all; execute (search) for all where anyone had it, as chmod a+rwX.
void openOne(const QFileInfo &info)
{
    QFile::Permissions p = info.permissions() | QFile::ReadUser | QFile::WriteUser | QFile::ReadOwner
                           | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                           | QFile::WriteOther;
    if (info.isDir() || (info.permissions() & (QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther)))
        p |= QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
    QFile::setPermissions(info.absoluteFilePath(), p);
}

} // namespace

bool keepToAdministrators(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return false;
    return QFile::setPermissions(path, info.permissions() & ~(QFile::WriteGroup | QFile::WriteOther));
}

void makeRunnable(const QString &path)
{
    if (!path.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        return;
    QFile::Permissions p = QFile::permissions(path);
    if (p & QFile::ReadOwner)
        p |= QFile::ExeOwner | QFile::ExeUser;
    if (p & QFile::ReadGroup)
        p |= QFile::ExeGroup;
    if (p & QFile::ReadOther)
        p |= QFile::ExeOther;
    QFile::setPermissions(path, p);
}

void openToAllUsers(const QString &dir)
{
    // Links are left alone: chmod would change what they point at.
    openOne(QFileInfo(dir));
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (!it.fileInfo().isSymLink())
            openOne(it.fileInfo());
    }
}

} // namespace platform
