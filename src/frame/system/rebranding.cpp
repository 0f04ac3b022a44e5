#include "rebranding.h"

#include "branding.h"
#include "changelog.h"

namespace helpers {

bool changeExeIcon(const QString &iconFile, const QString &exeFile)
{
    const bool ok = platform::changeExeIcon(iconFile, exeFile);
    ChangeLog::record("write", "file", exeFile, ok);
    return ok;
}

int changeFileInfo(const QString &exeFile, const QString &description)
{
    const int changed = platform::changeFileInfo(exeFile, description);
    ChangeLog::record("write", "file", exeFile, changed != 0);
    return changed;
}

bool carriesBranding(const QString &iconFile, const QString &exeFile, const QString &description)
{
    return platform::carriesBranding(iconFile, exeFile, description);
}

} // namespace helpers
