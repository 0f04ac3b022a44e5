#include "preflight.h"

#include "basewidget.h"
#include "edition.h"
#include "msgbox.h"
#include "unattended.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace {

QString pick(bool zh, const char *chinese, const char *english)
{
    return zh ? QString::fromUtf8(chinese) : QString::fromUtf8(english);
}

// A partner-edition installer must not install over a standard-edition client.
bool standardClientInstalled(BaseWidget &config)
{
    const QString part = config.settings()->value(QStringLiteral("ThirdPart")).toString();
    return part.isEmpty() && !BaseWidget::iniThird().isEmpty();
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

bool installPreflight(BaseWidget &config, bool zh, QString *dir)
{
    // Every message box reads the configuration again; the edition of this start counts.
    const QString third = BaseWidget::third;
    QString stored = config.settings()->value(QStringLiteral("InstallDir")).toString();

    if (edition::needsMaxClosed(editionOf(third))) {
        if (BaseWidget::processExists(QStringLiteral("3dsmax.exe"))) {
            Unattended::fail(Unattended::MaxRunning,
                             pick(zh, "请先关闭max，再安装客户端！", "Pleace close max first and install client!"));
            return false;
        }
        if (!stored.isEmpty() && standardClientInstalled(config)) {
            Unattended::fail(Unattended::OtherEdition,
                             pick(zh, "已安装通用版客户端，请卸载后安装！",
                                  "The general version of the client has been installed, "
                                  "please install it after uninstall!"));
            return false;
        }
    } else {
        stored = edition::coBrandedTargetOf(stored);
    }

    if (!stored.isEmpty()
        && MsgBox::question(pick(zh, "客户端已安装，是否覆盖安装？",
                                 "The program is already installed on this computer, do you want "
                                 "to reinstall it? Press OK to continue."))
               != 0)
        return false;

    if (BaseWidget::processExists(BaseWidget::exe))
        BaseWidget::killProcess(BaseWidget::exe);

    *dir = stored.isEmpty() ? QString() : earlierChoice(stored);
    return true;
}
