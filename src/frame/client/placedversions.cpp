#include "placedversions.h"

#include "changelog.h"
#include "clientconfig.h"
#include "registry.h"

#include <QScopedPointer>
#include <QSettings>
#include <QStringList>

namespace {

const char versionsValue[] = "Versions";
const char keepValue[] = "KeepVersions";
const char rollbackValue[] = "RollingBackTo";
const int defaultKeep = 2;

} // namespace

PlacedVersions::PlacedVersions(const QString &registryKey)
    : key(machineClientKey(registryKey))
{
}

// One line a folder: its version, a tab, its path.
QList<PlacedVersion> PlacedVersions::all() const
{
    QScopedPointer<QSettings> machine(platform::openRegistry(key));
    QList<PlacedVersion> versions;
    for (const QString &line : machine->value(QLatin1String(versionsValue)).toStringList()) {
        const int tab = line.indexOf(QLatin1Char('\t'));
        if (tab > 0 && tab < line.size() - 1)
            versions.append({line.left(tab), line.mid(tab + 1)});
    }
    return versions;
}

bool PlacedVersions::store(const QList<PlacedVersion> &versions) const
{
    QStringList lines;
    for (const PlacedVersion &v : versions)
        lines.append(v.version + QLatin1Char('\t') + v.dir);
    QScopedPointer<QSettings> machine(platform::openRegistry(key));
    return ChangeLog::setValue(machine.data(), QLatin1String(versionsValue), lines);
}

bool PlacedVersions::place(const PlacedVersion &placed) const
{
    QList<PlacedVersion> versions = all();
    if (!versions.isEmpty() && versions.last() == placed)
        return true;
    versions.removeAll(placed);
    versions.append(placed);
    return store(versions);
}

bool PlacedVersions::forget(const QString &dir) const
{
    QList<PlacedVersion> versions = all();
    const int before = versions.size();
    versions.erase(std::remove_if(versions.begin(), versions.end(), [&](const PlacedVersion &v) { return v.dir == dir; }),
                   versions.end());
    return versions.size() == before || store(versions);
}

int PlacedVersions::keep() const
{
    QScopedPointer<QSettings> machine(platform::openRegistry(key));
    bool number = false;
    const int versions = machine->value(QLatin1String(keepValue)).toInt(&number);
    return number && versions >= 0 ? versions : defaultKeep;
}

bool PlacedVersions::setKeep(int versions) const
{
    QScopedPointer<QSettings> machine(platform::openRegistry(key));
    return ChangeLog::setValue(machine.data(), QLatin1String(keepValue), QString::number(versions));
}

QString PlacedVersions::rollbackTarget() const
{
    QScopedPointer<QSettings> machine(platform::openRegistry(key));
    return machine->value(QLatin1String(rollbackValue)).toString();
}

bool PlacedVersions::setRollbackTarget(const QString &dir) const
{
    QScopedPointer<QSettings> machine(platform::openRegistry(key));
    return dir.isEmpty() ? ChangeLog::remove(machine.data(), QLatin1String(rollbackValue))
                         : ChangeLog::setValue(machine.data(), QLatin1String(rollbackValue), dir);
}
