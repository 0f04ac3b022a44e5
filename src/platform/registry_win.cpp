#include "registry.h"

#include <QSettings>

namespace platform {

QSettings *openRegistry(const QString &path, QObject *parent)
{
    return new QSettings(path, QSettings::NativeFormat, parent);
}

QString registryFile(const QString &)
{
    return QString();
}

} // namespace platform
