#include "processes.h"

#include <QDir>
#include <QProcess>
#include <QStringList>

namespace platform {

namespace {

const int toolTimeoutMs = 30000;

QByteArray runTool(const QString &program, const QStringList &arguments, bool *finished)
{
    QProcess tool;
    tool.start(program, arguments, QIODevice::ReadWrite);
    *finished = tool.waitForFinished(toolTimeoutMs);
    return *finished ? tool.readAllStandardOutput() : QByteArray();
}

} // namespace

QByteArray taskList(const QString &imageName, bool *finished)
{
    return runTool(QStringLiteral("tasklist.exe"),
                   {QStringLiteral("-fi"), QStringLiteral("imagename eq %1").arg(imageName)},
                   finished);
}

QByteArray taskKill(const QString &imageName, bool *finished)
{
    return runTool(QStringLiteral("taskkill.exe"),
                   {QStringLiteral("-F"), QStringLiteral("/IM"), imageName}, finished);
}

void startClient(const QString &path)
{
    // Explorer reads "/" as the start of a switch: the path goes in native form.
    QProcess::startDetached(QStringLiteral("explorer"), {QDir::toNativeSeparators(path)});
}

} // namespace platform
