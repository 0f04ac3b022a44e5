#include "serviceaddress.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

QString defaultAddress(const QString &key)
{
    if (key == QLatin1String("update"))
        return QStringLiteral("http://update.nimbra.example");
    if (key == QLatin1String("updateEN"))
        return QStringLiteral("http://update-en.nimbra.example");
    if (key == QLatin1String("channel"))
        return QStringLiteral("http://channel.nimbra.example");
    return QString();
}

} // namespace

QString serviceAddress(const QString &key)
{
    QSettings service(QCoreApplication::applicationDirPath() + QStringLiteral("/service.ini"), QSettings::IniFormat);
    return service.value(QStringLiteral("server/") + key, defaultAddress(key)).toString();
}
