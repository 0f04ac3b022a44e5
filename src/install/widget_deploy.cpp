#include "widget.h"

#include "changelog.h"
#include "clientlayout.h"
#include "shellfolders.h"
#include "ui_widget.h"
#include "versiontext.h"
#include "xfunc.h"
#include "zipthread.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QSettings>
#include <QtDebug>

namespace {

const char *const runtimeLibraries[] = {"Qt5Widgets.dll", "Qt5Gui.dll",   "Qt5Core.dll",  "msvcr100.dll",
                                        "msvcp100.dll",   "icuuc52.dll", "icuin52.dll", "icudt52.dll"};
// The client's name inside the archive.
const char shippedClient[] = "NimbraPVX.exe";

} // namespace

QString Widget::clientExe() const
{
    return installDir + QDir::separator() + exe;
}

QString Widget::uninstallExe() const
{
    return installDir + QDir::separator() + QStringLiteral("uninstall.exe");
}

// The extracted client becomes an installed one: named, branded, linked, registered.
void Widget::zipOver()
{
    if (zipThread->extracted().isEmpty()) {
        abandonRun();
        return;
    }
    setProgress(40);
    copyRuntimeLibraries();
    prepareDataFolder();
    if (!nameClient() || !brandClient())
        return;
    setProgress(50);
    replaceShortcuts();
    setProgress(60);
    setProgress(70);
    registerClient();
    completeRun();
}

// Libraries already in the archive win: nothing is overwritten.
void Widget::copyRuntimeLibraries()
{
    const QString sep = QDir::separator();
    for (const char *library : runtimeLibraries)
        ChangeLog::copyFile(appDir + sep + QLatin1String(library), installDir + sep + QLatin1String(library));
}

void Widget::prepareDataFolder()
{
    QString base = XFunc::readUserReg(
                       QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
                       QStringLiteral("AppData"))
                       .toString();
    // Without the shell's folder the data would land in the root of the drive.
    if (base.isEmpty())
        base = platform::appDataDir();
    base = base.replace(QLatin1Char('\\'), QLatin1Char('/')) + QStringLiteral("/%1").arg(editionKey());
    ChangeLog::makePath(base + QStringLiteral("/AllUser"));
    ChangeLog::copyFile(appDir + QDir::separator() + QStringLiteral("SPCache"), base + QStringLiteral("/AllUser/SPCache"));
}

// A name that is no plain file name would move the client out of its folder: it
// fails as a rename does.
bool Widget::nameClient()
{
    const QString shipped = installDir + QDir::separator() + QLatin1String(shippedClient);
    if (shipped == clientExe())
        return true;
    if (isPlainFileName(exe) && ChangeLog::renameFile(shipped, clientExe()))
        return true;
    qDebug() << "rename failed:" << shipped << clientExe();
    endRun(Unattended::RenameFailed, languageFlag ? QStringLiteral("重命名失败") : QStringLiteral("Rename file error"));
    return false;
}

bool Widget::brandClient()
{
    const QString icon = installDir + QStringLiteral("/ZQ.ico");
    ChangeLog::copyFile(appDir + QStringLiteral("/ZQ.ico"), icon);
    if (third.isEmpty())
        return true;
    const QString client = clientExe();
    if (!ChangeExeIcon(icon.utf16(), client.utf16())) {
        endRun(Unattended::IconFailed, languageFlag ? QStringLiteral("换图标失败") : QStringLiteral("Change icon error"));
        return false;
    }
    ChangeFileInfo(client, name);
    return true;
}

// An error after the extraction: the user is told and the installer ends, nothing
// registered (closing its only window ends the event loop).
void Widget::endRun(Unattended::Code code, const QString &message)
{
    Unattended::fail(code, message);
    close();
}

// Earlier shortcuts (of a partner's own folder and of this edition's) go before the new
// ones are made; a name that is no plain file name touches no shortcut at all.
void Widget::replaceShortcuts()
{
    if (!name.isEmpty() && !isPlainFileName(name))
        return;
    const ClientShortcuts shortcuts = clientShortcuts(startMenuPath(), desktopPath(), name, third, languageFlag);
    if (!name.isEmpty()) {
        for (const QString &folder : {startMenuPath() + QLatin1Char('/') + name, shortcuts.folder}) {
            const ClientShortcuts old = shortcutsIn(folder, name, languageFlag);
            veryDel(old.start);
            veryDel(old.uninstall);
            veryDel(shortcuts.desktop);
        }
    }
    if (ui->startMenu->isChecked()) {
        ChangeLog::makeDir(shortcuts.folder);
        ChangeLog::link(clientExe(), shortcuts.start);
        ChangeLog::link(uninstallExe(), shortcuts.uninstall);
    }
    ChangeLog::link(clientExe(), shortcuts.desktop);
}

void Widget::registerClient()
{
    if (ui->autoRun->isChecked() && isPlainFileName(exe))
        ChangeLog::setValue(regRun, exe, autorunData(clientExe()));
    writeUninstallEntry(regUninstall, editionKey(), third, languageFlag,
                        {name, uninstallExe(), installDir, version, clientExe()});
    ChangeLog::setValue(regSettings, QStringLiteral("ThirdPart"), third);
    ChangeLog::setValue(regSettings, QStringLiteral("Language"), languageFlag ? QStringLiteral("zh_cn") : QStringLiteral("en_us"));
    ChangeLog::setValue(regSettings, QStringLiteral("InstallDir"), installDir);
    const QJsonObject info{{QStringLiteral("third"), third}, {QStringLiteral("name"), name},
                           {QStringLiteral("nameEN"), nameEN}, {QStringLiteral("exe"), exe},
                           {QStringLiteral("mark"), mark}, {QStringLiteral("lang"), lang}};
    ChangeLog::setValue(regSettings, QStringLiteral("info"), XFunc::jsonToString(info));
    regRun->sync();
    regUninstall->sync();
    regSettings->sync();
}
