#include "maxguard.h"

#include "basewidget.h"
#include "edition.h"
#include "unattended.h"

bool maxAllowsUninstall(bool zh)
{
    if (!edition::needsMaxClosed(editionOf(BaseWidget::third))
        || !BaseWidget::processExists(QStringLiteral("3dsmax.exe")))
        return true;
    Unattended::fail(Unattended::MaxRunning, zh ? QStringLiteral("请先关闭max，再卸载客户端！")
                                                : QStringLiteral("Pleace close max first and uninstall client!"));
    return false;
}
