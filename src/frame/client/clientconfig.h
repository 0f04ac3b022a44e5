#pragma once

#include "serviceaddress.h"

#include <QString>

#include <optional>

// What a program knows of the client it serves: from ZQ.ini beside it, or from the
// registry record the installer wrote when there is none.
struct ClientConfig
{
    QString exe;
    QString name;
    QString nameEN;
    QString third;
    QString mark;
    QString lang;
    // Only from the registry record: the installation the record describes.
    QString installDir;
    // The edition key whose uninstall entry and settings belong to this client: the
    // one the record was read from, else the one the edition code names.
    QString registryKey;
    ServiceAddresses services;
    // The running account has the record, or gets it: false for an installation another
    // account placed, read from the machine, which this account gets none of.
    bool userRecord = true;

    // The interface speaks Chinese unless the client is set to English exactly.
    bool isChinese() const;
};

// Reads ZQ.ini ("GB2312") or, without it, the registry record of the key that appDir
// names. Nothing when neither configures a client (no ZQ.ini and no installDir).
std::optional<ClientConfig> readClientConfig(const QString &appDir);

// The machine's key of an edition (HKEY_LOCAL_MACHINE\Software\Quorlan\<key>), where
// only administrators write: the pinned update key, the client's configuration, the
// record of the versions placed.
QString machineClientKey(const QString &registryKey);
// The per-user settings key of an edition key's record.
QString clientSettingsKey(const QString &registryKey);
// Writes the record readClientConfig reads back: where the installation lives and,
// whole, the client's configuration and language. True once stored.
bool writeClientRecord(const ClientConfig &config, const QString &installDir, bool whole);
// The client's configuration where every account finds it: the machine's hive, beside the
// record of the versions placed (removed with it).
bool writeMachineConfig(const ClientConfig &config);
// Removes the per-user key of the client's edition with everything below it.
bool removeClientRecord(const ClientConfig &config);

// The publisher's key that must have signed every update of the client, kept where only
// administrators write (the machine's registry; the installer copies it from the
// package's service.ini): empty when none is pinned. Removed with the record.
QString readPinnedKey(const QString &registryKey);
bool writePinnedKey(const ClientConfig &config);
bool removePinnedKey(const ClientConfig &config);

// The edition code in ZQ.ini beside appDir; empty without the file or key.
QString zqIniThird(const QString &appDir);
