#include "updaterun.h"

#include "changelog.h"
#include "clientplacement.h"
#include "edition.h"
#include "files.h"
#include "updatestate.h"
#include "updatework.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QtDebug>

namespace {

// How long stopping waits for a running worker.
const int stopWaitMs = 10000;

} // namespace

UpdateRun::UpdateRun(const ClientConfig &config, const QString &version, Reporter &reporter,
                     const DownloadLimits &limits, QObject *parent)
    : VersionRun(parent)
    , config(config)
    , reporter(reporter)
{
    request.version = version;
    request.oldDir = QString(config.installDir).replace(QLatin1Char('\\'), QLatin1Char('/'));
    parentDir = QFileInfo(request.oldDir).absolutePath();
    // The same name for every attempt at this version: a later run goes on with it.
    request.newDir = parentDir + QLatin1Char('/') + version + QStringLiteral(".staging");
    request.builtInKey = UpdateWork::builtInKey();
    request.limits = limits;
    request.clientName = config.exe;
    // The updater's names for them, for whoever reads them on this thread.
    ::oldDir = request.oldDir;
    ::newDir = request.newDir;
    qDebug() << request.oldDir << request.newDir;
}

UpdateRun::~UpdateRun()
{
    stop();
}

QString UpdateRun::clientExe() const
{
    return dir + QDir::separator() + config.exe;
}

void UpdateRun::start()
{
    // Files are reused from every version kept, not only the one in place.
    placement::adoptInstallation(config);
    request.keptDirs.clear();
    for (const PlacedVersion &kept : placement::keptVersions(config.registryKey)) {
        const QString dir = QDir::fromNativeSeparators(kept.dir);
        if (dir != request.oldDir)
            request.keptDirs.append(dir);
    }
    // Marked until the client is in place, so that the next run removes what a killed
    // one left; closed to other users until then.
    if (!placement::makeStagingFolder(request.newDir)) {
        QTimer::singleShot(0, this, [this] { emit failed(Outcome::WriteFailed); });
        return;
    }
    thread = new QThread;
    worker = new UpdateWork(request);
    connect(worker, &UpdateWork::content, this, &UpdateRun::note);
    connect(worker, &UpdateWork::error, this, &UpdateRun::workerFailed);
    connect(worker, &UpdateWork::pro, this, &UpdateRun::workerProgress);
    worker->moveToThread(thread);
    thread->start();
    QMetaObject::invokeMethod(worker, "start", Q_ARG(bool, !config.isChinese()), Q_ARG(QString, config.third));
}

// The worker has stopped by itself when it reports a failure: released without a wait.
// The thread object goes once its loop has ended; deleted earlier it would abort the
// process.
void UpdateRun::release()
{
    if (!thread)
        return;
    worker->deleteLater();
    worker = nullptr;
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->quit();
    thread = nullptr;
}

void UpdateRun::stop()
{
    if (!thread)
        return;
    disconnect(worker, nullptr, this, nullptr);
    QMetaObject::invokeMethod(worker, "cancel");
    thread->quit();
    if (thread->wait(stopWaitMs)) {
        delete worker;
        delete thread;
    } else {
        qDebug() << "update thread still running";
        worker->deleteLater();
        thread->deleteLater();
    }
    worker = nullptr;
    thread = nullptr;
}

void UpdateRun::workerFailed(int code)
{
    release();
    emit failed(outcome::ofUpdateError(code));
}

void UpdateRun::workerProgress(int percent)
{
    emit progress(percent);
    if (percent != 100)
        return;
    const Outcome outcome = apply();
    release();
    if (outcome == Outcome::Done)
        emit applied();
    else
        emit failed(outcome);
}

// Turns the assembled directory into the installation; nothing is registered when the
// client cannot be named or branded.
Outcome UpdateRun::apply()
{
    // Whole, the staging folder becomes the version's folder of its own name.
    dir = parentDir + QLatin1Char('/')
          + QStringLiteral("%1.%2").arg(request.version, QTime::currentTime().toString(QStringLiteral("sszzz")));
    const bool moved = platform::renameFile(request.newDir, dir);
    ChangeLog::record("remove", "dir", request.newDir, moved);
    ChangeLog::record("write", "dir", dir, moved);
    if (!moved)
        return Outcome::WriteFailed;
    Placement p{config, QDir::toNativeSeparators(dir), request.version, Placement::Kind::Update, true, true, &reporter};
    Outcome step = placement::nameClient(p);
    if (step == Outcome::Done && !config.third.isEmpty())
        step = placement::brandClient(p, edition::iconResource(config.third));
    if (step == Outcome::Done)
        step = placement::putInPlace(p);
    if (step != Outcome::Done)
        return step;
    placement::markFinished(p.dir);
    placement::removeUnfinishedBeside(p.dir);
    placement::removeOlderVersions(p);
    return Outcome::Done;
}
