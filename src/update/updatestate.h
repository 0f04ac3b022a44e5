#pragma once

#include <QString>

// Process-wide values of the updater, set on the GUI thread before any worker exists.
extern QString targetVersion; // the version to install, the first argument unchanged
extern QString oldDir;        // the current installation directory, forward slashes
extern QString newDir;        // where the new version is assembled, forward slashes

