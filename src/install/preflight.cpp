#include "preflight.h"

#include "clientconfig.h"
#include "dialogue.h"
#include "edition.h"
#include "processcheck.h"
#include "programdir.h"
#include "registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopedPointer>
#include <QSettings>
#include <QStringList>

namespace {

QString pick(bool zh, const char *chinese, const char *english)
{
    return zh ? QString::fromUtf8(chinese) : QString::fromUtf8(english);
}

// A partner-edition installer must not install over a standard-edition client.
bool standardClientInstalled(const QSettings &settings)
{
    const QString part = settings.value(QStringLiteral("ThirdPart")).toString();
    return part.isEmpty() && !zqIniThird(programDir()).isEmpty();
}

} // namespace

QString earlierChoice(const QString &installedDir)
{
    if (QFileInfo(installedDir).isDir()) {
        QDir dir(installedDir);
        dir.cdUp();
        dir.cdUp();
        return dir.absolutePath();
    }
    QStringList parts = installedDir.split(QDir::separator());
    parts.erase(parts.end() - qMin(2, parts.size()), parts.end());
    return parts.join(QDir::separator());
}

bool installPreflight(const ClientConfig &config, const Dialogue &dialogue, QString *dir)
{
    const bool zh = config.isChinese();
    const QString third = config.third;
    QScopedPointer<QSettings> settings(platform::openRegistry(clientSettingsKey(config.registryKey)));
    QString stored = settings->value(QStringLiteral("InstallDir")).toString();

    if (edition::needsMaxClosed(editionOf(third))) {
        if (helpers::processExists(QStringLiteral("3dsmax.exe"))) {
            dialogue.fail(Outcome::MaxRunning,
                             pick(zh, "请先关闭max，再安装客户端！", "Pleace close max first and install client!"));
            return false;
        }
        if (!stored.isEmpty() && standardClientInstalled(*settings)) {
            dialogue.fail(Outcome::OtherEdition,
                             pick(zh, "已安装通用版客户端，请卸载后安装！",
                                  "The general version of the client has been installed, "
                                  "please install it after uninstall!"));
            return false;
        }
    } else {
        stored = edition::coBrandedTargetOf(stored);
    }

    if (!stored.isEmpty()
        && !dialogue.confirm(pick(zh, "客户端已安装，是否覆盖安装？",
                                  "The program is already installed on this computer, do you want "
                                  "to reinstall it? Press OK to continue.")))
        return false;

    if (helpers::processExists(config.exe))
        helpers::killProcess(config.exe);

    *dir = stored.isEmpty() ? QString() : earlierChoice(stored);
    return true;
}
