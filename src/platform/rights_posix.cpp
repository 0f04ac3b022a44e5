#include "rights.h"

#include "dirnames_posix.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const mode_t closedFolderMode = 0755;
// Everyone may add to a sticky folder, but only an entry's owner may remove or rename it.
const mode_t openFolderMode = 01777;
const int maxDepth = 256;

bool isOurs(const struct stat &info)
{
    return info.st_uid == geteuid();
}

bool othersMayWrite(const struct stat &info)
{
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Read and write for all; execute for all where anyone had it, as chmod a+rwX.
mode_t openFileMode(mode_t mode)
{
    mode_t opened = (mode & 07777) | 0666;
    if (mode & 0111)
        opened |= 0111;
    return opened;
}

// An entry of the folder dirFd, never through a link and never blocking on a pipe.
int openEntry(int dirFd, const QString &name)
{
    return openat(dirFd, QFile::encodeName(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

// Everything below a version folder that is ours: folders open and sticky, files open to
// all; a file with more than one name may be another's file linked in, and stays as it is.
// Closed names at this level are taken away from others instead.
bool openContents(int dirFd, const QStringList &closedNames, int depth)
{
    bool ok = true;
    for (const DirEntry &entry : entriesIn(dirFd)) {
        const QString &name = entry.name;
        const int fd = openEntry(dirFd, name);
        struct stat info;
        if (fd < 0)
            continue;
        if (fstat(fd, &info) == 0 && isOurs(info)) {
            if (closedNames.contains(name))
                ok = (!S_ISREG(info.st_mode) || fchmod(fd, info.st_mode & 07755) == 0) && ok;
            else if (S_ISDIR(info.st_mode) && depth < maxDepth)
                ok = fchmod(fd, openFolderMode) == 0 && openContents(fd, {}, depth + 1) && ok;
            else if (S_ISREG(info.st_mode) && info.st_nlink == 1)
                ok = fchmod(fd, openFileMode(info.st_mode)) == 0 && ok;
        }
        ::close(fd);
    }
    return ok;
}

} // namespace

bool openToAllUsers(const QString &productDir, const QStringList &closedNames)
{
    const int product = ::open(QFile::encodeName(productDir).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info;
    if (product < 0)
        return false;
    bool ok = fstat(product, &info) == 0 && isOurs(info) && fchmod(product, closedFolderMode) == 0;
    for (const DirEntry &entry : ok ? entriesIn(product) : QVector<DirEntry>()) {
        const QString &name = entry.name;
        const int version = openat(product, QFile::encodeName(name).constData(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (version < 0)
            continue;
        if (!name.endsWith(QLatin1String(".staging")) && fstat(version, &info) == 0 && isOurs(info))
            ok = fchmod(version, openFolderMode) == 0 && openContents(version, closedNames, 0) && ok;
        ::close(version);
    }
    ::close(product);
    return ok;
}

bool makeClosedFolder(const QString &dir, bool exclusive)
{
    const QByteArray path = QFile::encodeName(dir);
    if (::mkdir(path.constData(), closedFolderMode) == 0)
        return true;
    if (errno != EEXIST || exclusive)
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info;
    const bool ok = fd >= 0 && fstat(fd, &info) == 0 && isOurs(info)
                    && fchmod(fd, info.st_mode & ~mode_t(S_IWGRP | S_IWOTH)) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

bool isOwn(const QString &path)
{
    struct stat info;
    return lstat(QFile::encodeName(path).constData(), &info) == 0 && (S_ISDIR(info.st_mode) || S_ISREG(info.st_mode))
           && isOurs(info);
}

bool isClosedFolder(const QString &dir)
{
    struct stat info;
    return lstat(QFile::encodeName(dir).constData(), &info) == 0 && S_ISDIR(info.st_mode) && isOurs(info)
           && !othersMayWrite(info);
}

bool isTrustedBeside(const QString &file, const QString &program)
{
    struct stat info;
    struct stat programInfo;
    if (lstat(QFile::encodeName(file).constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1
        || othersMayWrite(info))
        return false;
    const bool programs = stat(QFile::encodeName(program).constData(), &programInfo) == 0
                          && info.st_uid == programInfo.st_uid;
    return programs || isOurs(info) || info.st_uid == 0;
}

} // namespace platform
