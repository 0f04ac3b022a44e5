#include "files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tree_win32.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

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

bool removeTree(const QString &dir, const EntryReport &report)
{
    return win32::removeTree(QDir::toNativeSeparators(QFileInfo(dir).absoluteFilePath()).toStdWString(),
                             [&report](const std::wstring &path, win32::Entry kind, bool ok) {
                                 report(QString::fromStdWString(path),
                                        kind == win32::Entry::Dir    ? EntryKind::Dir
                                        : kind == win32::Entry::Link ? EntryKind::Link
                                                                     : EntryKind::File,
                                        ok);
                             });
}

bool removeFileBelow(const QString &base, const QString &path)
{
    return win32::removeFileBelow(QDir::toNativeSeparators(QFileInfo(base).absoluteFilePath()).toStdWString(),
                                  QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString());
}

bool openNoFollow(QFile &file, const QString &path, OpenAs how)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD access = how == OpenAs::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_DELETE | (how == OpenAs::Read ? FILE_SHARE_WRITE : 0);
    HANDLE handle = CreateFileW(name.c_str(), access, share, nullptr,
                                how == OpenAs::Create ? CREATE_NEW : OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool plain = GetFileInformationByHandle(handle, &info)
                       && !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
                       && GetFileType(handle) == FILE_TYPE_DISK;
    const int fd = plain ? _open_osfhandle(reinterpret_cast<intptr_t>(handle), how == OpenAs::Read ? _O_RDONLY : _O_RDWR)
                         : -1;
    if (fd < 0) {
        CloseHandle(handle);
        return false;
    }
    const QIODevice::OpenMode mode = how == OpenAs::Read ? QIODevice::ReadOnly : QIODevice::ReadWrite;
    if (file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    _close(fd);
    return false;
}

bool keepModeOf(QFile &, const QString &)
{
    return true;
}

void makeRunnable(const QString &)
{
}

} // namespace platform
