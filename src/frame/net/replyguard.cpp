#include "replyguard.h"

#include <QNetworkReply>
#include <QTimer>
#include <QtDebug>

void ReplyGuard::watch(QNetworkReply *reply, qint64 maxBytes, SpeedFloor floor)
{
    new ReplyGuard(reply, maxBytes, floor);
}

ReplyGuard::ReplyGuard(QNetworkReply *reply, qint64 maxBytes, SpeedFloor floor)
    : QObject(reply)
    , reply(reply)
    , maxBytes(maxBytes)
    , floor(floor)
{
    connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyGuard::checkEncoding);
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 bytes, qint64) { progress(bytes); });
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ReplyGuard::checkSpeed);
    connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    timer->start(floor.windowMs);
}

void ReplyGuard::progress(qint64 bytes)
{
    received = bytes;
    if (maxBytes >= 0 && received > maxBytes && reply->isRunning()) {
        qDebug() << "body beyond" << maxBytes << "bytes:" << reply->url();
        reply->abort();
    }
}

void ReplyGuard::checkEncoding()
{
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity" && reply->isRunning()) {
        qDebug() << "refused encoding" << encoding << reply->url();
        reply->abort();
    }
}

void ReplyGuard::checkSpeed()
{
    if (reply->isRunning() && received - receivedAtCheck < floor.minBytes) {
        qDebug() << "slower than" << floor.minBytes << "bytes in" << floor.windowMs << "ms:" << reply->url();
        reply->abort();
    }
    receivedAtCheck = received;
}
