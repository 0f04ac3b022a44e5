#include "rollbackrun.h"

#include "clientplacement.h"

#include <QDir>
#include <QTimer>

RollbackRun::RollbackRun(const ClientConfig &config, Reporter &reporter, QObject *parent)
    : VersionRun(parent)
    , config(config)
    , reporter(reporter)
{
}

void RollbackRun::start()
{
    // Started from the window's constructor: its signals must find their slots connected.
    QTimer::singleShot(0, this, &RollbackRun::run);
}

QString RollbackRun::clientExe() const
{
    return dir + QDir::separator() + config.exe;
}

void RollbackRun::run()
{
    const Outcome outcome = rollBack();
    if (outcome == Outcome::Done) {
        emit progress(100);
        emit applied();
    } else {
        emit failed(outcome);
    }
}

PlacedVersion RollbackRun::target() const
{
    const QList<PlacedVersion> kept = placement::keptVersions(config.registryKey);
    const QString pending = PlacedVersions(config.registryKey).rollbackTarget();
    for (const PlacedVersion &v : kept) {
        if (!pending.isEmpty() && v.dir == pending)
            return v;
    }
    for (int i = 1; i < kept.size(); ++i) {
        if (kept[i].version != kept.first().version)
            return kept[i];
    }
    return PlacedVersion();
}

Outcome RollbackRun::rollBack()
{
    placement::adoptInstallation(config);
    const PlacedVersion to = target();
    if (to.dir.isEmpty())
        return Outcome::NothingToRollBack;
    const PlacedVersions record(config.registryKey);
    if (!record.setRollbackTarget(to.dir))
        return Outcome::RegistryFailed;
    dir = to.dir;
    placed = to.version;
    emit note(config.isChinese() ? QStringLiteral("回退到版本 %1").arg(to.version)
                                 : QStringLiteral("Rolling back to version %1").arg(to.version));
    emit progress(20);
    Placement p{config, to.dir, to.version, Placement::Kind::Update, true, true, &reporter};
    const Outcome step = placement::putInPlace(p);
    if (step != Outcome::Done)
        return step;
    if (!record.setRollbackTarget(QString()))
        return Outcome::RegistryFailed;
    placement::removeOlderVersions(p);
    return Outcome::Done;
}
