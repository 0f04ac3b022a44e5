#include "registry.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
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

bool readHive(QIODevice &device, QSettings::SettingsMap &map)
{
    QJsonParseError error;
    const QJsonDocument hive = QJsonDocument::fromJson(device.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !hive.isObject())
        return false;
    map = hive.object().toVariantMap();
    return true;
}

// A hive on disk that cannot be read (cut off, damaged) was read as empty: written now,
// it would lose every value in it, other programs' too. It is left as it is.
bool isUnreadableHive(const QString &path)
{
    QFile hive(path);
    if (!hive.open(QIODevice::ReadOnly))
        return hive.exists();
    QSettings::SettingsMap ignored;
    return hive.size() > 0 && !readHive(hive, ignored);
}

// Qt writes a hive through a temporary file beside it and renames it into place, but in
// Qt 5.15 it renames even when the last buffered write failed (a full disk): the hive
// would be replaced by an empty or cut file. Flushing here makes that failure count, and
// Qt then keeps the hive as it was.
bool writeHive(QIODevice &device, const QSettings::SettingsMap &map)
{
    auto *file = qobject_cast<QFileDevice *>(&device);
    if (!file || isUnreadableHive(file->fileName()))
        return false;
    const QByteArray data = QJsonDocument(QJsonObject::fromVariantMap(map)).toJson();
    return device.write(data) == data.size() && file->flush();
}

QSettings::Format hiveFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(QStringLiteral("json"), readHive, writeHive);
    return format;
}

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
           + QStringLiteral("/winreg/") + fullHiveName(hive) + QStringLiteral(".json");
}

QSettings *openRegistry(const QString &path, QObject *parent)
{
    const int cut = path.indexOf(QLatin1Char('\\'));
    const QString hive = cut < 0 ? path : path.left(cut);
    QString key = cut < 0 ? QString() : path.mid(cut + 1);
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));

    // All views of a hive open the same file, so Qt shares one cache between them
    // inside a process; the group makes the view start at its key.
    auto *view = new QSettings(registryFile(hive), hiveFormat(), parent);
    // Never written in place: a failed write must leave the hive as it was.
    view->setAtomicSyncRequired(true);
    view->setProperty(hiveProperty, fullHiveName(hive));
    if (!key.isEmpty())
        view->beginGroup(key);
    return view;
}

} // namespace platform
