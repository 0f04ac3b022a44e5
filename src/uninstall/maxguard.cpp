#include "maxguard.h"

#include "clientconfig.h"
#include "dialogue.h"
#include "edition.h"
#include "processcheck.h"

bool maxAllowsUninstall(const ClientConfig &config, const Dialogue &dialogue)
{
    if (!edition::needsMaxClosed(editionOf(config.third))
        || !helpers::processExists(QStringLiteral("3dsmax.exe")))
        return true;
    dialogue.fail(Outcome::MaxRunning, config.isChinese() ? QStringLiteral("请先关闭max，再卸载客户端！")
                                                          : QStringLiteral("Pleace close max first and uninstall client!"));
    return false;
}
