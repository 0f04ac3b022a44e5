#include "keptfiles.h"

#include "updatework.h"

#include <QDirIterator>
#include <QFileInfo>

KeptFiles::KeptFiles(const QStringList &dirs)
    : dirs(dirs)
{
}

QString KeptFiles::hashOf(const QString &path)
{
    const auto known = hashes.constFind(path);
    if (known != hashes.constEnd())
        return known.value();
    const QString hash = QFileInfo(path).isFile() ? UpdateWork::fileHash(path) : QString();
    hashes.insert(path, hash);
    return hash;
}

QString KeptFiles::find(const QStringList &paths, const QString &hash, qint64 size)
{
    for (const QString &path : paths) {
        if (hashOf(path) == hash)
            return path;
    }
    index();
    for (auto it = bySize.constFind(size); it != bySize.constEnd() && it.key() == size; ++it) {
        if (hashOf(it.value()) == hash)
            return it.value();
    }
    return QString();
}

// Sizes only: a file is hashed when its size is a base's.
void KeptFiles::index()
{
    if (indexed)
        return;
    indexed = true;
    for (const QString &dir : qAsConst(dirs)) {
        QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            if (!it.fileInfo().isSymLink())
                bySize.insert(it.fileInfo().size(), it.filePath());
        }
    }
}
