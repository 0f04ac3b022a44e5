#pragma once

#include "clientconfig.h"
#include "outcome.h"

#include <QObject>
#include <QString>

class QThread;
class UpdateWork;

// One update: the worker assembles the new version on a thread of its own beside the
// current one, then the client is put in place there. The window and a silent run
// drive the same run; after a failure start() tries again in the same directory.
class UpdateRun : public QObject
{
    Q_OBJECT

public:
    UpdateRun(const ClientConfig &config, const QString &version, QObject *parent = nullptr);
    // Stops a worker still running and waits for its thread, which must not outlive the run.
    ~UpdateRun() override;

    void start();
    QString clientExe() const;

    // How long stopping waits for a running worker.
    static int stopWaitMs;

signals:
    void progress(int percent);
    void note(QString text);
    void failed(Outcome outcome);
    void applied();

private slots:
    void workerFailed(int code);
    void workerProgress(int percent);

private:
    Outcome apply();
    void stop();
    void release();

    ClientConfig config;
    QString version;
    QString dir;  // the new version's folder, forward slashes
    QThread *thread = nullptr;
    UpdateWork *worker = nullptr;
};
