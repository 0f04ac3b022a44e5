#include "peresources.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

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
