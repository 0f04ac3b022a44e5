#pragma once

#include "clientconfig.h"
#include "placedversions.h"
#include "reporter.h"
#include "versionrun.h"

// Puts the previous kept version back in place through the placement steps of an update,
// without the network: the version folder is there, named and branded as it was placed.
// The version replaced becomes the previous one. The target is recorded before the first
// change, so a run killed anywhere is finished by the next rather than rolled back again.
class RollbackRun : public VersionRun
{
    Q_OBJECT

public:
    RollbackRun(const ClientConfig &config, Reporter &reporter = Reporter::plain(), QObject *parent = nullptr);

    void start() override;
    QString clientExe() const override;
    QString version() const override { return placed; }

private:
    void run();
    Outcome rollBack();
    // The version a rollback under way goes to, else the newest kept one of another
    // version than the one in place; empty when there is none.
    PlacedVersion target() const;

    ClientConfig config;
    Reporter &reporter;
    QString dir;     // the version folder put back, native form
    QString placed;  // its version
};
