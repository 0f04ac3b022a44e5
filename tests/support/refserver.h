#pragma once

#include <QJsonArray>
#include <QProcess>
#include <QString>

// tools/refserver started for a test: the maker's services on 127.0.0.1.
class RefServer
{
public:
    RefServer(const QString &releases, const QString &reasons = QString());
    ~RefServer();

    bool isRunning() const { return !base.isEmpty(); }
    QString url() const { return base; }

    // A fault for the requests whose path and query contain match (see refserver.py).
    void addFault(const QString &kind, const QString &arg = QString(), const QString &match = QString(),
                  int times = -1);
    void clearFaults();
    // Every request so far: objects with "method", "path" and "query".
    QJsonArray requests();
    // The channel reports and feedback posts recorded so far.
    QJsonArray records();

private:
    QByteArray call(const QByteArray &method, const QString &path, const QByteArray &body = QByteArray());

    QProcess process;
    QString base;
    QString recordFile;
};
