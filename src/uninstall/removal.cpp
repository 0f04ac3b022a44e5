#include "removal.h"

#include "changelog.h"
#include "clientplacement.h"
#include "edition.h"
#include "hostfolders.h"
#include "processcheck.h"
#include "processes.h"
#include "productfolder.h"
#include "selfdelete.h"
#include "shellfolders.h"
#include "uninstallpaths.h"
#include "versiontext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QtDebug>

namespace {

// The co-branded client takes itself out of the Unity editor when asked to. It lies in
// a folder other users may change: it runs with its user's rights, never with ours.
void runUnityStep(const QString &installDir, const QString &exe, Reporter &reporter)
{
    if (!platform::runUnelevated(installDir + QDir::separator() + exe, {QStringLiteral("unitydel")}, 30000))
        reporter.tell(QStringLiteral("The client did not take itself out of the Unity editor: it runs only "
                                        "with the rights of the user who started the removal."));
}

// 3ds Max's folders come from the machine's registry; below them only real folders lead
// to the script.
void removeMaxScripts()
{
    for (const QString &dir : helpers::maxStartupFolders()) {
        const QString script = maxStartupScript(dir);
        if (QFileInfo(script).isFile())
            ChangeLog::removeFileBelow(QDir::cleanPath(dir + QStringLiteral("/../..")), script);
    }
}

} // namespace

Outcome removeClient(const ClientConfig &config, const std::function<void(int)> &progress, Reporter &reporter)
{
    Placement p{config, config.installDir, QString()};
    p.reporter = &reporter;
    const Edition kind = editionOf(config.third);
    progress(10);
    if (isPlainFileName(config.exe) && helpers::processExists(config.exe))
        helpers::killProcess(config.exe);
    progress(60);
    placement::removeShortcuts(p);
    if (edition::leavesUnityOnRemoval(kind) && isPlainFileName(config.exe))
        runUnityStep(config.installDir, config.exe, reporter);
    progress(40);
    // Only a folder the installer made is removed as a whole; anything else stays.
    if (!ownProductFolder(config.installDir).isEmpty())
        placement::removeInstallation(config.installDir, QCoreApplication::applicationFilePath());
    else
        qDebug() << "not an installation directory of ours:" << config.installDir;
    if (edition::needsMaxClosed(kind))
        removeMaxScripts();
    const Outcome outcome = placement::unregisterClient(p);
    progress(70);
    progress(100);
    return outcome;
}

bool scheduleProductRemoval(const QString &installDir)
{
    const QString productDir = ownProductFolder(installDir);
    if (productDir.isEmpty())
        return false;
    // The folder in the program-files folder that held it goes too, once nothing else is in it.
    const QString parent = QFileInfo(productDir).absolutePath();
    const bool inProgramFiles = QDir(QFileInfo(parent).absolutePath()) == QDir(platform::programFilesDir());
    const bool started = platform::startSelfDelete(productDir, inProgramFiles ? parent : QString());
    // The script removes the folder after this program has ended.
    ChangeLog::record("remove", "dir", productDir, started ? "scheduled" : "failed");
    return started;
}

bool isRemovalLeftover(const QString &appDir)
{
    if (ownProductFolder(appDir).isEmpty())
        return false;
    const QStringList entries =
        QDir(appDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return entries == QStringList{QFileInfo(QCoreApplication::applicationFilePath()).fileName()};
}
