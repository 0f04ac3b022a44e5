#include "uninstallpaths.h"

#include "edition.h"

#include <QRegExp>

ClientShortcuts clientShortcuts(const QString &startMenu, const QString &desktop, const QString &name,
                                const QString &third, bool chinese)
{
    const QString folder = startMenu + QLatin1Char('/') + edition::startMenuFolder(editionOf(third), name) + QLatin1Char('/');
    const QString start = chinese ? QStringLiteral("启动") : QStringLiteral("start ");
    const QString remove = chinese ? QStringLiteral("卸载") : QStringLiteral("uninstall ");
    return {folder + QStringLiteral("%1%2.lnk").arg(start, name), folder + QStringLiteral("%1%2.lnk").arg(remove, name),
            desktop + QLatin1Char('/') + QStringLiteral("%1.lnk").arg(name)};
}

QString maxStartupScript(const QString &startupDir)
{
    const bool early = QRegExp(QStringLiteral("201[0-2]")).indexIn(startupDir) >= 0;
    return startupDir + (early ? QStringLiteral("/o_nimbraMenu.ms") : QStringLiteral("/nimbraMenu.ms"));
}
