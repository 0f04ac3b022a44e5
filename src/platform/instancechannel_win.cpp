#include "instancechannel.h"

#include <QDir>

namespace platform {

void prepareRuntimeDir()
{
}

QString instanceServerName(const QString &name)
{
    return name;
}

QString instanceLockPath(const QString &name)
{
    return QDir::tempPath() + QLatin1Char('/') + name + QStringLiteral(".lock");
}

} // namespace platform
