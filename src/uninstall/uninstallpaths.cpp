#include "uninstallpaths.h"

#include <QRegExp>

QString maxStartupScript(const QString &startupDir)
{
    const bool early = QRegExp(QStringLiteral("201[0-2]")).indexIn(startupDir) >= 0;
    return startupDir + (early ? QStringLiteral("/o_nimbraMenu.ms") : QStringLiteral("/nimbraMenu.ms"));
}
