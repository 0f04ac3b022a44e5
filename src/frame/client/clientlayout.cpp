#include "clientlayout.h"

#include "changelog.h"
#include "clientconfig.h"
#include "edition.h"
#include "registry.h"

#include <QScopedPointer>

#include <climits>
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

namespace {

QSettings *openUninstall()
{
    return platform::openRegistry(
        QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
}

} // namespace

bool writeUninstallEntry(const ClientConfig &client, const UninstallEntry &entry, bool whole)
{
    const Edition kind = editionOf(client.third);
    QScopedPointer<QSettings> uninstall(openUninstall());
    uninstall->beginGroup(client.registryKey);
    QList<QPair<QString, QString>> values;
    if (whole)
        values.append({QStringLiteral("DisplayName"), entry.displayName});
    const QString uninstaller = QLatin1Char('"') + entry.uninstallString + QLatin1Char('"');
    values.append({{QStringLiteral("UninstallString"), uninstaller},
                   {QStringLiteral("QuietUninstallString"), uninstaller + QStringLiteral(" --silent")},
                   {QStringLiteral("installDir"), entry.installDir},
                   {QStringLiteral("InstallLocation"), entry.installDir},
                   {QStringLiteral("DisplayVersion"), entry.displayVersion}});
    if (whole && edition::namesMakerAddress(kind))
        values.append({QStringLiteral("URLInfoAbout"), QLatin1String(makerAddress)});
    if (whole && edition::namesPublisher(kind))
        values.append({QStringLiteral("Publisher"),
                       client.isChinese() ? QStringLiteral("萨沃克科技股份有限公司") : QStringLiteral("Sarvok")});
    values.append({QStringLiteral("DisplayIcon"), entry.displayIcon});
    // A number (REG_DWORD on Windows), as Programs and Features reads it.
    return ChangeLog::setValues(uninstall.data(), values)
           && (entry.estimatedKilobytes < 0
               || ChangeLog::setValue(uninstall.data(), QStringLiteral("EstimatedSize"),
                                      int(qMin<qint64>(entry.estimatedKilobytes, INT_MAX))));
}

UninstallEntry readUninstallEntry(const ClientConfig &client)
{
    QScopedPointer<QSettings> uninstall(openUninstall());
    uninstall->beginGroup(client.registryKey);
    UninstallEntry entry;
    entry.displayName = uninstall->value(QStringLiteral("DisplayName")).toString();
    entry.uninstallString = uninstall->value(QStringLiteral("UninstallString")).toString();
    if (entry.uninstallString.size() > 1 && entry.uninstallString.startsWith(QLatin1Char('"'))
        && entry.uninstallString.endsWith(QLatin1Char('"')))
        entry.uninstallString = entry.uninstallString.mid(1, entry.uninstallString.size() - 2);
    entry.installDir = uninstall->value(QStringLiteral("installDir")).toString();
    entry.displayVersion = uninstall->value(QStringLiteral("DisplayVersion")).toString();
    entry.displayIcon = uninstall->value(QStringLiteral("DisplayIcon")).toString();
    return entry;
}

bool removeUninstallEntry(const ClientConfig &client)
{
    QScopedPointer<QSettings> uninstall(openUninstall());
    return ChangeLog::remove(uninstall.data(), client.registryKey);
}
