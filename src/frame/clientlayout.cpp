#include "clientlayout.h"

#include "edition.h"

#include <QSettings>

namespace {

const char makerAddress[] = "http://www.nimbra.example";

} // namespace

ClientShortcuts shortcutsIn(const QString &folder, const QString &name, bool chinese)
{
    const QString start = chinese ? QStringLiteral("启动") : QStringLiteral("start ");
    const QString remove = chinese ? QStringLiteral("卸载") : QStringLiteral("uninstall ");
    return {folder, folder + QLatin1Char('/') + start + name + QStringLiteral(".lnk"),
            folder + QLatin1Char('/') + remove + name + QStringLiteral(".lnk"), QString()};
}

ClientShortcuts clientShortcuts(const QString &startMenu, const QString &desktop, const QString &name,
                                const QString &third, bool chinese)
{
    ClientShortcuts s =
        shortcutsIn(startMenu + QLatin1Char('/') + edition::startMenuFolder(editionOf(third), name), name, chinese);
    s.desktop = desktop + QLatin1Char('/') + name + QStringLiteral(".lnk");
    return s;
}

QString autorunData(const QString &clientExe)
{
    return QLatin1Char('"') + clientExe + QStringLiteral("\" RegAutoRun");
}

void writeUninstallEntry(QSettings *uninstall, const QString &key, const QString &third, bool chinese,
                         const UninstallEntry &entry)
{
    const Edition kind = editionOf(third);
    uninstall->beginGroup(key);
    uninstall->setValue(QStringLiteral("DisplayName"), entry.displayName);
    uninstall->setValue(QStringLiteral("UninstallString"), entry.uninstallString);
    uninstall->setValue(QStringLiteral("installDir"), entry.installDir);
    uninstall->setValue(QStringLiteral("DisplayVersion"), entry.displayVersion);
    if (edition::namesMakerAddress(kind))
        uninstall->setValue(QStringLiteral("URLInfoAbout"), QLatin1String(makerAddress));
    if (edition::namesPublisher(kind))
        uninstall->setValue(QStringLiteral("Publisher"),
                            chinese ? QStringLiteral("萨沃克科技股份有限公司") : QStringLiteral("Sarvok"));
    uninstall->setValue(QStringLiteral("DisplayIcon"), entry.displayIcon);
    uninstall->endGroup();
}
