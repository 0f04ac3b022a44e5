#pragma once

#include <QString>

// The maker's web services: section [server] of service.ini beside the program, else
// the compiled-in defaults. bs (uninstall reasons) has no default.
struct ServiceAddresses
{
    QString bs;
    QString update;    // update service, Chinese interface
    QString updateEN;  // update service, English interface
    QString channel;   // installation channel report
    QString updateKey; // public key that signs version files, when none is compiled in
};

ServiceAddresses readServiceAddresses(const QString &dir);

// Whether a configuration file beside the program may be read: the programs run as
// administrator, and one another user could have put or changed there is not (it is
// then as if it were missing, and a warning says so). False when there is none.
bool isTrustedConfigFile(const QString &path);

// One address ("bs", "update", "updateEN", "channel") for the running program.
QString serviceAddress(const QString &key);
