#include "basewidget.h"

#include "hostfolders.h"
#include "pathremoval.h"
#include "processcheck.h"
#include "rebranding.h"

// The window base keeps the helpers' names; the helpers themselves live below it.

bool BaseWidget::processExists(QString exeName)
{
    return helpers::processExists(exeName);
}

void BaseWidget::killProcess(const QString &exeName)
{
    helpers::killProcess(exeName);
}

void BaseWidget::veryDel(const QString &path)
{
    helpers::removePath(path);
}

void BaseWidget::veryDelIfEmpty(const QString &folder)
{
    helpers::removeIfEmpty(folder);
}

QStringList BaseWidget::allMaxPath()
{
    return helpers::maxStartupFolders();
}

QString BaseWidget::maxInstallDir(int product, QString version)
{
    return helpers::maxInstallDir(product, version);
}

QString BaseWidget::readReg(QString key, QString valueName)
{
    return helpers::readMachineString(key, valueName);
}

QString BaseWidget::startMenuPath()
{
    return helpers::startMenuPath();
}

QString BaseWidget::desktopPath()
{
    return helpers::desktopPath();
}

bool BaseWidget::ChangeExeIcon(const ushort *iconFile, const ushort *exeFile)
{
    return helpers::changeExeIcon(QString::fromUtf16(iconFile), QString::fromUtf16(exeFile));
}

int BaseWidget::ChangeFileInfo(QString exeFile, QString description)
{
    return helpers::changeFileInfo(exeFile, description);
}
