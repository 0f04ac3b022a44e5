#pragma once

#include <QList>
#include <QString>

// The version folders the programs placed for one edition, in placement order (the last
// is the one in place), with their versions: folder names carry the time of day and do not
// order versions. Kept in the machine's registry beside the pinned key
// (HKEY_LOCAL_MACHINE\Software\Quorlan\<edition key>), where only administrators write;
// retention, rollback and reuse go by it, and a folder it does not name is never kept,
// rolled back to or reused.
struct PlacedVersion
{
    QString version;
    QString dir;  // native form

    bool operator==(const PlacedVersion &other) const { return version == other.version && dir == other.dir; }
};

class PlacedVersions
{
public:
    explicit PlacedVersions(const QString &registryKey);

    QList<PlacedVersion> all() const;
    // Stored once committed; the change log records it.
    bool store(const QList<PlacedVersion> &versions) const;
    // dir becomes the last placed (moved there when it is named already).
    bool place(const PlacedVersion &placed) const;
    bool forget(const QString &dir) const;

    // How many versions the product folder keeps: KeepVersions beside the record, 2 when
    // it is not set or not a number; 0 keeps every one.
    int keep() const;
    bool setKeep(int versions) const;

    // A rollback under way: its target is recorded before its first change, so a rerun
    // finishes it rather than rolling back again. Empty when none is.
    QString rollbackTarget() const;
    bool setRollbackTarget(const QString &dir) const;

private:
    QString key;
};
