#include "singleapp.h"

#include "instancechannel.h"

#include <QFont>
#include <QLockFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>
#include <QtDebug>

namespace {

const char serverName[] = "vantelo_install";
const int connectTimeoutMs = 1000;

} // namespace

SingleApp::SingleApp(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Where a diagnostic comes from matters more than when; QT_MESSAGE_PATTERN overrides.
    qSetMessagePattern(QStringLiteral("%{file}:%{line} %{function}: %{message}"));
}

SingleApp::~SingleApp() = default;

// The guard is the lock, held for the whole run: the name only carries the message that
// brings the running program to the front, and a name that cannot be listened on (a
// path past the system's limit) costs that message, never the guard.
bool SingleApp::exist()
{
    const QString name = platform::instanceServerName(QLatin1String(serverName));
    const QString lockPath = platform::instanceLockPath(QLatin1String(serverName));
    // Without a place of our own another program may be running: one must never work
    // beside another.
    if (name.isEmpty() || lockPath.isEmpty()) {
        qWarning() << "no private folder for the single-instance check";
        return true;
    }
    lock = std::make_unique<QLockFile>(lockPath);
    // However long a run takes, its lock is stale only once its program has gone.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError)
            qWarning() << "instance lock not taken:" << lock->error();
        socket = new QLocalSocket(this);
        socket->connectToServer(name, QIODevice::ReadWrite);
        if (socket->waitForConnected(connectTimeoutMs))
            qDebug() << "server exist";
        return true;
    }
    server = new QLocalServer(this);
    // A crashed instance leaves its name behind, which would block every later start.
    QLocalServer::removeServer(name);
    if (!server->listen(name))
        qDebug() << "cannot listen:" << server->errorString();
    connect(server, &QLocalServer::newConnection, this, &SingleApp::showUp);
    return false;
}

void SingleApp::useClientFont()
{
    QFont font;
    font.setFamily(QStringLiteral("Microsoft Yahei"));
    font.setPixelSize(12);
    QApplication::setFont(font);
}

void SingleApp::raiseOnShowUp(QWidget *window)
{
    connect(this, &SingleApp::showUp, window, [window] {
        window->showNormal();
        window->raise();
        window->activateWindow();
    });
}
