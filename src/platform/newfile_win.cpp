#include "newfile.h"

#include <QDir>

#include <windows.h>

namespace platform {

NewFile::~NewFile()
{
    close();
}

// Never through a junction or link at its name: one found there is refused.
bool NewFile::open(const QString &path)
{
    close();
    failed = false;
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    if (file != INVALID_HANDLE_VALUE
        && (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    handle = file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<qintptr>(file);
    return handle != -1;
}

bool NewFile::write(const QByteArray &bytes)
{
    DWORD written = 0;
    failed = failed || !WriteFile(reinterpret_cast<HANDLE>(handle), bytes.constData(), DWORD(bytes.size()), &written,
                                  nullptr)
             || written != DWORD(bytes.size());
    return !failed;
}

// Windows keeps no Unix modes: a file without any write permission is made read-only.
bool NewFile::setPermissions(QFile::Permissions permissions)
{
    if (permissions == 0 || (permissions & (QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther)))
        return true;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_READONLY;
    return SetFileInformationByHandle(reinterpret_cast<HANDLE>(handle), FileBasicInfo, &basic, sizeof basic) != 0;
}

bool NewFile::close()
{
    if (handle == -1)
        return !failed;
    failed = !CloseHandle(reinterpret_cast<HANDLE>(handle)) || failed;
    handle = -1;
    return !failed;
}

bool NewFile::isOpen() const
{
    return handle != -1;
}

} // namespace platform
