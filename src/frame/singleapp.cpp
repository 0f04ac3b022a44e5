#include "singleapp.h"

#include <QFont>
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

bool SingleApp::exist()
{
    socket = new QLocalSocket(this);
    socket->connectToServer(QLatin1String(serverName), QIODevice::ReadWrite);
    if (socket->waitForConnected(connectTimeoutMs)) {
        qDebug() << "server exist";
        return true;
    }

    server = new QLocalServer(this);
    // A crashed instance leaves its name behind, which would block every later start.
    QLocalServer::removeServer(QLatin1String(serverName));
    server->listen(QLatin1String(serverName));
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
