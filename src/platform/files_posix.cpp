#include "files.h"

#include <QFile>
#include <QFileInfo>

namespace platform {

bool removeFile(const QString &path)
{
    const QFileInfo info(path);
    // chmod follows a link: the link's target, perhaps another version's client, would
    // be left write-only.
    if (!info.isSymLink())
        QFile::setPermissions(info.absoluteFilePath(), QFile::WriteOwner);
    return QFile::remove(info.absoluteFilePath());
}

} // namespace platform
