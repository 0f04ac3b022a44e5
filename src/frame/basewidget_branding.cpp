#include "basewidget.h"

#include "branding.h"
#include "changelog.h"

bool BaseWidget::ChangeExeIcon(const ushort *iconFile, const ushort *exeFile)
{
    const QString exe = QString::fromUtf16(exeFile);
    const bool ok = platform::changeExeIcon(QString::fromUtf16(iconFile), exe);
    ChangeLog::record("write", "file", exe, ok);
    return ok;
}

int BaseWidget::ChangeFileInfo(QString exeFile, QString description)
{
    const int changed = platform::changeFileInfo(exeFile, description);
    ChangeLog::record("write", "file", exeFile, changed != 0);
    return changed;
}
