#include "files.h"

#include <QFile>
#include <QFileInfo>

namespace platform {

bool removeFile(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QFile::setPermissions(absolute, QFile::WriteOwner);
    return QFile::remove(absolute);
}

} // namespace platform
