#include "rights.h"

#include "rights_win32.h"

#include <QDir>

#include <string>
#include <vector>

namespace platform {

namespace {

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path)).toStdWString();
}

} // namespace

bool openToAllUsers(const QString &productDir, const QStringList &closedNames)
{
    std::vector<std::wstring> closed;
    for (const QString &name : closedNames)
        closed.push_back(name.toStdWString());
    return win32::openToAllUsers(native(productDir), closed);
}

bool makeClosedFolder(const QString &dir, bool exclusive)
{
    return win32::makeClosedFolder(native(dir), exclusive);
}

bool isOwn(const QString &path)
{
    return win32::isOwn(native(path));
}

bool isClosedFolder(const QString &dir)
{
    return win32::isClosedFolder(native(dir));
}

bool isTrustedBeside(const QString &file, const QString &program)
{
    return win32::isTrustedBeside(native(file), native(program));
}

} // namespace platform
