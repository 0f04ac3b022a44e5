#include "refserver.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

RefServer::RefServer(const QString &releases, const QString &reasons)
{
    recordFile = QDir::tempPath() + QStringLiteral("/refserver-records-%1.jsonl").arg(quintptr(this));
    QStringList arguments{QStringLiteral(REFSERVER_PY), QStringLiteral("--releases"), releases,
                          QStringLiteral("--record"), recordFile};
    if (!reasons.isEmpty())
        arguments << QStringLiteral("--reasons") << reasons;
    process.start(QStringLiteral("python3"), arguments);
    if (process.waitForReadyRead(10000)) {
        const QByteArray line = process.readLine().trimmed();
        if (line.startsWith("refserver "))
            base = QString::fromUtf8(line.mid(10));
    }
}

RefServer::~RefServer()
{
    process.kill();
    process.waitForFinished();
}

QByteArray RefServer::call(const QByteArray &method, const QString &path, const QByteArray &body)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(base + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray answer = reply->readAll();
    delete reply;
    return answer;
}

void RefServer::addFault(const QString &kind, const QString &arg, const QString &match, int times)
{
    const QJsonObject fault{{"kind", kind}, {"arg", arg}, {"match", match}, {"times", times}};
    call("POST", QStringLiteral("/_control/fault"), QJsonDocument(fault).toJson(QJsonDocument::Compact));
}

void RefServer::clearFaults()
{
    call("DELETE", QStringLiteral("/_control/fault"));
}

QJsonArray RefServer::requests()
{
    return QJsonDocument::fromJson(call("GET", QStringLiteral("/_control/requests"))).array();
}

QJsonArray RefServer::records()
{
    QJsonArray records;
    QFile file(recordFile);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (!line.trimmed().isEmpty())
                records.append(QJsonDocument::fromJson(line).object());
        }
    }
    return records;
}
