#include "basewidget.h"

#include "registry.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QtDebug>

#include <cstdlib>

QString BaseWidget::exe;
QString BaseWidget::third;
bool BaseWidget::languageFlag = true;

namespace {

const char coBrandedEdition[] = "KWRender";
const char settingsPath[] = "HKEY_CURRENT_USER\\Software\\Quorlan\\%1\\Settings";

} // namespace

QString BaseWidget::editionKey()
{
    return third == QLatin1String(coBrandedEdition) ? QStringLiteral("NimbraKW")
                                                    : QStringLiteral("NimbraPVX");
}

QSettings *BaseWidget::openZqIni(const QString &dir)
{
    auto *ini = new QSettings(dir + QStringLiteral("/ZQ.ini"), QSettings::IniFormat);
    ini->setIniCodec("GB2312");
    return ini;
}

QString BaseWidget::iniThird()
{
    QScopedPointer<QSettings> ini(openZqIni(QCoreApplication::applicationDirPath()));
    return ini->value(QStringLiteral("info/third")).toString();
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
    appDir = QCoreApplication::applicationDirPath();

    if (QFile::exists(appDir + QStringLiteral("/ZQ.ini")))
        loadFromIni();
    else
        loadFromRegistry();

    QSettings service(appDir + QStringLiteral("/service.ini"), QSettings::IniFormat);
    bs = service.value(QStringLiteral("server/bs")).toString();
}

// An installed client has no ZQ.ini beside the updater and uninstaller: the
// installer's registry record stands in for it.
void BaseWidget::loadFromRegistry()
{
    // The default here is the co-branded key, unlike editionKey(): the program's
    // own directory is all there is to tell the edition by.
    const QString key = appDir.contains(QLatin1String("NimbraPVX")) ? QStringLiteral("NimbraPVX")
                                                                     : QStringLiteral("NimbraKW");
    regSettings = platform::openRegistry(QString::fromLatin1(settingsPath).arg(key), this);

    regUninstall->beginGroup(key);
    installDir = regUninstall->value(QStringLiteral("installDir")).toString();
    regUninstall->endGroup();
    if (installDir.isEmpty()) {
        qDebug() << "client not configured";
        std::exit(0);
    }

    const QJsonObject info =
        QJsonDocument::fromJson(regSettings->value(QStringLiteral("info")).toString().toUtf8())
            .object();
    third = info.value(QStringLiteral("third")).toString();
    name = info.value(QStringLiteral("name")).toString();
    nameEN = info.value(QStringLiteral("nameEN")).toString();
    exe = info.value(QStringLiteral("exe")).toString();
    mark = info.value(QStringLiteral("mark")).toString();
    lang = info.value(QStringLiteral("lang")).toString();
}

void BaseWidget::loadFromIni()
{
    QScopedPointer<QSettings> ini(openZqIni(appDir));
    exe = ini->value(QStringLiteral("info/exe")).toString();
    name = ini->value(QStringLiteral("info/name")).toString();
    nameEN = ini->value(QStringLiteral("info/nameEN")).toString();
    third = ini->value(QStringLiteral("info/third")).toString();
    mark = ini->value(QStringLiteral("info/mark")).toString();
    lang = ini->value(QStringLiteral("info/lang")).toString();
    regSettings = platform::openRegistry(QString::fromLatin1(settingsPath).arg(editionKey()), this);
}
