#include "clientconfig.h"

#include "changelog.h"
#include "edition.h"
#include "registry.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPair>
#include <QScopedPointer>
#include <QSettings>

namespace {

const char companyPath[] = "HKEY_CURRENT_USER\\Software\\Quorlan";
const char machineCompanyPath[] = "HKEY_LOCAL_MACHINE\\Software\\Quorlan";
const char pinnedKeyName[] = "UpdateKey";
const char uninstallPath[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%1";

QString zqIniPath(const QString &dir)
{
    return dir + QStringLiteral("/ZQ.ini");
}

QSettings *openZqIni(const QString &dir)
{
    const QString path = zqIniPath(dir);
    auto *ini = new QSettings(isTrustedConfigFile(path) ? path : QString(), QSettings::IniFormat);
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

void takeInfo(ClientConfig &c, const QString &json)
{
    const QJsonObject info = QJsonDocument::fromJson(json.toUtf8()).object();
    c.third = info.value(QStringLiteral("third")).toString();
    c.name = info.value(QStringLiteral("name")).toString();
    c.nameEN = info.value(QStringLiteral("nameEN")).toString();
    c.exe = info.value(QStringLiteral("exe")).toString();
    c.mark = info.value(QStringLiteral("mark")).toString();
    c.lang = info.value(QStringLiteral("lang")).toString();
}

// An installation holds no ZQ.ini: the client's configuration comes from the account's
// record, else from the machine's copy (another account installed it), else, for an
// installation placed before the machine kept one, from the uninstall entry.
std::optional<ClientConfig> fromRegistry(const QString &appDir)
{
    ClientConfig c;
    c.registryKey = edition::registryKeyOfDir(appDir);
    QScopedPointer<QSettings> entry(platform::openRegistry(QString::fromLatin1(uninstallPath).arg(c.registryKey)));
    c.installDir = entry->value(QStringLiteral("installDir")).toString();
    if (c.installDir.isEmpty())
        return std::nullopt;

    QScopedPointer<QSettings> settings(platform::openRegistry(clientSettingsKey(c.registryKey)));
    c.userRecord = !settings->value(QStringLiteral("InstallDir")).toString().isEmpty();
    takeInfo(c, settings->value(QStringLiteral("info")).toString());
    if (c.exe.isEmpty()) {
        QScopedPointer<QSettings> machine(platform::openRegistry(machineClientKey(c.registryKey)));
        takeInfo(c, machine->value(QStringLiteral("info")).toString());
    }
    if (c.exe.isEmpty()) {
        c.exe = QFileInfo(QDir::fromNativeSeparators(entry->value(QStringLiteral("DisplayIcon")).toString())).fileName();
        c.name = c.nameEN = entry->value(QStringLiteral("DisplayName")).toString();
        c.third = c.registryKey == edition::registryKey(Edition::CoBranded) ? edition::coBrandedCode() : QString();
    }
    return c;
}

QString infoJson(const ClientConfig &config)
{
    // The installer has always recorded the name in the interface's language.
    const QString name = config.isChinese() ? config.name : config.nameEN;
    const QJsonObject info{{QStringLiteral("third"), config.third}, {QStringLiteral("name"), name},
                           {QStringLiteral("nameEN"), config.nameEN}, {QStringLiteral("exe"), config.exe},
                           {QStringLiteral("mark"), config.mark},   {QStringLiteral("lang"), config.lang}};
    return QString::fromUtf8(QJsonDocument(info).toJson(QJsonDocument::Compact));
}

} // namespace

bool ClientConfig::isChinese() const
{
    return lang != QLatin1String("en_us");
}

std::optional<ClientConfig> readClientConfig(const QString &appDir)
{
    std::optional<ClientConfig> c =
        isTrustedConfigFile(zqIniPath(appDir)) ? fromIni(appDir) : fromRegistry(appDir);
    if (c)
        c->services = readServiceAddresses(appDir);
    return c;
}

QString zqIniThird(const QString &appDir)
{
    QScopedPointer<QSettings> ini(openZqIni(appDir));
    return ini->value(QStringLiteral("info/third")).toString();
}

QString machineClientKey(const QString &registryKey)
{
    return QLatin1String(machineCompanyPath) + QLatin1Char('\\') + registryKey;
}

QString clientSettingsKey(const QString &registryKey)
{
    return QLatin1String(companyPath) + QLatin1Char('\\') + registryKey + QStringLiteral("\\Settings");
}

bool writeClientRecord(const ClientConfig &config, const QString &installDir, bool whole)
{
    QScopedPointer<QSettings> settings(platform::openRegistry(clientSettingsKey(config.registryKey)));
    QList<QPair<QString, QString>> values;
    if (whole) {
        values = {{QStringLiteral("ThirdPart"), config.third},
                  {QStringLiteral("Language"), config.isChinese() ? QStringLiteral("zh_cn") : QStringLiteral("en_us")},
                  {QStringLiteral("InstallDir"), installDir},
                  {QStringLiteral("info"), infoJson(config)}};
    } else {
        values = {{QStringLiteral("InstallDir"), installDir}};
    }
    return ChangeLog::setValues(settings.data(), values);
}

bool writeMachineConfig(const ClientConfig &config)
{
    QScopedPointer<QSettings> machine(platform::openRegistry(machineClientKey(config.registryKey)));
    return ChangeLog::setValue(machine.data(), QStringLiteral("info"), infoJson(config));
}

bool removeClientRecord(const ClientConfig &config)
{
    QScopedPointer<QSettings> company(platform::openRegistry(QLatin1String(companyPath)));
    return ChangeLog::remove(company.data(), config.registryKey);
}

QString readPinnedKey(const QString &registryKey)
{
    QScopedPointer<QSettings> machine(platform::openRegistry(QLatin1String(machineCompanyPath)));
    return machine->value(registryKey + QLatin1Char('/') + QLatin1String(pinnedKeyName)).toString();
}

// The installed state follows the package: a package without a key pins none.
bool writePinnedKey(const ClientConfig &config)
{
    QScopedPointer<QSettings> machine(platform::openRegistry(machineClientKey(config.registryKey)));
    const QString key = config.services.updateKey;
    return key.isEmpty() ? ChangeLog::remove(machine.data(), QLatin1String(pinnedKeyName))
                         : ChangeLog::setValue(machine.data(), QLatin1String(pinnedKeyName), key);
}

bool removePinnedKey(const ClientConfig &config)
{
    QScopedPointer<QSettings> machine(platform::openRegistry(QLatin1String(machineCompanyPath)));
    return ChangeLog::remove(machine.data(), config.registryKey);
}
