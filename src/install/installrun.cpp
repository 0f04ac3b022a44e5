#include "installrun.h"

#include "changelog.h"
#include "clientplacement.h"
#include "edition.h"
#include "installpaths.h"
#include "registry.h"
#include "serviceaddress.h"
#include "shellfolders.h"
#include "xfunc.h"
#include "zipthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QScopedPointer>
#include <QSettings>
#include <QTime>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <quazip/quazip.h>

namespace {

const char *const runtimeLibraries[] = {"Qt5Widgets.dll", "Qt5Gui.dll",   "Qt5Core.dll",  "msvcr100.dll",
                                        "msvcp100.dll",   "icuuc52.dll", "icuin52.dll", "icudt52.dll"};

// The 3ds Max plug-in of the maker's other client, which this client replaces.
const char *const otherClientPlugins[] = {"3dsMax.dll",     "Newtonsoft.Json.dll", "Tarnel.dll",
                                          "nimbra_1.mse",   "nimbra_2.mse",        "render_fn.mse",
                                          "o_nimbra_1.mse", "o_nimbra_2.mse",      "o_render_fn.mse"};

// How long the installation report is given before a run that waits for it goes on.
const int reportWaitMs = 10000;

} // namespace

InstallRun::InstallRun(const ClientConfig &config, const QString &packageDir, const QString &version,
                       Reporter &reporter, QObject *parent)
    : QObject(parent)
    , config(config)
    , reporter(reporter)
    , packageDir(packageDir)
    , version(version)
{
}

// The run owns the thread and waits for it when it goes.
InstallRun::~InstallRun()
{
    if (zipThread)
        zipThread->wait();
}

InstallRun::Options InstallRun::Options::of(const CommandLine &line)
{
    return Options{line.startMenu, line.autorun, line.companion, line.dir, line.keepVersions};
}

QString InstallRun::clientExe() const
{
    return dir + QDir::separator() + config.exe;
}

void InstallRun::start(const QString &chosenDir, const Options &options)
{
    this->options = options;
    dir = versionedInstallDir(chosenDir, config.third, version, QTime::currentTime());
    // Remembered so that a failed run takes away exactly the folders it made.
    createdByRun = firstMissingDir(dir);
    zipThread = new ZipThread(this);
    connect(zipThread, &ZipThread::finished, this, &InstallRun::extracted);
    connect(zipThread, &ZipThread::oneOk, this, &InstallRun::oneOk);
    if (!placement::makeVersionFolder(dir)) {
        QTimer::singleShot(0, this, [this] { end(Outcome::WriteFailed); });
        return;
    }
    const QString zipPath = packageDir + QStringLiteral("/files.zip");
    QuaZip archive(zipPath);
    if (archive.open(QuaZip::mdUnzip))
        entryCount = archive.getEntriesCount();
    zipThread->setPaths(zipPath, dir);
    zipThread->start();
    emit progress(10);
    emit stepProgress("extract", 10);
}

// Three entries make one point of the bar.
void InstallRun::oneOk()
{
    ++extractedCount;
    emit progress(extractedCount / 3);
    emit stepProgress("extract", 10 + 30 * extractedCount / qMax(entryCount, extractedCount));
}

void InstallRun::deployed(int percent)
{
    emit progress(percent);
    emit stepProgress("deploy", qMin(percent, 99));
}

// A client that is not whole must not be registered: the run's folders go.
void InstallRun::extracted()
{
    if (zipThread->extracted().isEmpty()) {
        if (QFileInfo(createdByRun).isDir())
            ChangeLog::removeTree(createdByRun);
        end(Outcome::ExtractFailed);
        return;
    }
    deployed(40);
    end(place());
}

// The extracted client becomes an installed one: named, branded, linked, registered.
// A step that fails leaves the folder marked, for the next run to remove.
Outcome InstallRun::place()
{
    Placement p{config, dir, version, Placement::Kind::Install, options.startMenu, options.autorun, &reporter};
    copyRuntimeLibraries();
    prepareDataFolder();
    Outcome step = placement::nameClient(p);
    if (step == Outcome::Done)
        step = placement::brandClient(p, packageDir + QStringLiteral("/ZQ.ico"));
    if (step != Outcome::Done)
        return step;
    deployed(50);
    if ((step = placement::placeShortcuts(p)) != Outcome::Done)
        return step;
    deployed(60);
    deployed(70);
    placement::adoptInstallation(config);
    if ((step = placement::registerClient(p)) != Outcome::Done || (step = placement::recordVersion(p)) != Outcome::Done)
        return step;
    if (options.keepVersions >= 0 && !PlacedVersions(config.registryKey).setKeep(options.keepVersions))
        return Outcome::RegistryFailed;
    if ((step = placement::openToAllUsers(p)) != Outcome::Done)
        return step;
    removeOtherClientPlugins();
    placement::markFinished(dir);
    placement::removeUnfinishedBeside(dir);
    placement::removeOlderVersions(p);
    deployed(100);
    sendChannelReport();
    return Outcome::Done;
}

