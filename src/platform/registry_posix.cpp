#include "registry.h"

#include <QSettings>
#include <QStandardPaths>

namespace platform {

namespace {

QString fullHiveName(const QString &hive)
{
    if (hive == QLatin1String("HKCU"))
        return QStringLiteral("HKEY_CURRENT_USER");
    if (hive == QLatin1String("HKLM"))
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    return hive;
}

const char hiveProperty[] = "registryHive";

} // namespace

QString registryPathOf(const QSettings &view)
{
    const QString group = view.group().replace(QLatin1Char('/'), QLatin1Char('\\'));
    const QString hive = view.property(hiveProperty).toString();
    return group.isEmpty() ? hive : hive + QLatin1Char('\\') + group;
}

QString registryFile(const QString &hive)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/winreg/") + fullHiveName(hive) + QStringLiteral(".ini");
}

QSettings *openRegistry(const QString &path, QObject *parent)
{
    const int cut = path.indexOf(QLatin1Char('\\'));
    const QString hive = cut < 0 ? path : path.left(cut);
    QString key = cut < 0 ? QString() : path.mid(cut + 1);
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));

    // All views of a hive open the same file, so Qt shares one cache between them
    // inside a process; the group makes the view start at its key.
    auto *view = new QSettings(registryFile(hive), QSettings::IniFormat, parent);
    view->setProperty(hiveProperty, fullHiveName(hive));
    if (!key.isEmpty())
        view->beginGroup(key);
    return view;
}

} // namespace platform
