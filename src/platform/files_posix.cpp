#include "files.h"

#include "dirnames_posix.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // File systems without the flag: rename() would replace a file or an empty folder.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    struct stat there;
    return lstat(target.constData(), &there) != 0 && errno == ENOENT
           && std::rename(source.constData(), target.constData()) == 0;
}

namespace {

const int maxTreeDepth = 256;

// Empties the folder open as dirFd. A sub-folder is entered only through a handle opened
// without following links: one swapped for a link after it was listed is removed as one.
// What the listing says is not a folder is removed at once, as rm does; had it become one
// since, the removal fails and it stays.
void removeBelow(int dirFd, const QString &path, const EntryReport &report, int depth)
{
    for (const DirEntry &entry : entriesIn(dirFd)) {
        const QByteArray raw = QFile::encodeName(entry.name);
        const QString full = path + QLatin1Char('/') + entry.name;
        unsigned char type = entry.type;
        struct stat info;
        if (type == DT_UNKNOWN && fstatat(dirFd, raw.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
        const int sub = type == DT_DIR && depth < maxTreeDepth
                            ? openat(dirFd, raw.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                            : -1;
        if (sub >= 0) {
            removeBelow(sub, full, report, depth + 1);
            ::close(sub);
            if (unlinkat(dirFd, raw.constData(), AT_REMOVEDIR) == 0)
                report(full, EntryKind::Dir, true);
            continue;
        }
        // A folder too deep to enter, or one that cannot be opened, stays (and so does its
        // parent); one that became a link goes as a link.
        if (type == DT_DIR && (fstatat(dirFd, raw.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(info.st_mode)))
            continue;
        const bool isLink = type == DT_LNK || type == DT_DIR;
        report(full, isLink ? EntryKind::Link : EntryKind::File, unlinkat(dirFd, raw.constData(), 0) == 0);
    }
}

} // namespace

bool removeTree(const QString &dir, const EntryReport &report)
{
    const QByteArray path = QFile::encodeName(dir);
    const int top = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (top < 0) {
        struct stat info;
        if (lstat(path.constData(), &info) != 0)
            return errno == ENOENT;
        if (S_ISDIR(info.st_mode))
            return false;
        // Not a folder (a file, or a link to anything): it goes itself.
        const bool removed = ::unlink(path.constData()) == 0;
        report(dir, S_ISLNK(info.st_mode) ? EntryKind::Link : EntryKind::File, removed);
        return removed;
    }
    removeBelow(top, dir, report, 0);
    ::close(top);
    const bool removed = ::rmdir(path.constData()) == 0;
    if (removed)
        report(dir, EntryKind::Dir, true);
    return removed;
}

bool removeFileBelow(const QString &base, const QString &path)
{
    const QString top = QDir::cleanPath(base);
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(top + QLatin1Char('/')))
        return false;
    QStringList below = clean.mid(top.size() + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QByteArray name = QFile::encodeName(below.takeLast());
    int fd = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const QString &folder : below) {
        const int next = fd < 0 ? -1
                                : openat(fd, QFile::encodeName(folder).constData(),
                                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        fd = next;
    }
    struct stat info;
    const bool removed = fd >= 0 && fstatat(fd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0
                         && !S_ISDIR(info.st_mode) && unlinkat(fd, name.constData(), 0) == 0;
    if (fd >= 0)
        ::close(fd);
    return removed;
}

bool openNoFollow(QFile &file, const QString &path, OpenAs how)
{
    const int access = how == OpenAs::Read ? O_RDONLY : how == OpenAs::Update ? O_RDWR : O_RDWR | O_CREAT | O_EXCL;
    const int fd = ::open(QFile::encodeName(path).constData(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    struct stat info;
    const QIODevice::OpenMode mode = how == OpenAs::Read ? QIODevice::ReadOnly : QIODevice::ReadWrite;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && fcntl(fd, F_SETFL, 0) == 0
        && file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
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

bool keepModeOf(QFile &source, const QString &copy)
{
    struct stat info;
    return fstat(source.handle(), &info) == 0 && ::chmod(QFile::encodeName(copy).constData(), info.st_mode & 0777) == 0;
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

} // namespace platform
