#pragma once

#include <QString>
#include <QStringList>

namespace helpers {

// The existing start-up script folders of every registered 3ds Max.
QStringList maxStartupFolders();
// 3ds Max's installation folder as the machine's registry names it (product 1: 3ds Max,
// 2: 3ds Max Design); empty when it is not registered.
QString maxInstallDir(int product, const QString &version);
// A string of the machine's 64-bit registry view.
QString readMachineString(const QString &key, const QString &valueName);
QString startMenuPath();
QString desktopPath();

} // namespace helpers
