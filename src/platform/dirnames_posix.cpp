#include "dirnames_posix.h"

#include <QFile>

#include <dirent.h>
#include <unistd.h>

namespace platform {

QVector<DirEntry> entriesIn(int dirFd)
{
    QVector<DirEntry> entries;
    const int own = dup(dirFd);
    DIR *listing = own >= 0 ? fdopendir(own) : nullptr;
    if (!listing) {
        if (own >= 0)
            ::close(own);
        return entries;
    }
    while (const dirent *entry = readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            entries.append({QFile::decodeName(name), entry->d_type});
    }
    closedir(listing);
    return entries;
}

} // namespace platform
