#include "replyguard.h"

#include <QNetworkReply>
#include <QTimer>
#include <QtDebug>

int ReplyGuard::windowMs = 30000;
qint64 ReplyGuard::minBytesPerWindow = 30 * 1024;

void ReplyGuard::watch(QNetworkReply *reply, qint64 maxBytes)
{
    new ReplyGuard(reply, maxBytes);
}

ReplyGuard::ReplyGuard(QNetworkReply *reply, qint64 maxBytes)
    : QObject(reply)
    , reply(reply)
    , maxBytes(maxBytes)
{
    connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyGuard::checkEncoding);
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 bytes, qint64) { progress(bytes); });
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ReplyGuard::checkSpeed);
    connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    timer->start(windowMs);
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
    if (reply->isRunning() && received - receivedAtCheck < minBytesPerWindow) {
        qDebug() << "slower than" << minBytesPerWindow << "bytes in" << windowMs << "ms:" << reply->url();
        reply->abort();
    }
    receivedAtCheck = received;
}
