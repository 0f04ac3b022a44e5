#include "serviceaddress.h"

#include "programdir.h"
#include "rights.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QtDebug>

bool isTrustedConfigFile(const QString &path)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return false;
    if (platform::isTrustedBeside(path, QCoreApplication::applicationFilePath()))
        return true;
    qWarning() << "ignored, another user may have written it:" << path;
    return false;
}

ServiceAddresses readServiceAddresses(const QString &dir)
{
    const QString path = dir + QStringLiteral("/service.ini");
    QSettings service(isTrustedConfigFile(path) ? path : QString(), QSettings::IniFormat);
    service.beginGroup(QStringLiteral("server"));
    ServiceAddresses a;
    a.bs = service.value(QStringLiteral("bs")).toString();
    a.update = service.value(QStringLiteral("update"), QStringLiteral("http://update.nimbra.example")).toString();
    a.updateEN = service.value(QStringLiteral("updateEN"), QStringLiteral("http://update-en.nimbra.example")).toString();
    a.channel = service.value(QStringLiteral("channel"), QStringLiteral("http://channel.nimbra.example")).toString();
    a.updateKey = service.value(QStringLiteral("updateKey")).toString();
    return a;
}

QString serviceAddress(const QString &key)
{
    const ServiceAddresses a = readServiceAddresses(programDir());
    if (key == QLatin1String("bs"))
        return a.bs;
    if (key == QLatin1String("update"))
        return a.update;
    if (key == QLatin1String("updateEN"))
        return a.updateEN;
    if (key == QLatin1String("channel"))
        return a.channel;
    return QString();
}
