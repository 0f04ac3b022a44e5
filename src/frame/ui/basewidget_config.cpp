#include "basewidget.h"

#include "clientconfig.h"
#include "edition.h"
#include "programdir.h"
#include "registry.h"

#include <QCoreApplication>
#include <QSettings>
#include <QtDebug>


QString BaseWidget::exe;
QString BaseWidget::third;
bool BaseWidget::languageFlag = true;

QString BaseWidget::editionKey()
{
    return edition::registryKey(editionOf(third));
}

QString BaseWidget::iniThird()
{
    return zqIniThird(programDir());
}

bool BaseWidget::isChinese()
{
    languageFlag = lang != QLatin1String("en_us");
    return languageFlag;
}

QSettings *BaseWidget::settings()
{
    return regSettings;
}

void BaseWidget::loadConfiguration()
{
    regRun = platform::openRegistry(
        QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"), this);
    regUninstall = platform::openRegistry(
        QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
        this);
    regCompany = platform::openRegistry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan"), this);
    appDir = programDir();

    // A program's start has checked that there is a configuration.
    const std::optional<ClientConfig> config = readClientConfig(appDir);
    if (!config) {
        qDebug() << "client not configured";
        return;
    }
    client = *config;
    exe = config->exe;
    name = config->name;
    nameEN = config->nameEN;
    third = config->third;
    mark = config->mark;
    lang = config->lang;
    installDir = config->installDir;
    configKey = config->registryKey;
    bs = config->services.bs;
    regSettings = platform::openRegistry(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan\\%1\\Settings").arg(configKey), this);
}
