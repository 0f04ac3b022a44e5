#include "processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

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

// The user who asked for administrator rights, as sudo and pkexec tell it; 0 when none.
uid_t invokingUser()
{
    for (const char *name : {"SUDO_UID", "PKEXEC_UID"}) {
        bool ok = false;
        const uint uid = qEnvironmentVariable(name).toUInt(&ok);
        if (ok && uid != 0)
            return uid;
    }
    return 0;
}

gid_t primaryGroup(uid_t uid)
{
    const passwd *user = getpwuid(uid);
    return user ? user->pw_gid : gid_t(uid);
}

// A process that drops root for the given user before the program starts; if that
// fails, the child is killed instead of running with root's rights.
class UserProcess : public QProcess
{
public:
    UserProcess(uid_t uid, gid_t gid)
        : uid(uid)
        , gid(gid)
    {
    }

protected:
    void setupChildProcess() override
    {
        if (uid == 0)
            return;
        if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0)
            raise(SIGKILL);
    }

private:
    uid_t uid;
    gid_t gid;
};

} // namespace

void loadLibrariesFromSystemOnly()
{
}

bool runUnelevated(const QString &program, const QStringList &arguments, int timeoutMs)
{
    const uid_t uid = geteuid() == 0 ? invokingUser() : 0;
    if (geteuid() == 0 && uid == 0)
        return false;
    UserProcess process(uid, primaryGroup(uid));
    process.start(program, arguments);
    return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
}

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
