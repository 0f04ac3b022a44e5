#pragma once

#include <QString>
#include <QVector>

namespace platform {

// One entry of a folder as the listing gave it: its name and its type (DT_DIR, DT_REG,
// DT_LNK…; DT_UNKNOWN where the file system does not say). The type is what it was when
// listed: whoever acts on it must not trust it to be so still.
struct DirEntry
{
    QString name;
    unsigned char type;
};

// The entries of the folder open as dirFd ("." and ".." left out), read through a handle
// of its own so that dirFd stays where it is.
QVector<DirEntry> entriesIn(int dirFd);

} // namespace platform
