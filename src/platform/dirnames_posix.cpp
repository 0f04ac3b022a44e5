#include "dirnames_posix.h"

#include <QFile>

#include <dirent.h>
#include <unistd.h>

namespace platform {

QStringList namesIn(int dirFd)
{
    QStringList names;
    const int own = dup(dirFd);
    DIR *listing = own >= 0 ? fdopendir(own) : nullptr;
    if (!listing) {
        if (own >= 0)
            ::close(own);
        return names;
    }
    while (const dirent *entry = readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(QFile::decodeName(name));
    }
    closedir(listing);
    return names;
}

} // namespace platform
