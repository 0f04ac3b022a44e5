#pragma once

#include "clientconfig.h"
#include "outcome.h"
#include "reporter.h"
#include "updaterequest.h"
#include "versionrun.h"

#include <QString>

class QThread;
class UpdateWork;

// One update: the worker assembles the new version on a thread of its own in a staging
// folder beside the current one ("<version>.staging", the same for every attempt, so a
// retry or a later run goes on with what was fetched); whole, it becomes the version's
// folder "<version>.<sszzz>" and the client is put in place there. The window and a
// silent run drive the same run.
class UpdateRun : public VersionRun
{
    Q_OBJECT

public:
    UpdateRun(const ClientConfig &config, const QString &version, Reporter &reporter = Reporter::plain(),
              const DownloadLimits &limits = DownloadLimits(), QObject *parent = nullptr);
    // Stops a worker still running and waits for its thread, which must not outlive the run.
    ~UpdateRun() override;

    void start() override;
    QString clientExe() const override;
    QString version() const override { return request.version; }

private slots:
    void workerFailed(int code);
    void workerProgress(int percent);

private:
    Outcome apply();
    void stop();
    void release();

    ClientConfig config;
    Reporter &reporter;
    UpdateRequest request;  // request.newDir: the staging folder
    QString parentDir;      // the product folder, forward slashes
    QString dir;        // the new version's folder, once assembled
    QThread *thread = nullptr;
    UpdateWork *worker = nullptr;
};
