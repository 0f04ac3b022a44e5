#include "widget.h"

#include "changelog.h"
#include "clientlayout.h"
#include "edition.h"
#include "files.h"
#include "updatestate.h"
#include "versiontext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QtDebug>

namespace {

// The client's name inside every release.
const char shippedClient[] = "NimbraPVX.exe";

} // namespace

// Turns the assembled directory into the installation; false after reporting -3 or -4,
// in which case nothing is registered.
bool Widget::apply()
{
    const QString exePath = newDir + QDir::separator() + exe;
    const QString uninstPath = newDir + QDir::separator() + QStringLiteral("uninstall.exe");
    if (!nameClient(exePath) || !brandClient(exePath))
        return false;
    repointRegistry(exePath, uninstPath);
    replaceShortcuts(exePath, uninstPath);
    platform::openToAllUsers(QFileInfo(newDir).absolutePath());
    return true;
}

// A client of the configured name left by an earlier attempt in the same directory is
// replaced, so that a retry can succeed.
bool Widget::nameClient(const QString &exePath)
{
    const QString shipped = newDir + QDir::separator() + QLatin1String(shippedClient);
    if (shipped == exePath)
        return true;
    if (isPlainFileName(exe) && QFileInfo::exists(shipped) && QFileInfo(exePath).isFile())
        ChangeLog::removeFile(exePath);
    if (isPlainFileName(exe) && ChangeLog::renameFile(shipped, exePath))
        return true;
    error(-3);
    return false;
}

bool Widget::brandClient(const QString &exePath)
{
    if (third.isEmpty())
        return true;
    const QString icon = newDir + QDir::separator() + QStringLiteral("ZQ.ico");
    ChangeLog::copyFile(edition::iconResource(third), icon);
    if (!ChangeExeIcon(icon.utf16(), exePath.utf16())) {
        error(-4);
        return false;
    }
    ChangeFileInfo(exePath, name);
    return true;
}

// Registry data is in native form, as the installer wrote it: newDir itself keeps "/".
void Widget::repointRegistry(const QString &exePath, const QString &uninstPath)
{
    const QString dir = QDir::toNativeSeparators(newDir);
    const QString client = QDir::toNativeSeparators(exePath);
    if (isPlainFileName(exe) && regRun->contains(exe))
        ChangeLog::setValue(regRun, exe, autorunData(client));
    // The key the installation was read from is the one it lives under.
    regUninstall->beginGroup(configKey);
    ChangeLog::setValue(regUninstall, QStringLiteral("UninstallString"), QDir::toNativeSeparators(uninstPath));
    ChangeLog::setValue(regUninstall, QStringLiteral("installDir"), dir);
    ChangeLog::setValue(regUninstall, QStringLiteral("DisplayVersion"), targetVersion);
    ChangeLog::setValue(regUninstall, QStringLiteral("DisplayIcon"), client);
    regUninstall->endGroup();
    ChangeLog::setValue(regSettings, QStringLiteral("InstallDir"), dir);
    regRun->sync();
    regUninstall->sync();
    regSettings->sync();
}

// The old Start-menu folder of a partner's name goes when emptied; the edition's folder
// and the desktop get links into the new directory.
void Widget::replaceShortcuts(const QString &exePath, const QString &uninstPath)
{
    if (!name.isEmpty() && !isPlainFileName(name))
        return;
    const QString oldFolder = startMenuPath() + QLatin1Char('/') + name;
    const ClientShortcuts old = shortcutsIn(oldFolder, name, languageFlag);
    const ClientShortcuts shortcuts = clientShortcuts(startMenuPath(), desktopPath(), name, third, languageFlag);
    if (!name.isEmpty()) {
        veryDel(old.start);
        veryDel(old.uninstall);
        veryDelIfEmpty(oldFolder);
        veryDel(shortcuts.start);
        veryDel(shortcuts.uninstall);
        veryDel(shortcuts.desktop);
    }
    ChangeLog::makeDir(shortcuts.folder);
    ChangeLog::link(exePath, shortcuts.start);
    ChangeLog::link(uninstPath, shortcuts.uninstall);
    ChangeLog::link(exePath, shortcuts.desktop);
}
