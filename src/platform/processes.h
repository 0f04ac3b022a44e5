#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// What the system's task list prints for one image name, as "tasklist.exe" does:
// a line per matching process, or an informational line without the name when none
// matches. Sets *finished to false when the listing could not be had in time.
QByteArray taskList(const QString &imageName, bool *finished);

// Forcibly ends every process with that image name, as "taskkill.exe /F /IM" does,
// and returns the tool's report. Sets *finished to false when it did not end in time.
QByteArray taskKill(const QString &imageName, bool *finished);

// Starts an installed program detached, as the shell opens it ("explorer <path>" on
// Windows); a failure is not noticed.
void startClient(const QString &path);

} // namespace platform
