#include "branding.h"

#include "rebrand.h"

#include <QFile>
#include <QtDebug>

namespace platform {

namespace {

void log(const std::string &line)
{
    qDebug().noquote() << QString::fromStdString(line);
}

std::filesystem::path fsPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace

bool changeExeIcon(const QString &iconFile, const QString &exe)
{
    return pe::changeExeIcon(fsPath(iconFile), fsPath(exe), log);
}

int changeFileInfo(const QString &exe, const QString &description)
{
    return pe::changeFileInfo(fsPath(exe), description.toStdU16String(), log);
}

bool carriesBranding(const QString &iconFile, const QString &exe, const QString &description)
{
    return pe::carriesBranding(fsPath(iconFile), fsPath(exe), description.toStdU16String());
}

} // namespace platform
