#include "machine.h"

#include "registry.h"

#include <QFile>
#include <QScopedPointer>
#include <QSettings>

namespace platform {

namespace {

const int valueBufferUnits = 512;

} // namespace

QString readMachineString(const QString &key, const QString &valueName)
{
    QScopedPointer<QSettings> view(openRegistry(QStringLiteral("HKEY_LOCAL_MACHINE\\") + key));
    // The emulation stores no terminator, so 512 units still fit the 1024-byte buffer.
    const QString value = view->value(valueName).toString();
    if (value.size() > valueBufferUnits)
        return QString();
    return value.left(value.indexOf(QChar(0)));
}

bool processorInfo(QString *name, int *cores)
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (!cpuinfo.open(QIODevice::ReadOnly))
        return false;
    return parseCpuInfo(QString::fromUtf8(cpuinfo.readAll()), name, cores);
}

} // namespace platform
