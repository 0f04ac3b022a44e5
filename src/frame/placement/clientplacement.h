#pragma once

#include "clientconfig.h"
#include "outcome.h"
#include "placedversions.h"
#include "reporter.h"

#include <QString>

// A client put in place on this machine: named, branded, linked, started with the
// system, registered and open to every user. The installer and the updater carry out
// the same steps; the uninstaller's removal is their inverse. Every step brings the
// machine to the wanted state from whatever it finds (nothing done, half done, done),
// so a run killed anywhere is finished by running it again, and every step tells its
// outcome only once its changes are stored.
struct Placement
{
    enum class Kind { Install, Update };

    ClientConfig client;
    QString dir;      // the version folder, in native form
    QString version;
    Kind kind = Kind::Install;
    bool startMenu = true;
    // The installer writes the autorun value when asked; the updater re-points one
    // that is there.
    bool autorun = true;
    // Where a step tells what it left out.
    Reporter *reporter = &Reporter::plain();

    bool chinese() const { return client.isChinese(); }
    // The display name in the interface's language.
    QString displayName() const;
    QString clientExe() const;
    QString uninstallExe() const;
};

namespace placement {

// The client's name in every package and release, before it is named.
QString shippedClientName();

// The shipped client becomes the configured executable; one of that name left by an
// earlier attempt is replaced.
Outcome nameClient(const Placement &p);
// The edition's icon beside the client (copied from iconSource when given); a branded
// edition's client takes the icon and its display name.
Outcome brandClient(const Placement &p, const QString &iconSource);
// Earlier shortcuts go, this version's are made.
Outcome placeShortcuts(const Placement &p);
// The autorun value, the uninstall entry and the per-user record.
Outcome registerClient(const Placement &p);
// The version folder in place becomes the last placed version of the machine's record.
Outcome recordVersion(const Placement &p);
// A version folder whose client is named and branded becomes the one in place: the
// autorun value, the uninstall entry and the records point at it, the shortcuts are
// made, its contents are opened to every user. The updater's and the rollback's steps.
Outcome putInPlace(const Placement &p);
// An installation an earlier version of the programs placed, without a record: the one
// the uninstall entry names becomes the record's first entry.
void adoptInstallation(const ClientConfig &client);
// The product folder keeps the version in place and the previous ones the record names,
// as many in all as KeepVersions says (an older folder of the version in place is no
// previous one; 0 keeps every one). Older version folders of ours go, each marked first
// so that a removal cut off is finished by a later run; one that will not go (its files in
// use) stays in the record for the next. Nothing the record does not name is touched.
void removeOlderVersions(const Placement &p);
// The version folders the record names that can still serve, newest first: there, ours,
// not being removed.
QList<PlacedVersion> keptVersions(const QString &registryKey);

// What is inside the version folders is opened to every user, as the client writes into
// it; the folders themselves, the updater, the uninstaller and the configuration files
// stay the administrators' (in every version folder, also what an earlier version opened).
Outcome openToAllUsers(const Placement &p);

// A version folder being filled carries a mark until the run that made it has put the
// client in place: a folder a killed run left is recognised as ours and removed by the
// next run. Folders being filled are closed to other users. The installer's version
// folder is new (false when anything is there already).
bool makeVersionFolder(const QString &dir);
// The updater's staging folder, the same for every attempt: reused only when it is a
// closed folder of ours; anything else found there is set aside unentered.
bool makeStagingFolder(const QString &dir);
// The staging folder (made as above when missing) is being filled from this release (its
// version and the SHA-1 of its version file): what an earlier attempt for another release
// left there goes.
bool claimVersionFolder(const QString &dir, const QByteArray &release);
void markFinished(const QString &dir);
// Removes the marked version folders beside dir, and empty ones (dir itself stays).
void removeUnfinishedBeside(const QString &dir);

// The inverse, in an order a rerun can always finish: the shortcuts and the autorun
// value first, the record the uninstaller is configured by last.
void removeShortcuts(const Placement &p);
// Everything in the version folder but the program running the removal, which the
// self-deleting script takes with the product folder.
void removeInstallation(const QString &dir, const QString &keep);
Outcome unregisterClient(const Placement &p);

} // namespace placement
