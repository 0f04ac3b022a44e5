#include "instancechannel.h"

#include <QStandardPaths>

namespace platform {

namespace {

// The per-user runtime folder is the user's own (0700): in the shared temporary folder
// any local user could take the name first and keep every program from starting.
QString runtimeDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

} // namespace

QString instanceServerName(const QString &name)
{
    return runtimeDir() + QLatin1Char('/') + name;
}

QString instanceLockPath(const QString &name)
{
    return runtimeDir() + QLatin1Char('/') + name + QStringLiteral(".lock");
}

} // namespace platform
