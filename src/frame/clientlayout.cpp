#include "clientlayout.h"

#include "changelog.h"
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
    ChangeLog::setValue(uninstall, QStringLiteral("DisplayName"), entry.displayName);
    ChangeLog::setValue(uninstall, QStringLiteral("UninstallString"), entry.uninstallString);
    ChangeLog::setValue(uninstall, QStringLiteral("installDir"), entry.installDir);
    ChangeLog::setValue(uninstall, QStringLiteral("DisplayVersion"), entry.displayVersion);
    if (edition::namesMakerAddress(kind))
        ChangeLog::setValue(uninstall, QStringLiteral("URLInfoAbout"), QLatin1String(makerAddress));
    if (edition::namesPublisher(kind))
        ChangeLog::setValue(uninstall, QStringLiteral("Publisher"),
                            chinese ? QStringLiteral("萨沃克科技股份有限公司") : QStringLiteral("Sarvok"));
    ChangeLog::setValue(uninstall, QStringLiteral("DisplayIcon"), entry.displayIcon);
    uninstall->endGroup();
}
