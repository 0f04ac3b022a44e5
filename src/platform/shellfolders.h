#pragma once

#include <QString>

namespace platform {

// The user's desktop, where the client's desktop shortcut goes.
QString desktopDir();

// The user's Start-menu programs folder.
QString startMenuDir();

// The per-user application-data folder as the shell registers it
// ("Shell Folders\\AppData"); the generic data folder when it is not registered.
QString appDataDir();

// The program-files folder, the installer's default target: PROGRAMFILES, else the
// per-user programs folder (%LOCALAPPDATA%\Programs, $XDG_DATA_HOME/Programs).
QString programFilesDir();

} // namespace platform
