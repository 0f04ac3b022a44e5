#pragma once

#include <QString>

namespace platform {

// Where the programs of the system meet to find out whether one of them runs: the
// local server's name (a full socket path outside Windows) and the lock file that
// makes the check and the start of listening one step. Empty when no place is safe from
// other users.
QString instanceServerName(const QString &name);
// Before the application object exists: a missing or unsafe session runtime folder is
// replaced by our private one, so Qt needs no fallback of its own either.
void prepareRuntimeDir();
QString instanceLockPath(const QString &name);

} // namespace platform
