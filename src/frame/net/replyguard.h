#pragma once

#include <QObject>

class QNetworkReply;
class QTimer;

// How slow a reply may be: fewer than minBytes in a window of windowMs ends it.
struct SpeedFloor
{
    int windowMs = 30000;
    qint64 minBytes = 30 * 1024;
};

// Ends a reply that would hold its program for ever or fill its memory: aborted (it then
// fails as the network would) once its body passes maxBytes, when fewer than
// the floor's bytes arrive in its window, as curl's --speed-limit and
// --speed-time do, or when it comes compressed (asked for as it is, a compressed body
// would be inflated past every cap). Lives as the reply's child.
class ReplyGuard : public QObject
{
    Q_OBJECT

public:
    // maxBytes < 0: no cap on the body.
    static void watch(QNetworkReply *reply, qint64 maxBytes = -1, SpeedFloor floor = SpeedFloor());

private:
    ReplyGuard(QNetworkReply *reply, qint64 maxBytes, SpeedFloor floor);
    void progress(qint64 received);
    void checkEncoding();
    void checkSpeed();

    QNetworkReply *reply;
    qint64 maxBytes;
    SpeedFloor floor;
    qint64 received = 0;
    qint64 receivedAtCheck = 0;
};
