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
// Long enough for a holder's check (one connect attempt) and listen.
const int lockTimeoutMs = 10000;

} // namespace

SingleApp::SingleApp(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Where a diagnostic comes from matters more than when; QT_MESSAGE_PATTERN overrides.
    qSetMessagePattern(QStringLiteral("%{file}:%{line} %{function}: %{message}"));
}

bool SingleApp::exist()
{
    const QString name = platform::instanceServerName(QLatin1String(serverName));
    const QString lockPath = platform::instanceLockPath(QLatin1String(serverName));
    // Without a place of our own, or without the lock, another program may be running:
    // one must never work beside another.
    if (name.isEmpty() || lockPath.isEmpty()) {
        qWarning() << "no private folder for the single-instance check";
        return true;
    }
    // Check, removal of a leftover name and listen are one step: two programs started
    // together would otherwise both miss each other, and the second remove the first's name.
    QLockFile lock(lockPath);
    if (!lock.tryLock(lockTimeoutMs)) {
        qWarning() << "instance lock not taken:" << lock.error();
        return true;
    }

    socket = new QLocalSocket(this);
    socket->connectToServer(name, QIODevice::ReadWrite);
    if (socket->waitForConnected(connectTimeoutMs)) {
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
