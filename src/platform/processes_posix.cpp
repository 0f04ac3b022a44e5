#include "processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>

#include <signal.h>
#include <sys/types.h>

namespace platform {

namespace {

// The image name of a process is the file name of its executable; argv[0] stands in
// when the executable link cannot be read (another user's process).
QString imageNameOf(const QString &procDir)
{
    QString target = QFile::symLinkTarget(procDir + QStringLiteral("/exe"));
    if (target.endsWith(QLatin1String(" (deleted)")))
        target.chop(10);
    if (target.isEmpty()) {
        QFile cmdline(procDir + QStringLiteral("/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly))
            target = QString::fromLocal8Bit(cmdline.readAll().split('\0').value(0));
    }
    return QFileInfo(target).fileName();
}

QList<qint64> processesNamed(const QString &imageName)
{
    QList<qint64> pids;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid && imageNameOf(proc.filePath(entry)) == imageName)
            pids.append(pid);
    }
    return pids;
}

} // namespace

QByteArray taskList(const QString &imageName, bool *finished)
{
    *finished = true;
    const QList<qint64> pids = processesNamed(imageName);
    if (pids.isEmpty())
        return "INFO: No tasks are running which match the specified criteria.\n";
    QByteArray out;
    for (qint64 pid : pids)
        out += imageName.toUtf8() + ' ' + QByteArray::number(pid) + '\n';
    return out;
}

QByteArray taskKill(const QString &imageName, bool *finished)
{
    *finished = true;
    const QList<qint64> pids = processesNamed(imageName);
    if (pids.isEmpty())
        return "ERROR: The process \"" + imageName.toUtf8() + "\" not found.\n";
    QByteArray out;
    for (qint64 pid : pids) {
        const bool killed = ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
        out += (killed ? "SUCCESS: The process \"" : "ERROR: The process \"") + imageName.toUtf8()
               + "\" with PID " + QByteArray::number(pid)
               + (killed ? " has been terminated.\n" : " could not be terminated.\n");
    }
    return out;
}

void startClient(const QString &path)
{
    QProcess::startDetached(path, {});
}

} // namespace platform
