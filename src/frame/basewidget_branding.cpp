#include "basewidget.h"

#include "branding.h"

bool BaseWidget::ChangeExeIcon(const ushort *iconFile, const ushort *exeFile)
{
    return platform::changeExeIcon(QString::fromUtf16(iconFile), QString::fromUtf16(exeFile));
}

int BaseWidget::ChangeFileInfo(QString exeFile, QString description)
{
    return platform::changeFileInfo(exeFile, description);
}
