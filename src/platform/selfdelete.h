#pragma once

#include <QString>

namespace platform {

// Writes, fresh, the script that removes productDir once this program has ended and
// then itself, and starts it detached: ClearPVX.bat in the system drive's root on
// Windows (readable and writable by administrators only while it waits), ClearPVX.sh
// in the temporary folder elsewhere. emptyParent, when given, goes too if nothing else is
// left in it. False when the script cannot be written fresh.
bool startSelfDelete(const QString &productDir, const QString &emptyParent = QString());

// Where the script is written.
QString selfDeleteScript();

} // namespace platform
