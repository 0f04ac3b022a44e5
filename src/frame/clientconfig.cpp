#include "clientconfig.h"

#include "edition.h"
#include "registry.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopedPointer>
#include <QSettings>

namespace {

const char settingsPath[] = "HKEY_CURRENT_USER\\Software\\Quorlan\\%1\\Settings";
const char uninstallPath[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%1";

QSettings *openZqIni(const QString &dir)
{
    auto *ini = new QSettings(dir + QStringLiteral("/ZQ.ini"), QSettings::IniFormat);
    ini->setIniCodec("GB2312");
    return ini;
}

ClientConfig fromIni(const QString &appDir)
{
    QScopedPointer<QSettings> ini(openZqIni(appDir));
    ini->beginGroup(QStringLiteral("info"));
    ClientConfig c;
    c.exe = ini->value(QStringLiteral("exe")).toString();
    c.name = ini->value(QStringLiteral("name")).toString();
    c.nameEN = ini->value(QStringLiteral("nameEN")).toString();
    c.third = ini->value(QStringLiteral("third")).toString();
    c.mark = ini->value(QStringLiteral("mark")).toString();
    c.lang = ini->value(QStringLiteral("lang")).toString();
    c.registryKey = edition::registryKey(editionOf(c.third));
    return c;
}

std::optional<ClientConfig> fromRegistry(const QString &appDir)
{
    ClientConfig c;
    c.registryKey = edition::registryKeyOfDir(appDir);
    QScopedPointer<QSettings> entry(platform::openRegistry(QString::fromLatin1(uninstallPath).arg(c.registryKey)));
    c.installDir = entry->value(QStringLiteral("installDir")).toString();
    if (c.installDir.isEmpty())
        return std::nullopt;

    QScopedPointer<QSettings> settings(platform::openRegistry(QString::fromLatin1(settingsPath).arg(c.registryKey)));
    const QJsonObject info =
        QJsonDocument::fromJson(settings->value(QStringLiteral("info")).toString().toUtf8()).object();
    c.third = info.value(QStringLiteral("third")).toString();
    c.name = info.value(QStringLiteral("name")).toString();
    c.nameEN = info.value(QStringLiteral("nameEN")).toString();
    c.exe = info.value(QStringLiteral("exe")).toString();
    c.mark = info.value(QStringLiteral("mark")).toString();
    c.lang = info.value(QStringLiteral("lang")).toString();
    return c;
}

} // namespace

bool ClientConfig::isChinese() const
{
    return lang != QLatin1String("en_us");
}

std::optional<ClientConfig> readClientConfig(const QString &appDir)
{
    std::optional<ClientConfig> c =
        QFile::exists(appDir + QStringLiteral("/ZQ.ini")) ? fromIni(appDir) : fromRegistry(appDir);
    if (c)
        c->services = readServiceAddresses(appDir);
    return c;
}

QString zqIniThird(const QString &appDir)
{
    QScopedPointer<QSettings> ini(openZqIni(appDir));
    return ini->value(QStringLiteral("info/third")).toString();
}
