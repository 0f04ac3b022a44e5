#include "peresources.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

namespace {

QByteArray wrestool(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("wrestool"), arguments);
    tool.waitForFinished();
    return tool.readAllStandardOutput();
}

} // namespace

QMap<QString, QByteArray> peResources(const QString &exe)
{
    QMap<QString, QByteArray> resources;
    const QRegularExpression entry(QStringLiteral("--type=(\\S+) --name=(\\S+) --language=(\\d+)"));
    for (const QByteArray &line : wrestool({QStringLiteral("-l"), exe}).split('\n')) {
        const QRegularExpressionMatch m = entry.match(QString::fromUtf8(line));
        if (!m.hasMatch())
            continue;
        resources.insert(m.captured(1) + '/' + m.captured(2) + '/' + m.captured(3),
                         wrestool({QStringLiteral("-x"), QStringLiteral("--raw"), QStringLiteral("--type=") + m.captured(1),
                                   QStringLiteral("--name=") + m.captured(2),
                                   QStringLiteral("--language=") + m.captured(3), exe}));
    }
    return resources;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool appendCertificateTable(const QString &exe)
{
    QFile file(exe);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    if (bytes.size() < 0x40)
        return false;
    const int optional = int(u32(0x3C)) + 24;
    const bool plus = optional + 2 <= bytes.size() && qFromLittleEndian<quint16>(bytes.constData() + optional) == 0x20B;
    const int directory = optional + (plus ? 112 : 96) + 8 * 4;
    if (optional < 0 || directory + 8 > bytes.size())
        return false;
    bytes.append(QByteArray((8 - bytes.size() % 8) % 8, '\0'));
    QByteArray table(16, '\xA5');
    qToLittleEndian<quint32>(quint32(table.size()), table.data());
    qToLittleEndian<quint32>(quint32(bytes.size()), bytes.data() + directory);
    qToLittleEndian<quint32>(quint32(table.size()), bytes.data() + directory + 4);
    bytes.append(table);
    return file.seek(0) && file.write(bytes) == bytes.size();
}
