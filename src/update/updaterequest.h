#pragma once

#include "downloadlimits.h"

#include <QString>
#include <QStringList>

// What one update is, handed to its worker before the worker's thread starts: the worker
// reads nothing another thread sets.
struct UpdateRequest
{
    QString version;  // the version to install, as given
    QString oldDir;   // the current installation, forward slashes
    QString newDir;   // where the new version is assembled, forward slashes
    // The publisher's key built into the program (UpdateWork::builtInKey()); when set,
    // the key installed on the machine cannot replace it.
    QString builtInKey;
    DownloadLimits limits;
    // The other kept versions' folders, newest first: their files are reused too.
    QStringList keptDirs;
    // The name the shipped client was given in those folders: reused under it.
    QString clientName;
};
