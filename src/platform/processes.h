#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// From now on a DLL this program loads by name comes from the system folder only, never
// from its own folder (others may add files there); nothing to do outside Windows.
void loadLibrariesFromSystemOnly();

// Runs a program and waits for it (at most timeoutMs) with the rights of the person who
// started this one, never with administrator rights: a program in a folder other users
// may change must not run as administrator. Run as root outside Windows, the program gets
// the user who called sudo or pkexec; elevated on Windows, the desktop shell's user.
// Where there is none, nothing runs. False when the program did not run.
bool runUnelevated(const QString &program, const QStringList &arguments, int timeoutMs);

} // namespace platform
