#include "programdir.h"

#include <QCoreApplication>

namespace {

QString &unpackedDir()
{
    static QString dir;
    return dir;
}

} // namespace

QString programDir()
{
    return unpackedDir().isEmpty() ? QCoreApplication::applicationDirPath() : unpackedDir();
}

void setProgramDir(const QString &dir)
{
    unpackedDir() = dir;
}
