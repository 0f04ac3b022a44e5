#include "branding.h"

#include "branding_win32.h"
#include "rebrand.h"

#include <QtDebug>

namespace platform {

namespace {

void log(const std::string &line)
{
    qDebug().noquote() << QString::fromStdString(line);
}

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

} // namespace

bool changeExeIcon(const QString &iconFile, const QString &exe)
{
    return win32::changeExeIcon(wide(iconFile), wide(exe), log);
}

int changeFileInfo(const QString &exe, const QString &description)
{
    return win32::changeFileInfo(wide(exe), description.toStdU16String(), log);
}

bool carriesBranding(const QString &iconFile, const QString &exe, const QString &description)
{
    return pe::carriesBranding(std::filesystem::path(iconFile.toStdWString()), std::filesystem::path(exe.toStdWString()),
                               description.toStdU16String());
}

} // namespace platform
