#include "xfunc.h"

#include "changelog.h"
#include "machine.h"
#include "processes.h"
#include "registry.h"

#include <QHostInfo>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegExp>
#include <QScopedPointer>
#include <QSettings>
#include <QTextCodec>

QString XFunc::macAddress()
{
    QList<Interface> interfaces;
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces())
        interfaces.append({i.humanReadableName(), i.hardwareAddress()});
    return chooseMacAddress(interfaces);
}

QString XFunc::chooseMacAddress(const QList<Interface> &interfaces)
{
    static const char *const skipped[] = {"VMware", "Tunnel", "Tunneling", "Loopback", "Pseudo", "isatap"};
    QString result;
    for (const Interface &i : interfaces) {
        bool skip = false;
        for (const char *word : skipped)
            skip = skip || i.name.contains(QLatin1String(word), Qt::CaseInsensitive);
        const QString address = i.hardwareAddress.toUpper();
        if (!skip && address.size() == 17)
            result = address;
    }
    return result;
}

bool XFunc::queryHardware(HardwareInfo &info)
{
    QString name;
    int cores = 0;
    if (!platform::processorInfo(&name, &cores))
        return false;
    info.cpu = cpuText(cores, name);
    return true;
}

QString XFunc::cpuText(int cores, const QString &name)
{
    return QStringLiteral("[%1]").arg(cores) + name;
}

QString XFunc::urlEncode(QString text)
{
    return text.replace(QLatin1String(":"), QLatin1String("%3A"))
        .replace(QLatin1String("/"), QLatin1String("%2F"))
        .replace(QLatin1String("?"), QLatin1String("%3F"))
        .replace(QLatin1String("&"), QLatin1String("%26"))
        .replace(QLatin1String("="), QLatin1String("%3D"));
}

QVariant XFunc::readUserReg(QString subKey, QString name)
{
    QScopedPointer<QSettings> key(platform::openRegistry(QStringLiteral("HKEY_CURRENT_USER\\") + subKey));
    return key->value(name, QVariant());
}

void XFunc::writeUserReg(QString subKey, QString name, QVariant value)
{
    QScopedPointer<QSettings> key(platform::openRegistry(QStringLiteral("HKEY_CURRENT_USER\\") + subKey));
    ChangeLog::setValue(key.data(), name, value);
}

QString XFunc::jsonToString(QJsonObject object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject XFunc::stringToJson(QString text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

int XFunc::existProcess(QString name)
{
    if (!name.endsWith(QLatin1String(".exe")))
        name += QStringLiteral(".exe");
    bool finished = false;
    const QByteArray list = platform::taskList(name, &finished);
    return finished ? list.count(name.toUtf8()) : 0;
}

QString XFunc::hostToIp(QString host)
{
    if (QRegExp(QStringLiteral("(\\d{1,3}\\.){3}\\d{1,3}")).indexIn(host) >= 0)
        return host;
    const QList<QHostAddress> addresses = QHostInfo::fromName(host).addresses();
    return addresses.isEmpty() ? host : addresses.first().toString();
}

QString XFunc::volumeSerial()
{
    QProcess cmd;
    cmd.start(QStringLiteral("cmd"), QStringList());
    if (!cmd.waitForStarted(30000))
        return QString();
    cmd.write("vol\n");
    cmd.closeWriteChannel();
    cmd.waitForFinished(30000);
    const QString out = QTextCodec::codecForLocale()->toUnicode(cmd.readAllStandardOutput());
    const int at = out.indexOf(QStringLiteral("卷的序列号是"));
    if (at < 0)
        return QString();
    return out.mid(at + 7).section(QStringLiteral("\r\n"), 0, 0);
}