void InstallRun::end(Outcome outcome)
{
    result = outcome;
    emit finished(outcome);
}

// Libraries already in the archive win: nothing is overwritten.
void InstallRun::copyRuntimeLibraries()
{
    const QString sep = QDir::separator();
    for (const char *library : runtimeLibraries)
        ChangeLog::copyFile(packageDir + sep + QLatin1String(library), dir + sep + QLatin1String(library));
}

void InstallRun::prepareDataFolder()
{
    QString base = XFunc::readUserReg(
                       QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
                       QStringLiteral("AppData"))
                       .toString();
    // Without the shell's folder the data would land in the root of the drive.
    if (base.isEmpty())
        base = platform::appDataDir();
    base = base.replace(QLatin1Char('\\'), QLatin1Char('/')) + QLatin1Char('/') + config.registryKey;
    ChangeLog::makePath(base + QStringLiteral("/AllUser"));
    const QString cache = base + QStringLiteral("/AllUser/SPCache");
    if (!QFileInfo::exists(cache))
        ChangeLog::copyFile(packageDir + QDir::separator() + QStringLiteral("SPCache"), cache);
}

// The other client's folder comes from this user's own record; its parent may be open to
// every user (that client opens its folders too), so nothing is removed through a link.
void InstallRun::removeOtherClientPlugins()
{
    QScopedPointer<QSettings> other(
        platform::openRegistry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan\\Orvix\\Settings")));
    const QString otherDir = other->value(QStringLiteral("InstallDir")).toString();
    if (otherDir.isEmpty())
        return;
    const QString base = QFileInfo(QDir::fromNativeSeparators(otherDir)).absolutePath();
    for (const char *file : otherClientPlugins) {
        const QString plugin = QDir::fromNativeSeparators(otherDir) + QLatin1Char('/') + QLatin1String(file);
        if (QFileInfo(plugin).isFile())
            ChangeLog::removeFileBelow(base, plugin);
    }
}

// Tells the maker's service where the client went; nobody waits for the answer but a
// silent run, which gives it a little while (a person's pause would have let it through).
void InstallRun::sendChannelReport()
{
    HardwareInfo hardware;
    XFunc::queryHardware(hardware);
    manager = new QNetworkAccessManager(this);
    QUrl url(serviceAddress(QStringLiteral("channel")) + QStringLiteral("/clientChannel/clientChannelInfo"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("mark"), config.mark);
    query.addQueryItem(QStringLiteral("macAddr"), XFunc::urlEncode(XFunc::macAddress()));
    query.addQueryItem(QStringLiteral("cpu"), XFunc::urlEncode(hardware.cpu));
    url.setQuery(query);
    QNetworkRequest request(url);
    // Everything is in the query; the body is an empty form.
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *report = manager->post(request, QByteArray());
    connect(report, &QNetworkReply::finished, this, &InstallRun::reported);
    QTimer::singleShot(reportWaitMs, report, &QNetworkReply::abort);
}

void InstallRun::startCompanion() const
{
    QScopedPointer<QSettings> company(platform::openRegistry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan")));
    if (company->value(QStringLiteral("nimbratools/Settings/InstallDir")).isValid())
        return;
    const QString companion = packageDir + QDir::separator() + QStringLiteral("Faxelsetup.exe");
    const QStringList arguments{QStringLiteral("/sp-"), QStringLiteral("/silent")};
    // Unpacked from a setup file, it lies in a folder removed when this program ends: waited for.
    if (QDir(packageDir) != QDir(QCoreApplication::applicationDirPath()) && QFileInfo(companion).isFile())
        QProcess::execute(companion, arguments);
    else
        QProcess::startDetached(companion, arguments);
}
