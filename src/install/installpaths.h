#pragma once

#include <QString>

class QTime;

// The version to install from a "version" file: double quotes removed, white space
// trimmed. Empty when the file is missing, empty, or not a plain directory name.
QString readVersionFile(const QString &path);

// The target offered before the user chooses: the program-files folder and a folder
// named after the edition ("Nimbra" for the standard and co-branded editions).
QString defaultInstallTarget(const QString &programFiles, const QString &third);

// The new, versioned installation directory below the chosen one. The time of day
// ("sszzz") makes every run's directory new, even for the same version.
QString versionedInstallDir(const QString &chosen, const QString &third, const QString &version,
                            const QTime &time);

// The outermost directory of path that does not exist yet: what creating path would
// add to the file system. Empty when path exists.
QString firstMissingDir(const QString &path);
