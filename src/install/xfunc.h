#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

// What the hardware query finds; only the processor text is filled.
struct HardwareInfo
{
    QString cpu;  // "[cores]name"
};

// The installer's helpers for facts about the machine and small conversions. All static.
class XFunc : public QObject
{
    Q_OBJECT

public:
    struct Interface
    {
        QString name;  // human-readable
        QString hardwareAddress;
    };

    // The hardware address of the network card that identifies the machine; empty when
    // no interface qualifies.
    static QString macAddress();
    // The choice on the system's list: virtual, tunnel and loopback interfaces (by name,
    // any case) are skipped; of the rest, the last with a six-byte address wins.
    static QString chooseMacAddress(const QList<Interface> &interfaces);

    // Fills info.cpu; false when the system would not say.
    static bool queryHardware(HardwareInfo &info);
    static QString cpuText(int cores, const QString &name);

    // Percent-encodes exactly ":", "/", "?", "&" and "="; everything else stays.
    static QString urlEncode(QString text);

    static QVariant readUserReg(QString subKey, QString name);
    static void writeUserReg(QString subKey, QString name, QVariant value);

    // Compact JSON text, members in ascending key order; and back (empty object when
    // the text is not a JSON object).
    static QString jsonToString(QJsonObject object);
    static QJsonObject stringToJson(QString text);

    // How often the image name occurs in the task list; 0 when it cannot be had.
    static int existProcess(QString name);
    // The text when it holds a dotted IPv4 address, else the host's first address, else the text.
    static QString hostToIp(QString host);
    // The system drive's volume serial as "vol" prints it in a Chinese Windows.
    static QString volumeSerial();
};
