#pragma once

#include <QString>

namespace platform {

// Where the programs of the system meet to find out whether one of them runs: the
// local server's name (a full socket path outside Windows) and the lock file that
// makes the check and the start of listening one step.
QString instanceServerName(const QString &name);
QString instanceLockPath(const QString &name);

} // namespace platform
