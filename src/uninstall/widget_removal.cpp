#include "widget.h"

#include "changelog.h"
#include "clientlayout.h"
#include "edition.h"
#include "productfolder.h"
#include "selfdelete.h"
#include "uninstallpaths.h"
#include "versiontext.h"
#include "ui_widget.h"
#include "unattended.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QtDebug>

void Widget::setProgress(int value)
{
    setBarValue(ui->progressBar, value);
    Unattended::progress("remove", ui->progressBar->value());
}

void Widget::doUninstall()
{
    ui->minBtn->hide();
    ui->closeBtn->hide();
    setProgress(10);
    if (isPlainFileName(exe) && processExists(exe))
        killProcess(exe);
    setProgress(60);
    removeShortcuts();
    const Edition kind = editionOf(third);
    if (edition::leavesUnityOnRemoval(kind) && isPlainFileName(exe))
        runUnityStep();
    setProgress(40);
    // Only a folder the installer made is removed as a whole; anything else stays.
    if (!ownProductFolder(installDir).isEmpty())
        veryDel(installDir);
    else
        qDebug() << "not an installation directory of ours:" << installDir;
    removeRegistryEntries();
    setProgress(70);
    if (edition::needsMaxClosed(kind))
        removeMaxScripts();
    setProgress(100);
    ui->uninstall_ok->show();
    ui->closeBtn->show();
    uninstalled = true;
}

void Widget::removeShortcuts()
{
    // The name becomes part of each shortcut's path.
    if (!isPlainFileName(name))
        return;
    const ClientShortcuts shortcuts = clientShortcuts(startMenuPath(), desktopPath(), name, third, languageFlag);
    veryDel(shortcuts.start);
    veryDel(shortcuts.uninstall);
    veryDel(shortcuts.desktop);
    // The client's Start-menu folder goes with its last link; one holding anything else stays.
    veryDelIfEmpty(shortcuts.folder);
}

// The co-branded client takes itself out of the Unity editor when asked to.
void Widget::runUnityStep()
{
    QProcess client;
    client.start(installDir + QDir::separator() + exe, {QStringLiteral("unitydel")});
    client.waitForFinished(30000);
}

void Widget::removeRegistryEntries()
{
    // Only this client's own entries: an empty name would remove every value or key of
    // the group, and another edition's key is another client's.
    if (!configKey.isEmpty()) {
        ChangeLog::remove(regUninstall, configKey);
        ChangeLog::remove(regCompany, configKey);
    }
    if (isPlainFileName(exe))
        ChangeLog::remove(regRun, exe);
}

void Widget::removeMaxScripts()
{
    for (const QString &dir : allMaxPath()) {
        const QString script = maxStartupScript(dir);
        if (QFile::exists(script))
            veryDel(script);
    }
}

void Widget::closeEvent(QCloseEvent *event)
{
    if (uninstalled) {
        const QString productDir = ownProductFolder(installDir);
        if (!productDir.isEmpty()) {
            const bool started = platform::startSelfDelete(productDir);
            // The script removes the folder after this program has ended.
            ChangeLog::record("remove", "dir", productDir, started ? "scheduled" : "failed");
        }
    }
    event->accept();
}
