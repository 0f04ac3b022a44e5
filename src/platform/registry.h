#pragma once

#include <QString>

class QSettings;
class QObject;

namespace platform {

// Opens a view on a registry key named by its full path, hive first
// ("HKEY_CURRENT_USER\\Software\\Quorlan"). Keys below it are addressed with "/".
// Views on overlapping paths share their data; removing a key removes its sub-keys.
// Outside Windows each hive is a JSON file of its values by key path (see
// registryFile), replaced whole on every commit; a view reads it afresh when it is
// opened and on sync().
QSettings *openRegistry(const QString &path, QObject *parent = nullptr);

// The full path of a view's current key ("HKEY_CURRENT_USER\\Software\\Quorlan\\Settings"),
// for people reading a log of what was changed.
QString registryPathOf(const QSettings &view);

// The file that holds an emulated hive; empty on Windows, where the registry is real.
QString registryFile(const QString &hive);

} // namespace platform
